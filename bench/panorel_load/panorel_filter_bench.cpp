// The result-pane control's filter bar on 100,000 generated deleted-object records, under the
// headless backend: each keystroke of typing a text and erasing it again, a second text, and
// a deletion day ticked on and off, each timed from the edit's change to the list showing the
// passing rows (status bar included). Beside each keystroke: the same choice made the
// straightforward way, every record's texts folded and searched anew for every keystroke.
//
//     build/bin/panorel_filter_bench [records]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/panorel_load/generated_records.h"
#include "bench/panorel_load/hand_over.h"
#include "lumivel/text.h"
#include "lumivel/ui_backend.h"
#include "lumivel/ui_input.h"
#include "lumivel/variant_holder.h"
#include "lumivel/match_folding.h"
#include "lumivel/wide_string.h"
#include "resultpane/panorel.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// The reference: no folded texts kept, no narrowing.
size_t CountStraightforward(const std::vector<PropertySet*>& records, const std::u16string& text) {
    const std::u16string needle = lumivel::FoldForMatching(text);
    size_t passing = 0;
    for (PropertySet* record : records) {
        std::u16string haystack = lumivel::FoldForMatching(lumivel::shared::PlainTombstoneName(record->getText(u"name")));
        for (const char16_t* key : {u"parent", u"FriendlyClassName", u"class"})
            haystack += u'\x1F' + lumivel::FoldForMatching(record->getText(key));
        if (haystack.find(needle) != std::u16string::npos) ++passing;
    }
    return passing;
}

struct Step {
    std::string label;
    double control, reference;
    int shown;
};

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend());
    WNDCLASSEXW hostClass{};
    hostClass.cbSize = sizeof(hostClass);
    hostClass.lpfnWndProc = DefWindowProcW;
    hostClass.lpszClassName = u"PanorelFilterBenchHost";
    RegisterClassExW(&hostClass);
    HWND host = CreateWindowExW(0, u"PanorelFilterBenchHost", u"", WS_OVERLAPPEDWINDOW, 0, 0, 1000, 700, nullptr,
                                nullptr, nullptr, nullptr);
    auto control = lumivel::com::NewComObject<panorel::Panorel>();
    auto provider = lumivel::com::NewComObject<bench::ColumnsOnly>();
    if (!control || !control->createWindow(host, RECT{0, 0, 1000, 700})) {
        std::fprintf(stderr, "panorel_filter_bench: the control's window could not be made\n");
        return 1;
    }
    control->SetInterfaces(static_cast<IProviderData*>(provider.get()), nullptr, nullptr, nullptr);
    HWND list = control->topList();
    std::vector<PropertySet*> records = bench::Generate(count, 1);
    lumivel::VariantHolder objects;
    lumivel::shared::BuildObjectList(records, objects.get());
    const double shown = bench::HandOverRecords(*control.get(), objects.get()).shownSeconds * 1000;
    // What the filter spends once, when the bar takes the focus: every record's texts folded.
    auto foldedAt = Clock::now();
    lumivel::ui::UserFocused(control->filterEdit());
    const double folded = Milliseconds(foldedAt);

    std::vector<Step> steps;
    bool agreed = true;
    auto typed = [&](const std::u16string& text) {
        auto start = Clock::now();
        lumivel::ui::UserSetEditText(control->filterEdit(), text);
        const double took = Milliseconds(start);
        const int shown = lumivel::ui::ListViewItemCount(list);
        start = Clock::now();
        const size_t reference = CountStraightforward(records, text);
        const double referenceTook = Milliseconds(start);
        if (size_t(shown) != reference) agreed = false;
        steps.push_back({"\"" + lumivel::ToUtf8(text) + "\"", took, referenceTook, shown});
    };
    const std::u16string first = u"unit 12", second = u"person 0004";
    for (size_t n = 1; n <= first.size(); ++n) typed(first.substr(0, n));
    for (size_t n = first.size(); n-- > 0;) typed(first.substr(0, n));
    for (size_t n = 1; n <= second.size(); ++n) typed(second.substr(0, n));
    typed(u"");

    auto timedDay = [&](const std::string& label, auto action) {
        auto start = Clock::now();
        action();
        steps.push_back({label, Milliseconds(start), 0, lumivel::ui::ListViewItemCount(list)});
    };
    timedDay("\"Deleted after\" ticked", [&] { lumivel::ui::UserClickButton(control->deletedAfterCheck()); });
    timedDay("day 2026-06-01 chosen", [&] {
        SYSTEMTIME day{2026, 6, 0, 1, 0, 0, 0, 0};
        lumivel::ui::UserSetDateTime(control->deletedAfterPicker(), &day);
    });
    timedDay("\"Deleted after\" cleared", [&] { lumivel::ui::UserClickButton(control->deletedAfterCheck()); });

    std::printf("Result-pane filter bar, %zu generated records (headless backend)\n\n", count);
    std::printf("SetObjects: %.1f ms; the bar taking the focus (texts folded once): %.1f ms\n\n", shown,
                folded);
    std::printf("%-28s %10s %8s %10s %s\n", "keystroke", "control", "target", "rows", "straightforward (reference)");
    double slowest = 0;
    for (const Step& step : steps) {
        slowest = std::max(slowest, step.control);
        if (step.reference > 0)
            std::printf("%-28s %8.1fms %8s %10d %9.1fms\n", step.label.c_str(), step.control, "<= 50ms", step.shown,
                        step.reference);
        else
            std::printf("%-28s %8.1fms %8s %10d %s\n", step.label.c_str(), step.control, "<= 50ms", step.shown, "-");
    }
    std::printf("\nslowest keystroke: %.1f ms (within 50 ms: %s); rows equal to the reference's: %s\n", slowest,
                slowest <= 50 ? "yes" : "NO", agreed ? "yes" : "NO");
    control->SetObjects(kPanorelTopPane, nullptr);
    for (PropertySet* record : records) record->release();
    objects.clear();
    DestroyWindow(control->window());
    DestroyWindow(host);
    return agreed ? 0 : 1;
}
