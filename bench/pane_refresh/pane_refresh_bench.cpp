// The console thread's part of F5 on a domain node, in-process and without a DC: a node's
// list of generated tombstones shown by the result-pane control (headless backend), then
// command 322's answer applied the way the snap-in applies it (laid over the node's list,
// the new list built and handed to the control, the old one released aside), with no change
// and with N changes (a third restored or purged, a third changed, a third new). Each case
// runs sorted by name, by the deletion date, and by name with the filter bar holding a text;
// the time printed is the best of the rounds, with its steps (the node's GUID index is made on
// the first refresh with changes, as in the console, and kept up to date after). After the rounds the control's
// rows are checked against a control handed the same list whole.
//
//     build/bin/pane_refresh_bench [records [changes [rounds]]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "bench/panorel_load/generated_records.h"
#include "bench/panorel_load/hand_over.h"
#include "lumivel/ui_backend.h"
#include "lumivel/ui_input.h"
#include "resultpane/panorel.h"
#include "shared/directory_operations.h"
#include "shared/listing_changes.h"
#include "shared/listing_index.h"
#include "shared/object_list.h"
#include "shared/record_release.h"
#include "snapin/listing_refresh.h"
#include "snapin/node_worker.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

struct Steps {
    double apply = 0, build = 0, hand = 0, release = 0;
    double total() const { return apply + build + hand + release; }
};

// The node: its list (one reference each) as a VARIANT, as ScopeNode keeps it.
struct Node {
    VARIANT objects;
    lumivel::shared::ListingGuidIndex guids;
    Node() { VariantInit(&objects); }
    std::vector<PropertySet*> records() const { return lumivel::shared::ReadObjectList(&objects); }
};

// Command 322's answer: the header, then `changes` change records against the listed ones.
void MakeAnswer(const std::vector<PropertySet*>& listed, size_t changes, unsigned seed, VARIANT* answer) {
    std::vector<PropertySet*> records;
    PropertySet* header = PropertySet::create();
    header->setText(kSyncServerKey, u"dc1.lumivel.test");
    header->setText(kSyncCookieKey, u"cookie");
    records.push_back(header);
    std::mt19937 random(seed);
    std::vector<PropertySet*> fresh = bench::Generate(changes, seed);
    for (size_t i = 0; i < changes; ++i) {
        const PropertySet* old = listed[random() % listed.size()];
        const std::u16string guid(lumivel::shared::TombstoneGuid(old->getText(u"name")));
        if (i % 3 == 0) {
            // Restored or purged.
            fresh[i]->release();
            PropertySet* left = PropertySet::create();
            left->setInt(kSyncLeftKey, 1);
            left->setText(u"guid", guid);
            records.push_back(left);
        } else if (i % 3 == 1) {
            // Changed: the same tombstone with another parent.
            PropertySet* changed = old->clone();
            changed->setText(u"parent", u"OU=Moved,DC=lumivel,DC=test");
            changed->setInt(u"FromRevivoProvider", 1);
            fresh[i]->release();
            records.push_back(changed);
        } else {
            records.push_back(fresh[i]);
        }
    }
    VariantInit(answer);
    lumivel::shared::BuildObjectList(records, answer);
}

// One F5 whose answer has come, as ApplyChanges and ScopeNode::replaceObjects run it.
Steps Refresh(panorel::Panorel& control, Node& node, VARIANT* answer) {
    Steps steps;
    snapin::ListingSyncPoint point;
    std::vector<PropertySet*> next;
    auto start = Clock::now();
    const std::vector<PropertySet*> current = node.records();
    snapin::ListingUpdate update = snapin::ApplyListingAnswer(answer, current, &next, &point, std::time(nullptr), &node.guids);
    steps.apply = Seconds(start);
    if (!update.changed) {
        start = Clock::now();
        control.SetObjects(kPanorelTopPane, &node.objects);
        steps.hand = Seconds(start);
        return steps;
    }
    start = Clock::now();
    VARIANT list;
    VariantInit(&list);
    lumivel::shared::BuildObjectList(next, &list);
    steps.build = Seconds(start);
    start = Clock::now();
    VARIANT old = node.objects;
    node.objects = list;
    control.SetObjects(kPanorelTopPane, &node.objects);
    steps.hand = Seconds(start);
    start = Clock::now();
    lumivel::shared::ReleaseObjectListAside(&old);
    steps.release = Seconds(start);
    return steps;
}

void WaitForReleases() {
    for (int wait = 0; wait < 6000 && lumivel::shared::ReleasesAsideRunning(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::vector<std::u16string> Rows(HWND list) {
    std::vector<std::u16string> rows;
    const int count = lumivel::ui::ListViewItemCount(list);
    rows.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        rows.push_back(lumivel::ui::ListViewCellText(list, i, 0) + u"|" + lumivel::ui::ListViewCellText(list, i, 1));
    return rows;
}

lumivel::ComPtr<panorel::Panorel> MakeControl(HWND host, bench::ColumnsOnly* provider) {
    auto control = lumivel::com::NewComObject<panorel::Panorel>();
    if (!control || !control->createWindow(host, RECT{0, 0, 1000, 700})) return {};
    control->SetInterfaces(static_cast<IProviderData*>(provider), nullptr, nullptr, nullptr);
    return control;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    const size_t changes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    if (count < 10 || rounds < 1) {
        std::fprintf(stderr, "usage: pane_refresh_bench [records>=10 [changes [rounds]]]\n");
        return 2;
    }
    lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend());
    WNDCLASSEXW hostClass{};
    hostClass.cbSize = sizeof(hostClass);
    hostClass.lpfnWndProc = DefWindowProcW;
    hostClass.lpszClassName = u"PaneRefreshBenchHost";
    RegisterClassExW(&hostClass);
    HWND host = CreateWindowExW(0, u"PaneRefreshBenchHost", u"", WS_OVERLAPPEDWINDOW, 0, 0, 1000, 700, nullptr,
                                nullptr, nullptr, nullptr);
    auto provider = lumivel::com::NewComObject<bench::ColumnsOnly>();
    auto control = MakeControl(host, provider.get());
    if (!control) {
        std::fprintf(stderr, "pane_refresh_bench: the control's window could not be made\n");
        return 1;
    }
    HWND list = control->topList();

    Node node;
    {
        std::vector<PropertySet*> records = bench::Generate(count, 1);
        for (PropertySet* record : records) record->setInt(u"FromRevivoProvider", 1);
        lumivel::shared::BuildObjectList(records, &node.objects);
    }
    if (!bench::HandOverRecords(*control.get(), &node.objects).shown) {
        std::fprintf(stderr, "pane_refresh_bench: the first list was never shown\n");
        return 1;
    }

    std::printf("F5's answer applied on the console's thread, %zu generated records, %zu changes, best of %d "
                "(headless backend)\n\n",
                count, changes, rounds);
    std::printf("%-42s %9s %9s %9s %9s %9s\n", "case", "total", "answer", "list", "control", "release");
    struct Case {
        const char* name;
        int column;                // clicked before the case (-1: none)
        const char16_t* filter;    // typed into the filter bar (null: cleared)
    };
    const Case cases[] = {{"sorted by name", -1, nullptr},
                          {"sorted by date deleted", 3, nullptr},
                          {"by name, filter \"person 1\"", 0, u"person 1"}};
    bool same = true;
    unsigned seed = 1000;
    for (const Case& c : cases) {
        if (c.column >= 0) lumivel::ui::UserListColumnClick(list, c.column);
        lumivel::ui::UserSetEditText(control->filterEdit(), c.filter ? c.filter : u"");
        for (size_t n : {size_t(0), changes}) {
            Steps best;
            best.apply = 1e9;
            for (int round = 0; round < rounds; ++round) {
                VARIANT answer;
                MakeAnswer(node.records(), n, ++seed, &answer);
                WaitForReleases();
                Steps steps = Refresh(*control.get(), node, &answer);
                if (steps.total() < best.total()) best = steps;
            }
            char label[64];
            std::snprintf(label, sizeof label, "%s, %zu changed", c.name, n);
            std::printf("%-42s %8.4fs %8.4fs %8.4fs %8.4fs %8.4fs\n", label, best.total(), best.apply, best.build,
                        best.hand, best.release);
        }
        // The rows laid over round by round are the rows of the same list handed over whole.
        auto fresh = MakeControl(host, provider.get());
        // Sorted as the control is: by name ascending at first, a click on the column, another to turn it.
        if (control->sortColumn() != fresh->sortColumn())
            lumivel::ui::UserListColumnClick(fresh->topList(), control->sortColumn());
        if (control->sortAscending() != fresh->sortAscending())
            lumivel::ui::UserListColumnClick(fresh->topList(), control->sortColumn());
        lumivel::ui::UserSetEditText(fresh->filterEdit(), c.filter ? c.filter : u"");
        bench::HandOverRecords(*fresh.get(), &node.objects);
        const std::vector<std::u16string> expected = Rows(fresh->topList()), shown = Rows(list);
        const bool equal = expected == shown;
        if (!equal) {
            size_t at = 0;
            while (at < expected.size() && at < shown.size() && expected[at] == shown[at]) ++at;
            std::printf("  rows differ from a whole hand-over (%s): %zu rows against %zu, first at row %zu\n", c.name,
                        shown.size(), expected.size(), at);
        }
        same = same && equal;
        fresh->SetObjects(kPanorelTopPane, nullptr);
        DestroyWindow(fresh->window());
    }
    std::printf("\nrows after the rounds equal to a whole hand-over of the same list: %s\n", same ? "yes" : "NO");
    control->SetObjects(kPanorelTopPane, nullptr);
    lumivel::shared::FreeObjectListRecords(&node.objects);
    WaitForReleases();
    DestroyWindow(control->window());
    DestroyWindow(host);
    return same ? 0 : 1;
}
