// A refreshed list handed over as its difference: the order is the one a whole sort gives
// (by name, by another column with ties, by time with the untimed last, scope records first,
// either direction), and the view keeps its filter, selection, top row and references.
#include <algorithm>
#include <random>
#include <string>

#include "lumivel/text.h"
#include "resultpane/list_difference.h"
#include "resultpane/record_order.h"
#include "resultpane/tests/control_fixture.h"

namespace panoreltest {
namespace {

using panorel::SmallDifference;
using panorel::TopRecords;

std::vector<PropertySet*> Shown(const TopRecords& records) {
    std::vector<PropertySet*> shown;
    for (long i = 0; i < long(records.size()); ++i) shown.push_back(records.at(i));
    return shown;
}

class DifferenceOrder : public ::testing::Test {
protected:
    ~DifferenceOrder() override {
        for (PropertySet* record : made) record->release();
    }
    PropertySet* make(std::mt19937& random) {
        static constexpr const char16_t* kClasses[] = {u"user", u"group", u"contact"};
        std::u16string name = u"N";
        name += char16_t(u'a' + random() % 6);  // many records share a name
        name += random() % 2 ? u"x" : u"X";
        PropertySet* record = MakeRecord(name, kClasses[random() % 3]);
        // A tenth carry no time: they stay last both ways.
        if (random() % 10)
            record->setText(u"whenUtc", u"2026-0" + std::u16string(1, char16_t(u'1' + random() % 4)) + u"-01T00:00:00Z");
        record->setText(u"when", u"shown");
        record->IsNode = random() % 8 == 0;
        made.push_back(record);
        return record;
    }
    std::vector<PropertySet*> made;
};

TEST_F(DifferenceOrder, ChangesLaidOverASortedListGiveTheWholeSortsOrder) {
    std::mt19937 random(7);
    for (const char16_t* key : {u"name", u"class", u"when"}) {
        for (bool ascending : {true, false}) {
            std::vector<PropertySet*> before;
            for (int i = 0; i < 200; ++i) before.push_back(make(random));
            TopRecords shown;
            shown.assign(before, key);
            // A few leave, a few come: the kept records in their old order, the new ones after.
            std::unordered_set<const PropertySet*> removed;
            std::vector<PropertySet*> after;
            for (PropertySet* record : before)
                if (random() % 15 == 0)
                    removed.insert(record);
                else
                    after.push_back(record);
            std::vector<PropertySet*> added;
            for (int i = 0; i < 12; ++i) added.push_back(make(random));
            after.insert(after.end(), added.begin(), added.end());
            shown.applyChanges(removed, added, key);
            shown.setAscending(ascending);
            TopRecords whole;
            whole.assign(after, key);
            whole.setAscending(ascending);
            EXPECT_EQ(Shown(shown), Shown(whole)) << "key " << lumivel::ToUtf8(key) << (ascending ? " up" : " down");
            EXPECT_EQ(shown.total(), after.size());
        }
    }
}

TEST(ListDifference, FindsWhatLeftAndCameAndGivesUpOnLargeOrOddLists) {
    std::vector<PropertySet*> r;
    for (int i = 0; i < 5; ++i) r.push_back(MakeRecord(u"r" + std::u16string(1, char16_t(u'0' + i))));
    auto same = SmallDifference({r[0], r[1], r[2]}, {r[2], r[0], r[1]}, 1);
    ASSERT_TRUE(same);
    EXPECT_TRUE(same->removed.empty() && same->added.empty()) << "another order is no change";
    auto changed = SmallDifference({r[0], r[1], r[2]}, {r[0], r[3], r[2], r[4]}, 2);
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->removed, (std::unordered_set<const PropertySet*>{r[1]}));
    EXPECT_EQ(changed->added, (std::vector<PropertySet*>{r[3], r[4]}));
    EXPECT_FALSE(SmallDifference({r[0], r[1], r[2]}, {r[0], r[3], r[4]}, 1)) << "more came than allowed";
    EXPECT_FALSE(SmallDifference({r[0], r[1], r[2]}, {r[0]}, 1)) << "more left than allowed";
    EXPECT_FALSE(SmallDifference({r[0], r[1]}, {r[0], r[1], r[1]}, 3)) << "a record twice";
    EXPECT_FALSE(SmallDifference({r[0], r[0]}, {r[0], r[1]}, 3)) << "a record twice before";
    for (PropertySet* record : r) record->release();
}

class DifferenceInControl : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        domain = connectToDomainNode();
        for (int i = 0; i < 60; ++i) {
            std::u16string name = u"Object " + std::u16string(1, char16_t(u'A' + i / 10)) +
                                  std::u16string(1, char16_t(u'0' + i % 10));
            list.push_back(keep(MakeRecord(name, i % 2 ? u"user" : u"contact")));
        }
        show(list);
    }
    std::vector<std::u16string> names() { return column(0); }
    void select(long row, bool add = false) {
        LVITEMW item{};
        item.stateMask = item.state = LVIS_SELECTED;
        if (!add) {
            LVITEMW none{};
            none.stateMask = LVIS_SELECTED;
            SendMessageW(control->topList(), LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&none));
        }
        SendMessageW(control->topList(), LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&item));
    }
    std::vector<std::u16string> selectedNames() {
        std::vector<std::u16string> selected;
        HWND top = control->topList();
        for (long i = long(SendMessageW(top, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)); i >= 0;
             i = long(SendMessageW(top, LVM_GETNEXTITEM, WPARAM(i), LVNI_SELECTED)))
            selected.push_back(lumivel::ui::ListViewCellText(top, int(i), 0));
        return selected;
    }
    PropertySet* domain = nullptr;
    std::vector<PropertySet*> list;
};

TEST_F(DifferenceInControl, AFewChangesKeepOrderFilterSelectionTopRowAndReferences) {
    HWND top = control->topList();
    // A filter on, a row selected, one changed record selected, and the view scrolled down.
    lumivel::ui::UserSetEditText(control->filterEdit(), u"object");
    select(30);
    select(40, true);
    lumivel::ui::UserListScrolled(top, 20);
    const std::u16string topName = lumivel::ui::ListViewCellText(top, 20, 0);
    ASSERT_EQ(selectedNames(), (std::vector<std::u16string>{u"Object D0", u"Object E0"}));

    // The refresh: "Object B5" leaves, "Object E0" comes back as a new record (it changed),
    // and two new records come, one of which the filter lets through.
    PropertySet* leaving = list[15];
    PropertySet* changed = keep(MakeRecord(u"Object E0", u"user"));
    std::vector<PropertySet*> next;
    for (PropertySet* record : list)
        if (record != leaving) next.push_back(record == list[40] ? changed : record);
    next.push_back(keep(MakeRecord(u"Object A5b", u"user")));
    next.push_back(keep(MakeRecord(u"Unrelated", u"user")));
    const LONG heldBefore = list[0]->RefCount;
    show(next);

    std::vector<std::u16string> expected = names();
    // What a control that is handed the new list afresh shows.
    {
        auto fresh = lumivel::com::NewComObject<panorel::Panorel>();
        ASSERT_TRUE(fresh->createWindow(host, RECT{0, 0, 400, 300}));
        fresh->SetInterfaces(static_cast<IProviderData*>(provider.get()), nullptr, nullptr, nullptr);
        lumivel::ui::UserSetEditText(fresh->filterEdit(), u"object");
        lumivel::VariantHolder held;
        fresh->SetObjects(kPanorelTopPane, ListOf(next, &held)->get());
        std::vector<std::u16string> freshNames;
        for (int i = 0; i < lumivel::ui::ListViewItemCount(fresh->topList()); ++i)
            freshNames.push_back(lumivel::ui::ListViewCellText(fresh->topList(), i, 0));
        EXPECT_EQ(expected, freshNames);
        fresh->ReleaseInterfaces();
        DestroyWindow(fresh->window());
    }
    EXPECT_EQ(expected.size(), 60u) << "59 listed and one new one pass the filter";
    EXPECT_EQ(expected[6], u"Object A5b");
    EXPECT_EQ(console->status, u"60 of 61 deleted objects shown.");
    EXPECT_EQ(selectedNames(), (std::vector<std::u16string>{u"Object D0", u"Object E0"}))
        << "the changed record is selected again by its name";
    EXPECT_EQ(lumivel::ui::ListViewCellText(top, int(SendMessageW(top, LVM_GETTOPINDEX, 0, 0)), 0), topName);
    EXPECT_EQ(list[0]->RefCount, heldBefore) << "a record that stayed keeps one reference for the control";
    EXPECT_EQ(leaving->RefCount, 1) << "the record that left is let go (the test holds the one left)";

    // The same list again is nothing to do; a large change is a whole hand-over, still right.
    show(next);
    EXPECT_EQ(names(), expected);
    std::vector<PropertySet*> half(next.begin(), next.begin() + 30);
    show(half);
    EXPECT_EQ(names().size(), 30u);
    EXPECT_EQ(console->status, u"30 of 30 deleted objects shown.");
}

// Refresh after refresh laid over the rows (records leaving, changing, coming) under random sort
// columns, directions and filter texts shows what a control handed each list whole shows: the
// same rows in the same order, the same count in the status, and the rows selected before
// that stayed still selected.
TEST_F(DifferenceInControl, RandomRefreshesShowWhatAWholeHandOverShows) {
    std::mt19937 random(11);
    HWND top = control->topList();
    // Names are unique, as a tombstone's are with its GUID: among equal keys a whole sort keeps
    // the list's order, which a record changed in its place does not keep.
    unsigned made = 0;
    auto make = [&] {
        std::u16string name = u"Object ";
        name += char16_t(u'A' + random() % 5);
        name += char16_t(u'0' + random() % 3);
        name += u" #" + lumivel::FromUtf8(std::to_string(++made));
        PropertySet* record = keep(MakeRecord(name, random() % 2 ? u"user" : u"contact"));
        record->setText(u"parent", random() % 2 ? u"OU=x1" : u"OU=y");
        return record;
    };
    std::vector<PropertySet*> shown = list;
    for (int i = 0; i < 20; ++i) shown.push_back(make());
    show(shown);
    const char16_t* const filters[] = {u"", u"object", u"a", u"x1", u"b2"};
    for (int round = 0; round < 40; ++round) {
        if (random() % 3 == 0) lumivel::ui::UserListColumnClick(top, int(random() % 3));
        lumivel::ui::UserSetEditText(control->filterEdit(), filters[random() % 5]);
        // Two rows selected, their records left alone by this round's changes.
        std::vector<std::u16string> selectedBefore;
        const long rows = lumivel::ui::ListViewItemCount(top);
        if (rows > 2) {
            select(long(random() % rows));
            select(long(random() % rows), true);
        }
        selectedBefore = selectedNames();
        std::vector<PropertySet*> next;
        for (PropertySet* record : shown) {
            const unsigned fate = random() % 40;
            const bool selected = std::find(selectedBefore.begin(), selectedBefore.end(),
                                            std::u16string(record->getText(u"name"))) != selectedBefore.end();
            if (fate == 0 && !selected) continue;  // restored or purged
            next.push_back(fate == 1 && !selected ? make() : record);
        }
        for (unsigned i = random() % 4; i > 0; --i) next.push_back(make());
        show(next);
        shown = next;

        auto fresh = lumivel::com::NewComObject<panorel::Panorel>();
        ASSERT_TRUE(fresh->createWindow(host, RECT{0, 0, 400, 300}));
        fresh->SetInterfaces(static_cast<IProviderData*>(provider.get()), nullptr, nullptr, nullptr);
        if (fresh->sortColumn() != control->sortColumn())
            lumivel::ui::UserListColumnClick(fresh->topList(), control->sortColumn());
        if (fresh->sortAscending() != control->sortAscending())
            lumivel::ui::UserListColumnClick(fresh->topList(), control->sortColumn());
        lumivel::ui::UserSetEditText(fresh->filterEdit(), control->filter().criteria().text);
        lumivel::VariantHolder held;
        fresh->SetObjects(kPanorelTopPane, ListOf(next, &held)->get());
        std::vector<std::u16string> expected;
        for (int i = 0; i < lumivel::ui::ListViewItemCount(fresh->topList()); ++i)
            expected.push_back(lumivel::ui::ListViewCellText(fresh->topList(), i, 0) + u"|" +
                               lumivel::ui::ListViewCellText(fresh->topList(), i, 1) + u"|" +
                               lumivel::ui::ListViewCellText(fresh->topList(), i, 2));
        fresh->ReleaseInterfaces();
        DestroyWindow(fresh->window());
        std::vector<std::u16string> actual;
        for (int i = 0; i < lumivel::ui::ListViewItemCount(top); ++i)
            actual.push_back(lumivel::ui::ListViewCellText(top, i, 0) + u"|" + lumivel::ui::ListViewCellText(top, i, 1) +
                             u"|" + lumivel::ui::ListViewCellText(top, i, 2));
        ASSERT_EQ(actual, expected) << "round " << round;
        const std::u16string total = lumivel::FromUtf8(std::to_string(next.size()));
        if (control->filter().active())
            EXPECT_EQ(console->status, lumivel::FromUtf8(std::to_string(actual.size())) + u" of " + total + u" deleted objects shown.");
        else
            EXPECT_EQ(console->status, total + u" deleted objects in lumivel.test.");
        // The selected records stayed: each is still selected where the filter shows it.
        std::vector<std::u16string> after = selectedNames();
        for (const std::u16string& name : selectedBefore)
            EXPECT_NE(std::find(after.begin(), after.end(), name), after.end()) << "round " << round;
    }
}

}  // namespace
}  // namespace panoreltest
