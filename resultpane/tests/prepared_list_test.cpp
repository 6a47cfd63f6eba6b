// Large lists ordered on a worker: once shown, the rows, their order, the filter, the status
// and the selection are those of a list handed over at once; a list overtaken before its
// worker ends, or handed to a control that lets go of its records, is let go.
#include <atomic>
#include <cstdlib>
#include <new>
#include <random>

#include "lumivel/text.h"
#include "lumivel/thread_queue.h"
#include "resultpane/tests/control_fixture.h"
#include "tests/support/posted_work.h"

namespace panoreltest {
namespace {

// Memory running out for the worker alone: while armed, a list-sized allocation made by any
// thread but the arming one fails.
std::atomic<bool> g_failLargeAllocations{false};
std::atomic<int> g_failedAllocations{0};
thread_local bool t_spared = false;
constexpr size_t kLargeAllocation = 64 * 1024;

class LargeAllocationsFailElsewhere {
public:
    LargeAllocationsFailElsewhere() {
        t_spared = true;
        g_failLargeAllocations = true;
    }
    ~LargeAllocationsFailElsewhere() {
        g_failLargeAllocations = false;
        t_spared = false;
    }
};

}  // namespace
}  // namespace panoreltest

void* operator new(size_t size) {
    if (size >= panoreltest::kLargeAllocation && panoreltest::g_failLargeAllocations.load() && !panoreltest::t_spared) {
        ++panoreltest::g_failedAllocations;
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

// GCC sees free() meet a block from operator new and cannot know this file's new is malloc.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
// Replaced with it, so that every block goes back the way it came (the address sanitizer
// tells malloc's blocks from its own operator new's).
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace panoreltest {
namespace {

class PreparedOnWorker : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        domain = connectToDomainNode();
        control->prepareOnWorkerFrom(1);
    }
    std::vector<PropertySet*> makeList(int count, unsigned seed) {
        std::mt19937 random(seed);
        std::vector<PropertySet*> list;
        for (int i = 0; i < count; ++i) {
            std::u16string name = u"R" + std::u16string(1, char16_t(u'a' + random() % 26)) +
                                  std::u16string(1, char16_t(u'A' + random() % 26)) + std::u16string(1, char16_t(u'0' + i % 10));
            PropertySet* record = keep(MakeRecord(name, random() % 2 ? u"user" : u"contact"));
            record->IsNode = i % 50 == 0;
            list.push_back(record);
        }
        return list;
    }
    // Bounded: a worker that never ends fails the test instead of hanging it.
    bool waitForRows() {
        return lumivel::PumpThreadWorkUntil([&] { return !control->handOverPending(); }, 20000);
    }
    PropertySet* domain = nullptr;
};

TEST_F(PreparedOnWorker, ShowsWhatAHandOverAtOnceShowsWithFilterAndSelection) {
    std::vector<PropertySet*> first = makeList(300, 1);
    show(first);
    ASSERT_TRUE(control->handOverPending());
    EXPECT_EQ(lumivel::ui::ListViewItemCount(control->topList()), 0) << "nothing is shown half ordered";
    ASSERT_TRUE(waitForRows());
    EXPECT_EQ(console->status, u"300 deleted objects in lumivel.test.");

    // The same list handed at once to a control that orders on its own thread.
    auto atOnce = lumivel::com::NewComObject<panorel::Panorel>();
    ASSERT_TRUE(atOnce->createWindow(host, RECT{0, 0, 400, 300}));
    atOnce->SetInterfaces(static_cast<IProviderData*>(provider.get()), nullptr, nullptr, nullptr);
    atOnce->prepareOnWorkerFrom(SIZE_MAX);
    auto rowsOf = [](HWND list) {
        std::vector<std::u16string> rows;
        for (int i = 0; i < lumivel::ui::ListViewItemCount(list); ++i) rows.push_back(lumivel::ui::ListViewCellText(list, i, 0));
        return rows;
    };

    // A row selected and the filter typed while the next list is ordered: both hold once it shows.
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED;
    SendMessageW(control->topList(), LVM_SETITEMSTATE, 7, reinterpret_cast<LPARAM>(&item));
    const std::u16string selected = lumivel::ui::ListViewCellText(control->topList(), 7, 0);
    std::vector<PropertySet*> second = makeList(200, 2);
    for (int i = 0; i < 200; i += 3) second[size_t(i)] = first[size_t(i)];
    // The selected record stays listed.
    PropertySet* selectedRecord = nullptr;
    for (PropertySet* record : first)
        if (record->getText(u"name") == selected) selectedRecord = record;
    ASSERT_NE(selectedRecord, nullptr);
    second.push_back(selectedRecord);
    show(second);
    ASSERT_TRUE(control->handOverPending());
    lumivel::ui::UserSetEditText(control->filterEdit(), u"ra");
    ASSERT_TRUE(waitForRows());

    lumivel::ui::UserSetEditText(atOnce->filterEdit(), u"ra");
    lumivel::VariantHolder held;
    atOnce->SetObjects(kPanorelTopPane, ListOf(second, &held)->get());
    EXPECT_EQ(rowsOf(control->topList()), rowsOf(atOnce->topList()));
    EXPECT_FALSE(rowsOf(control->topList()).empty());
    std::u16string lower = selected;
    for (char16_t& c : lower) c = c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
    const bool selectedShown = lower.find(u"ra") != std::u16string::npos;
    long at = long(SendMessageW(control->topList(), LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
    if (selectedShown)
        EXPECT_EQ(lumivel::ui::ListViewCellText(control->topList(), int(at), 0), selected);
    else
        EXPECT_EQ(at, -1);
    // Descending by class: the same again.
    for (panorel::Panorel* each : {control.get(), atOnce.get()}) {
        lumivel::ui::UserListColumnClick(each->topList(), 1);
        lumivel::ui::UserListColumnClick(each->topList(), 1);
    }
    EXPECT_EQ(rowsOf(control->topList()), rowsOf(atOnce->topList()));
    const size_t shown = rowsOf(atOnce->topList()).size();
    EXPECT_EQ(console->status, lumivel::FromUtf8(std::to_string(shown)) + u" of 201 deleted objects shown.");
    atOnce->ReleaseInterfaces();
    DestroyWindow(atOnce->window());
}

TEST_F(PreparedOnWorker, OvertakenOrDroppedListsAreLetGo) {
    std::vector<PropertySet*> first = makeList(100, 3), second = makeList(100, 4);
    show(first);
    show(second);
    ASSERT_TRUE(waitForRows());
    // The first list's worker may end after the second's: its records are let go then.
    EXPECT_TRUE(lumivel::PumpThreadWorkUntil([&] { return first.back()->RefCount == 1; }, 20000));
    for (PropertySet* record : first) EXPECT_EQ(record->RefCount, 1);
    EXPECT_EQ(lumivel::ui::ListViewItemCount(control->topList()), 100);
    EXPECT_EQ(second.front()->RefCount, 2);

    // A list still being ordered when the node's records are let go is never shown.
    std::vector<PropertySet*> third = makeList(100, 5);
    show(third);
    control->ReleaseInterfaces();
    EXPECT_FALSE(control->handOverPending());
    EXPECT_TRUE(lumivel::PumpThreadWorkUntil([&] { return third.back()->RefCount == 1; }, 20000));
    EXPECT_EQ(lumivel::ui::ListViewItemCount(control->topList()), 0);
    for (PropertySet* record : second) EXPECT_EQ(record->RefCount, 1);
}

// A worker that fails to order its list (memory running out) still lets the commands waiting
// for it start and leaves the list to the console's thread, which shows it as a list handed
// over at once, never ending the process.
TEST_F(PreparedOnWorker, AWorkerThatFailsLeavesItsListToTheConsolesThread) {
    std::vector<PropertySet*> list = makeList(20000, 8);
    auto rowsOf = [](HWND pane) {
        std::vector<std::u16string> rows;
        for (int i = 0; i < lumivel::ui::ListViewItemCount(pane); ++i) rows.push_back(lumivel::ui::ListViewCellText(pane, i, 0));
        return rows;
    };
    {
        LargeAllocationsFailElsewhere failing;
        show(list);
        ASSERT_TRUE(control->handOverPending());
        ASSERT_TRUE(waitForRows());
    }
    ASSERT_GT(g_failedAllocations.load(), 0) << "the worker ran out of memory";
    EXPECT_FALSE(control->workerReadsRecords());
    EXPECT_EQ(console->status, u"20000 deleted objects in lumivel.test.");

    auto atOnce = lumivel::com::NewComObject<panorel::Panorel>();
    ASSERT_TRUE(atOnce->createWindow(host, RECT{0, 0, 400, 300}));
    atOnce->SetInterfaces(static_cast<IProviderData*>(provider.get()), nullptr, nullptr, nullptr);
    atOnce->prepareOnWorkerFrom(SIZE_MAX);
    lumivel::VariantHolder held;
    atOnce->SetObjects(kPanorelTopPane, ListOf(list, &held)->get());
    EXPECT_EQ(rowsOf(control->topList()), rowsOf(atOnce->topList()));
    atOnce->ReleaseInterfaces();
    DestroyWindow(atOnce->window());
}

// The control's code runs on the console's thread once the worker has posted its end, so the
// module stays locked until that has run, whether it shows the list or lets it go.
TEST_F(PreparedOnWorker, TheModuleStaysLockedUntilTheWorkersEndHasRun) {
    auto locks = [] { return lumivel::com::ThisModule().locks.load(); };
    // The workers of the tests before may not all have ended yet.
    for (int i = 0; i < 4000 && locks() != 0; ++i) {
        lumivel::RunPendingThreadWork();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(locks(), 0);
    const LONG before = locks();
    show(makeList(100, 6));
    ASSERT_TRUE(control->handOverPending());
    ASSERT_TRUE(lumivel::testing::PostedWorkSettled());
    EXPECT_EQ(locks(), before + 1) << "the worker has ended, what it posted has not run";
    ASSERT_TRUE(waitForRows());
    EXPECT_EQ(locks(), before);

    show(makeList(100, 7));
    control->ReleaseInterfaces();
    ASSERT_TRUE(lumivel::testing::PostedWorkSettled());
    EXPECT_EQ(locks(), before + 1);
    lumivel::RunPendingThreadWork();
    EXPECT_EQ(locks(), before);
}

}  // namespace
}  // namespace panoreltest
