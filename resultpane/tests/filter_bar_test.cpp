// The filter bar as a person uses it: Ctrl+F, typing, the deletion days, Escape; the rows,
// the selection and the console's status bar follow, and nothing is asked of the provider.
#include "resultpane/tests/control_fixture.h"

namespace panoreltest {
namespace {

using ::testing::ElementsAre;

class FilterBarTest : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        domain = connectToDomainNode();
        for (auto [name, className, parent, deleted] :
             {std::tuple{u"\u00C5ngstr\u00F6m", u"user", u"OU=Research,DC=lumivel,DC=test", u"2026-03-01T10:00:00Z"},
              std::tuple{u"Bob Baker", u"user", u"OU=Payroll,DC=lumivel,DC=test", u"2026-03-04T10:00:00Z"},
              std::tuple{u"Payroll", u"organizationalUnit", u"DC=lumivel,DC=test", u"2026-03-04T09:00:00Z"},
              std::tuple{u"Carol Cole", u"user", u"OU=Staff,DC=lumivel,DC=test", u"2026-03-09T10:00:00Z"},
              std::tuple{u"Auditors", u"group", u"OU=Groups,DC=lumivel,DC=test", u"2026-03-10T10:00:00Z"}})
            records.push_back(keep(MakeRecord(name, className, {{u"parent", parent}, {u"DateDeletedUtc", deleted}})));
        show(records);
    }

    void type(const std::u16string& text) { ASSERT_TRUE(lumivel::ui::UserSetEditText(control->filterEdit(), text)); }
    void pickDay(HWND check, HWND picker, WORD day) {
        SYSTEMTIME chosen{2026, 3, 0, day, 0, 0, 0, 0};
        if (SendMessageW(check, BM_GETCHECK, 0, 0) != BST_CHECKED) lumivel::ui::UserClickButton(check);
        lumivel::ui::UserSetDateTime(picker, &chosen);
    }

    PropertySet* domain = nullptr;
    std::vector<PropertySet*> records;
};

TEST_F(FilterBarTest, TypedTextNarrowsTheRowsAndTheStatusSaysHowMany) {
    EXPECT_EQ(console->status, u"5 deleted objects in lumivel.test.");
    lumivel::ui::UserListKeyDown(control->topList(), 'F', lumivel::ui::KeyModifier::Control);
    EXPECT_EQ(GetFocus(), control->filterEdit()) << "Ctrl+F in the list";
    lumivel::ui::UserListKeyDown(control->topList(), 'F');
    const size_t detailsBefore = provider->callsOf("GetDetails").size();

    type(u"payroll");
    EXPECT_THAT(column(0), ElementsAre(u"Bob Baker", u"Payroll")) << "by parent and by name";
    EXPECT_EQ(console->status, u"2 of 5 deleted objects shown.");
    type(u"angstrom");
    EXPECT_THAT(column(0), ElementsAre(u"\u00C5ngstr\u00F6m"));
    type(u"ORGANIZATIONALUNIT");
    EXPECT_THAT(column(0), ElementsAre(u"Payroll")) << "by class";
    type(u"nobody");
    EXPECT_EQ(lumivel::ui::ListViewItemCount(control->topList()), 0);
    EXPECT_EQ(console->status, u"0 of 5 deleted objects shown.");
    EXPECT_EQ(provider->callsOf("GetDetails").size(), detailsBefore) << "no selection, nothing asked again";

    lumivel::ui::UserKey(control->filterEdit(), WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ(lumivel::ui::ListViewItemCount(control->topList()), 5) << "Escape clears the bar";
    EXPECT_EQ(GetWindowTextLengthW(control->filterEdit()), 0);
    EXPECT_EQ(console->status, u"5 deleted objects in lumivel.test.");
}

TEST_F(FilterBarTest, DeletionDaysNarrowWithTheTextAndBothDaysCount) {
    setenv("TZ", "UTC0", 1);
    EXPECT_FALSE(IsWindowEnabled(control->deletedAfterPicker())) << "no day until its box is ticked";
    pickDay(control->deletedAfterCheck(), control->deletedAfterPicker(), 4);
    EXPECT_TRUE(IsWindowEnabled(control->deletedAfterPicker()));
    EXPECT_THAT(column(0), ElementsAre(u"Auditors", u"Bob Baker", u"Carol Cole", u"Payroll"));
    pickDay(control->deletedBeforeCheck(), control->deletedBeforePicker(), 9);
    EXPECT_THAT(column(0), ElementsAre(u"Bob Baker", u"Carol Cole", u"Payroll"));
    type(u"user");
    EXPECT_THAT(column(0), ElementsAre(u"Bob Baker", u"Carol Cole"));
    EXPECT_EQ(console->status, u"2 of 5 deleted objects shown.");
    lumivel::ui::UserClickButton(control->deletedBeforeCheck());
    EXPECT_THAT(column(0), ElementsAre(u"Bob Baker", u"Carol Cole")) << "Auditors is a group";
    control->clearFilter();
    EXPECT_EQ(SendMessageW(control->deletedAfterCheck(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(lumivel::ui::ListViewItemCount(control->topList()), 5);
    unsetenv("TZ");
}

TEST_F(FilterBarTest, SelectionStaysOnTheSameRecordsAndNewListsAreFilteredToo) {
    // Name order: Auditors, Bob Baker, Carol Cole, Payroll, Ångström.
    lumivel::ui::UserSetListSelection(control->topList(), {1, 3}, 3);
    type(u"pay");
    ASSERT_THAT(column(0), ElementsAre(u"Bob Baker", u"Payroll"));
    EXPECT_TRUE(lumivel::ui::ListViewItemSelected(control->topList(), 0));
    EXPECT_TRUE(lumivel::ui::ListViewItemSelected(control->topList(), 1));
    auto details = provider->callsOf("GetDetails");
    ASSERT_FALSE(details.empty());
    EXPECT_THAT(details.back()->selection, ElementsAre(records[1], records[2]));
    type(u"");
    EXPECT_TRUE(lumivel::ui::ListViewItemSelected(control->topList(), 1));
    EXPECT_TRUE(lumivel::ui::ListViewItemSelected(control->topList(), 3));
    EXPECT_FALSE(lumivel::ui::ListViewItemSelected(control->topList(), 0));

    // A refresh's list is filtered as it comes, and the typed text stays.
    type(u"cole");
    std::vector<PropertySet*> fresh = {keep(MakeRecord(u"Carol Cole", u"user")), keep(MakeRecord(u"Dan Cole", u"user")),
                                       keep(MakeRecord(u"Erin East", u"user"))};
    show(fresh);
    EXPECT_THAT(column(0), ElementsAre(u"Carol Cole", u"Dan Cole"));
    EXPECT_EQ(console->status, u"2 of 3 deleted objects shown.");
    // The column click sorts what is shown.
    lumivel::ui::UserListColumnClick(control->topList(), 0);
    EXPECT_THAT(column(0), ElementsAre(u"Dan Cole", u"Carol Cole"));
}

TEST_F(FilterBarTest, TheBarSitsAboveTheListAndTheSplitStaysWhereItWas) {
    RECT client{0, 0, 600, 300};
    control->SetObjectRects(&client, &client);
    control->SetMode(kPanorelModeBottomList);
    const RECT bar = windowRect(control->filterEdit()), list = windowRect(control->topList());
    EXPECT_GE(bar.top, 0);
    EXPECT_LE(bar.bottom, panorel::kFilterBarHeight);
    EXPECT_EQ(list.top, panorel::kFilterBarHeight);
    EXPECT_EQ(list.bottom, control->splitPosition());
    EXPECT_LE(windowRect(control->deletedBeforePicker()).right, 600) << "the days fit beside the text";
}

}  // namespace
}  // namespace panoreltest
