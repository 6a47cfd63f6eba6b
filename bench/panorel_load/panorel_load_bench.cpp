// The result-pane control on 100,000 generated deleted-object records, under the headless
// backend, with a provider that answers columns and nothing else:
//   - SetObjects of the whole list (sorted by name) until its rows show, with the longest step
//     of this thread meanwhile, a click on another column and one on the date column, which
//     orders by the deletion time;
//   - the list handed over again with 100 records changed, as a refresh does;
//   - select-all (every record becomes the selection handed to the provider);
//   - resident memory after each of ten refreshes with fresh records.
// Beside each sort: the same records ordered by inserting each one in place (binary search,
// then moving the rest up), the way the control's first home kept its lists.
//
//     build/bin/panorel_load_bench [records]
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "bench/panorel_load/generated_records.h"
#include "bench/panorel_load/hand_over.h"
#include "lumivel/text.h"
#include "lumivel/ui_backend.h"
#include "lumivel/ui_input.h"
#include "lumivel/variant_holder.h"
#include "resultpane/panorel.h"
#include "shared/object_list.h"
#include "shared/record_release.h"

namespace {

using bench::ColumnsOnly;
using bench::Generate;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

std::vector<PropertySet*> InsertOneByOne(const std::vector<PropertySet*>& records, const std::u16string& key) {
    const std::u16string timeKey = panorel::TimeKeyOf(records, key);
    std::vector<PropertySet*> sorted;
    for (PropertySet* record : records) {
        auto at = std::upper_bound(sorted.begin(), sorted.end(), record, [&](PropertySet* a, PropertySet* b) {
            return panorel::CompareRecords(a, b, key, timeKey) < 0;
        });
        sorted.insert(at, record);
    }
    return sorted;
}

void Free(std::vector<PropertySet*>& records) {
    for (PropertySet* record : records) record->release();
    records.clear();
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend());
    WNDCLASSEXW hostClass{};
    hostClass.cbSize = sizeof(hostClass);
    hostClass.lpfnWndProc = DefWindowProcW;
    hostClass.lpszClassName = u"PanorelBenchHost";
    RegisterClassExW(&hostClass);
    HWND host = CreateWindowExW(0, u"PanorelBenchHost", u"", WS_OVERLAPPEDWINDOW, 0, 0, 1000, 700, nullptr, nullptr,
                                nullptr, nullptr);
    auto control = lumivel::com::NewComObject<panorel::Panorel>();
    auto provider = lumivel::com::NewComObject<ColumnsOnly>();
    if (!control || !control->createWindow(host, RECT{0, 0, 1000, 700})) {
        std::fprintf(stderr, "panorel_load_bench: the control's window could not be made\n");
        return 1;
    }
    control->SetInterfaces(static_cast<IProviderData*>(provider.get()), nullptr, nullptr, nullptr);
    HWND list = control->topList();

    std::printf("Result-pane control, %zu generated records (headless backend)\n\n", count);
    std::vector<PropertySet*> records = Generate(count, 1);
    lumivel::VariantHolder objects;
    lumivel::shared::BuildObjectList(records, objects.get());

    const bench::HandOver handOver = bench::HandOverRecords(*control.get(), objects.get());
    const double shown = handOver.shownSeconds;
    const bool ordered = lumivel::ui::ListViewCellText(list, 0, 0) <= lumivel::ui::ListViewCellText(list, 1, 0);

    // A refresh that changed 100 records (50 gone, 50 new): laid over the rows on this thread.
    std::vector<PropertySet*> changedList(records.begin() + 50, records.end());
    std::vector<PropertySet*> newcomers = Generate(50, 99);
    changedList.insert(changedList.end(), newcomers.begin(), newcomers.end());
    lumivel::VariantHolder changedObjects;
    lumivel::shared::BuildObjectList(changedList, changedObjects.get());
    auto start = Clock::now();
    control->SetObjects(kPanorelTopPane, changedObjects.get());
    const double changed = Seconds(start);
    const bool changedShown = size_t(lumivel::ui::ListViewItemCount(list)) == changedList.size();
    // Back to the first list (the same 100 changes the other way), before the newcomers go.
    bench::HandOverRecords(*control.get(), objects.get());
    Free(newcomers);

    start = Clock::now();
    lumivel::ui::UserListColumnClick(list, 2);
    const double resorted = Seconds(start);

    start = Clock::now();
    lumivel::ui::UserListColumnClick(list, 3);
    const double resortedByTime = Seconds(start);

    start = Clock::now();
    LVITEMW all{};
    all.stateMask = LVIS_SELECTED;
    all.state = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&all));
    const double selected = Seconds(start);
    const size_t handed = provider->lastSelection;

    start = Clock::now();
    std::vector<PropertySet*> byName = InsertOneByOne(records, u"name");
    const double insertName = Seconds(start);
    start = Clock::now();
    std::vector<PropertySet*> byClass = InsertOneByOne(records, u"FriendlyClassName");
    const double insertClass = Seconds(start);
    std::vector<PropertySet*> check = records;
    panorel::SortRecords(check, u"FriendlyClassName");
    const bool same = check == byClass;
    start = Clock::now();
    std::vector<PropertySet*> byTime = InsertOneByOne(records, u"dateDeleted");
    const double insertTime = Seconds(start);
    check = records;
    panorel::SortRecords(check, u"dateDeleted");
    const bool sameTime = check == byTime;

    std::printf("%-34s %10s %12s %s\n", "operation", "control", "target", "one-by-one insertion (reference)");
    std::printf("%-34s %9.3fs %11s %9.3fs\n", "SetObjects, shown sorted by name", shown, "<= 0.300s", insertName);
    std::printf("%-34s %9.3fs %11s %s\n", "  of it the console's longest step", handOver.longestStep, "<= 0.100s",
                "(the order is made on a worker)");
    std::printf("%-34s %9.3fs %11s %s\n", "the list again, 100 records changed", changed, "<= 0.100s",
                changedShown ? "(laid over the rows shown)" : "(NOT all rows shown)");
    std::printf("%-34s %9.3fs %11s %9.3fs\n", "column click, re-sort by class", resorted, "<= 0.200s", insertClass);
    std::printf("%-34s %9.3fs %11s %9.3fs\n", "column click, re-sort by time", resortedByTime, "<= 0.200s",
                insertTime);
    std::printf("%-34s %9.3fs %11s %s\n", "select-all, selection to provider", selected, "<= 0.100s",
                "(no sort involved)");
    std::printf("\nfirst rows in name order: %s; class and time orders equal to the reference's: %s, %s; "
                "selection handed over: %zu\n",
                ordered ? "yes" : "NO", same ? "yes" : "NO", sameTime ? "yes" : "NO", handed);
    Free(records);
    objects.clear();

    std::printf("\nresident memory after each refresh of %zu fresh records (the previous ones let go):\n", count);
    long first = 0, last = 0;
    for (int round = 1; round <= 10; ++round) {
        std::vector<PropertySet*> fresh = Generate(count, unsigned(round + 1));
        lumivel::VariantHolder list;
        lumivel::shared::BuildObjectList(fresh, list.get());
        bench::HandOverRecords(*control.get(), list.get());
        // The node's own references, as the snap-in drops them when the next list replaces it.
        Free(fresh);
        // The list replaced is freed on a worker: its memory counts once it is given back.
        for (int wait = 0; wait < 6000 && lumivel::shared::ReleasesAsideRunning(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        malloc_trim(0);
        last = ResidentKiB();
        if (round == 1) first = last;
        std::printf("  refresh %2d: %8ld KiB\n", round, last);
    }
    std::printf("growth from the first to the tenth refresh: %ld KiB (flat: within 5%%: %s)\n", last - first,
                std::labs(last - first) * 20 <= first ? "yes" : "NO");
    control->SetObjects(kPanorelTopPane, nullptr);
    DestroyWindow(control->window());
    DestroyWindow(host);
    return ordered && same && handOver.shown && changedShown ? 0 : 1;
}
