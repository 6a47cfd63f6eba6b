// What the top list makes of tombstones' own texts: readable names and deleted parents, the raw
// DN in the tip, and first-run column widths that fit the pane while widths set stay.
#include "lumivel/registry_key.h"
#include "resultpane/readable_text.h"
#include "resultpane/tests/control_fixture.h"

namespace panoreltest {
namespace {

// The private hives are the ones panorel_module_test sets up for the whole binary.
using ::testing::ElementsAre;

constexpr char16_t kDeletedPayroll[] =
    u"OU=Payroll\\0ADEL:9a8b7c6d-0000-4000-8000-00000000000a,CN=Deleted Objects,DC=lumivel,DC=test";

TEST(ReadableText, NamesAndPlacesLoseOnlyTheirDeletionMangling) {
    struct Case {
        const char16_t* raw;
        const char16_t* name;
        const char16_t* place;
    } cases[] = {
        {u"Bob Baker\nDEL:0f1e2d3c-0000-4000-8000-000000000002", u"Bob Baker", nullptr},
        {u"Plain", u"Plain", u"Plain"},
        {kDeletedPayroll, nullptr, u"OU=Payroll (deleted)"},
        {u"OU=Staff,DC=lumivel,DC=test", nullptr, u"OU=Staff,DC=lumivel,DC=test"},
        {u"OU=A\\,B\\0ADEL:9a8b7c6d-0000-4000-8000-00000000000a,CN=Deleted Objects,DC=x", nullptr, u"OU=A\\,B (deleted)"},
        {u"OU=Not\\0Amangled,DC=x", nullptr, u"OU=Not\\0Amangled,DC=x"},
    };
    for (const Case& c : cases) {
        if (c.name) {
            EXPECT_EQ(panorel::ReadableName(c.raw), std::u16string(c.name));
        }
        if (c.place) {
            EXPECT_EQ(panorel::ReadablePlace(c.raw), std::u16string(c.place));
        }
    }
}

TEST_F(ControlTest, MangledNamesAndPlacesShowReadableAndTheTipHoldsTheRawDn) {
    connect();
    PropertySet* bob = keep(MakeRecord(u"Bob Baker\nDEL:0f1e2d3c-0000-4000-8000-000000000002", u"user",
                                       {{u"parent", kDeletedPayroll}}));
    PropertySet* ann = keep(MakeRecord(u"Ann", u"user", {{u"parent", u"OU=Staff,DC=lumivel,DC=test"}}));
    show({bob, ann});
    EXPECT_THAT(column(0), ElementsAre(u"Ann", u"Bob Baker"));
    EXPECT_THAT(column(2), ElementsAre(u"OU=Staff,DC=lumivel,DC=test", u"OU=Payroll (deleted)"));
    EXPECT_EQ(lumivel::ui::ListViewInfoTip(control->topList(), 1, 2), kDeletedPayroll);
    EXPECT_EQ(lumivel::ui::ListViewInfoTip(control->topList(), 1, 0), u"") << "only the place has a tip";
    EXPECT_EQ(lumivel::ui::ListViewInfoTip(control->topList(), 7, 2), u"");
    EXPECT_EQ(bob->getText(u"name").substr(0, 10), u"Bob Baker\n") << "the record keeps its raw name";
}

class FirstRunWidths : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        provider->clearTopColumns();
        provider->addColumn(u"Name", u"name", 100);
        provider->addColumn(u"Last Known Parent", u"parent", 100);
        provider->addColumn(u"Class", u"FriendlyClassName", 100);
        provider->addColumn(u"Date Deleted", u"dateDeleted", 100);
        RECT wide{0, 0, 900, 300};
        control->SetObjectRects(&wide, &wide);
        SHDeleteKeyW(HKEY_CURRENT_USER, kResultColumnsKey);
    }
    void showSome() {
        show({keep(MakeRecord(u"Ann", u"user", {{u"parent", u"OU=Staff,DC=lumivel,DC=test"},
                                                {u"FriendlyClassName", u"User"},
                                                {u"dateDeleted", u"12/08/2026 - 13:57"}}))});
    }
    int width(int i) { return int(SendMessageW(control->topList(), LVM_GETCOLUMNWIDTH, WPARAM(i), 0)); }
};

TEST_F(FirstRunWidths, DefaultWidthsAreFittedToThePaneOnceRecordsCome) {
    connect();
    EXPECT_EQ(width(0), 100) << "nothing to fit to before records come";
    showSome();
    RECT client{};
    GetClientRect(control->topList(), &client);
    const int total = width(0) + width(1) + width(2) + width(3);
    EXPECT_LE(total, client.right);
    EXPECT_GT(total, client.right - 60) << "the pane is used";
    EXPECT_GT(width(1), width(0)) << "the place is the widest";
    EXPECT_GT(width(0), width(2));
    EXPECT_LT(width(2), 100) << "the class as wide as its texts";
    // Fitted once: what the user does later stays.
    lumivel::ui::UserListColumnResized(control->topList(), 0, 333);
    showSome();
    EXPECT_EQ(width(0), 333);
}

TEST_F(FirstRunWidths, StoredOrChangedWidthsAreKept) {
    lumivel::RegistryKey stored;
    ASSERT_EQ(stored.create(HKEY_CURRENT_USER, kResultColumnsKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(stored.writeDword(u"Class", 100), ERROR_SUCCESS);
    connect();
    showSome();
    EXPECT_EQ(width(0), 100) << "a width the user stored, even the default, is a choice";
    control->ReleaseInterfaces();
    SHDeleteKeyW(HKEY_CURRENT_USER, kResultColumnsKey);
    provider->topColumns[1]->cx = 140;
    connect();
    showSome();
    EXPECT_EQ(width(1), 140);
    EXPECT_EQ(width(0), 100);
}

}  // namespace
}  // namespace panoreltest
