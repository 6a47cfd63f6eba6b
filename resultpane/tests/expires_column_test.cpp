// The optional "Expires" column: offered only by a provider that has it, turned on and off from
// the list's context menu, kept per user, and sorted by the purge time rather than its text.
#include "lumivel/registry_key.h"
#include "resultpane/menu_ids.h"
#include "resultpane/tests/control_fixture.h"

namespace panoreltest {
namespace {

using ::testing::ElementsAre;

constexpr char16_t kItem[] = u"Show &Expires Column";

std::optional<DWORD> StoredChoice() {
    lumivel::RegistryKey columns;
    if (columns.open(HKEY_CURRENT_USER, kResultColumnsKey, KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    return columns.readDword(kExpiresShownValue);
}

void StoreChoice(std::optional<DWORD> shown) {
    lumivel::RegistryKey columns;
    ASSERT_EQ(columns.create(HKEY_CURRENT_USER, kResultColumnsKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
    if (shown) columns.writeDword(kExpiresShownValue, *shown);
    else columns.deleteValue(kExpiresShownValue);
}

std::vector<std::u16string> Titles(HWND list) {
    std::vector<std::u16string> titles;
    for (int i = 0;; ++i) {
        WCHAR text[64] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = 64;
        if (!SendMessageW(list, LVM_GETCOLUMNW, WPARAM(i), reinterpret_cast<LPARAM>(&column))) break;
        titles.push_back(text);
    }
    return titles;
}

class ExpiresColumn : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        StoreChoice(std::nullopt);
        provider->offerExpiresColumn(140);
    }
    void TearDown() override {
        StoreChoice(std::nullopt);
        ControlTest::TearDown();
    }

    // Tombstones as the provider lists them: the purge time as shown and as UTC. The shown
    // text orders differently from the time, so a sort by text is caught.
    void showTombstones() {
        show({keep(MakeRecord(u"alpha", u"user", {{u"Expires", u"12/01/2026 - 10:00"}, {u"ExpiresUtc", u"2026-12-01T10:00:00Z"}})),
              keep(MakeRecord(u"bravo", u"user", {{u"Expires", u"01/15/2027 - 08:30"}, {u"ExpiresUtc", u"2027-01-15T08:30:00Z"}})),
              keep(MakeRecord(u"charlie", u"user")),
              keep(MakeRecord(u"delta", u"user", {{u"Expires", u"06/30/2026 - 23:59"}, {u"ExpiresUtc", u"2026-06-30T23:59:00Z"}})),
              keep(MakeRecord(u"echo", u"user", {{u"Expires", u"garbled"}, {u"ExpiresUtc", u"soon"}})),
              keep(MakeRecord(u"foxtrot", u"user", {{u"Expires", u"12/01/2026 - 10:00"}, {u"ExpiresUtc", u"2026-12-01T10:00:00Z"}}))});
    }
};

TEST_F(ExpiresColumn, TurnsOnAndOffFromTheMenuKeepingWidthsAndTheChoice) {
    connect();
    showTombstones();
    HWND list = control->topList();
    EXPECT_THAT(Titles(list), ElementsAre(u"Name", u"Class", u"Parent")) << "hidden until asked for";
    lumivel::ui::UserListColumnResized(list, 1, 222);

    rightClick(list, kItem);
    ASSERT_TRUE(shown);
    EXPECT_THAT(Texts(menu), ElementsAre(kItem)) << "offered on empty space too";
    EXPECT_FALSE(menu[0].state & MFS_CHECKED);
    EXPECT_THAT(Titles(list), ElementsAre(u"Name", u"Class", u"Parent", u"Expires"));
    EXPECT_EQ(provider->topColumns[1]->cx, 222) << "the shown widths went back before the rebuild";
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), 222);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 3, 0), 140);
    EXPECT_EQ(lumivel::ui::ListViewItemCount(list), 6) << "the same records, not fetched again";
    EXPECT_THAT(column(3), ElementsAre(u"12/01/2026 - 10:00", u"01/15/2027 - 08:30", u"", u"06/30/2026 - 23:59",
                                       u"garbled", u"12/01/2026 - 10:00"));
    EXPECT_EQ(StoredChoice(), 1u);

    lumivel::ui::UserSetListSelection(list, {0}, 0);
    lumivel::ui::UserListColumnResized(list, 3, 175);
    rightClick(list, kItem);
    EXPECT_EQ(Texts(menu).back(), kItem) << "after the selection's own items";
    EXPECT_TRUE(menu.back().state & MFS_CHECKED);
    EXPECT_THAT(Titles(list), ElementsAre(u"Name", u"Class", u"Parent"));
    EXPECT_EQ(provider->expiresColumn->cx, 175);
    EXPECT_EQ(StoredChoice(), 0u);
    EXPECT_TRUE(provider->callsOf("ExecuteCommand").empty()) << "the control's own item";
}

TEST_F(ExpiresColumn, TheStoredChoiceHoldsForTheNextNodeAndItsWidthIsSavedOnRelease) {
    StoreChoice(1);
    connect();
    HWND list = control->topList();
    EXPECT_THAT(Titles(list), ElementsAre(u"Name", u"Class", u"Parent", u"Expires"));
    lumivel::ui::UserListColumnResized(list, 3, 90);
    lumivel::ui::UserListColumnResized(list, 0, 2000);
    ASSERT_EQ(control->ReleaseInterfaces(), S_OK);
    EXPECT_EQ(provider->expiresColumn->cx, 90);
    EXPECT_EQ(provider->topColumns[0]->cx, 100) << "a width nobody could want back, as for the others";
    EXPECT_FALSE(control->expiresColumnShown());
    connect();
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 3, 0), 90);
}

TEST_F(ExpiresColumn, SortsByThePurgeTimeBothWaysWithoutATimeLast) {
    connect();
    showTombstones();
    control->showExpiresColumn(true);
    HWND list = control->topList();
    lumivel::ui::UserListColumnClick(list, 3);
    EXPECT_THAT(column(0), ElementsAre(u"delta", u"alpha", u"foxtrot", u"bravo", u"charlie", u"echo"))
        << "equal times in name order; no time, or none that reads as one, last";
    lumivel::ui::UserListColumnClick(list, 3);
    EXPECT_FALSE(control->sortAscending());
    EXPECT_THAT(column(0), ElementsAre(u"bravo", u"foxtrot", u"alpha", u"delta", u"charlie", u"echo"));

    // Hiding the sort column hands the order back to the name, in the direction chosen.
    control->showExpiresColumn(false);
    EXPECT_EQ(control->sortColumn(), 0);
    EXPECT_THAT(column(0), ElementsAre(u"foxtrot", u"echo", u"delta", u"charlie", u"bravo", u"alpha"));
}

TEST_F(ExpiresColumn, AProviderWithoutTheColumnKeepsTheListAsItWas) {
    StoreChoice(1);
    delete provider->expiresColumn;
    provider->expiresColumn = nullptr;
    connect();
    showTombstones();
    HWND list = control->topList();
    EXPECT_FALSE(control->expiresColumnOffered());
    EXPECT_THAT(Titles(list), ElementsAre(u"Name", u"Class", u"Parent"));
    control->showExpiresColumn(true);
    EXPECT_THAT(Titles(list), ElementsAre(u"Name", u"Class", u"Parent"));
    lumivel::ui::UserSetListSelection(list, {0}, 0);
    rightClick(list);
    EXPECT_EQ(find(menu, kItem), 0u);
    EXPECT_EQ(StoredChoice(), 1u) << "the user's choice stays for a provider that has the column";
}

// "Restores Into": where each tombstone would go if restored now, its deleted parents looked up
// among the records held (also those the filter hides), by the plan's rule; a parent no longer
// listed leaves it without a place. Offered and kept like "Expires", beside it.
class RestoresIntoColumn : public ControlTest {
protected:
    static constexpr char16_t kPlaceItem[] = u"Show Restores &Into Column";
    void SetUp() override {
        ControlTest::SetUp();
        StoreChoice(std::nullopt);
        StorePlaceChoice(std::nullopt);
        provider->offerExpiresColumn(140);
        provider->offerRestoresIntoColumn(260);
    }
    void TearDown() override {
        StoreChoice(std::nullopt);
        StorePlaceChoice(std::nullopt);
        ControlTest::TearDown();
    }
    static void StorePlaceChoice(std::optional<DWORD> shown) {
        lumivel::RegistryKey columns;
        ASSERT_EQ(columns.create(HKEY_CURRENT_USER, kResultColumnsKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
        if (shown) columns.writeDword(u"RestoresIntoShown", *shown);
        else columns.deleteValue(u"RestoresIntoShown");
    }
    static PropertySet* Tombstone(const std::u16string& rdn, const std::u16string& guid, const std::u16string& parent) {
        const std::u16string base = u",CN=Deleted Objects,DC=t,DC=test";
        PropertySet* record = MakeRecord(rdn.substr(3) + u"\nDEL:" + guid);
        record->setText(u"distinguishedName", rdn + u"\\0ADEL:" + guid + base);
        record->setText(u"lastKnownParent", parent);
        return record;
    }
};

TEST_F(RestoresIntoColumn, ShowsWhereEachWouldGoThroughTheDeletedParentsListed) {
    const std::u16string base = u",CN=Deleted Objects,DC=t,DC=test";
    const std::u16string sales = u"00000001-0000-4000-8000-000000000000", europe = u"00000002-0000-4000-8000-000000000000";
    const std::u16string gone = u"00000009-0000-4000-8000-000000000000";
    connect();
    show({keep(Tombstone(u"OU=Sales", sales, u"OU=Corp,DC=t,DC=test")),
          keep(Tombstone(u"OU=Europe", europe, u"OU=Sales\\0ADEL:" + sales + base)),
          keep(Tombstone(u"CN=Ada", u"00000003-0000-4000-8000-000000000000", u"OU=Europe\\0ADEL:" + europe + base)),
          keep(Tombstone(u"CN=Orphan", u"00000004-0000-4000-8000-000000000000", u"OU=Gone\\0ADEL:" + gone + base))});
    HWND list = control->topList();
    EXPECT_TRUE(control->restoresIntoColumnOffered());
    rightClick(list, kPlaceItem);
    ASSERT_TRUE(shown);
    EXPECT_THAT(Texts(menu), ElementsAre(kItem, kPlaceItem)) << "both offered, side by side";
    EXPECT_THAT(Titles(list), ElementsAre(u"Name", u"Class", u"Parent", u"Restores Into"));
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 3, 0), 260);
    EXPECT_THAT(column(3), ElementsAre(u"CN=Ada,OU=Europe,OU=Sales,OU=Corp,DC=t,DC=test",
                                       u"OU=Europe,OU=Sales,OU=Corp,DC=t,DC=test", u"", u"OU=Sales,OU=Corp,DC=t,DC=test"));

    // Both optional columns at once, each kept; a parent hidden by the filter still counts.
    control->showExpiresColumn(true);
    EXPECT_THAT(Titles(list), ElementsAre(u"Name", u"Class", u"Parent", u"Expires", u"Restores Into"));
    SetWindowTextW(control->filterEdit(), u"Ada");
    EXPECT_THAT(column(4), ElementsAre(u"CN=Ada,OU=Europe,OU=Sales,OU=Corp,DC=t,DC=test"));
    EXPECT_EQ(StoredChoice(), 1u);
    control->showRestoresIntoColumn(false);
    EXPECT_THAT(Titles(list), ElementsAre(u"Name", u"Class", u"Parent", u"Expires"));
    control->showRestoresIntoColumn(true);
    ASSERT_EQ(control->ReleaseInterfaces(), S_OK);
    connect();
    EXPECT_TRUE(control->restoresIntoColumnShown()) << "the choice is kept for the next node";
    EXPECT_TRUE(control->expiresColumnShown());
}

}  // namespace
}  // namespace panoreltest
