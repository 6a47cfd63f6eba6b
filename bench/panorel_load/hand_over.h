// A list handed to the control: large ones are ordered on a worker and swapped in on this
// thread. Waits (at most a minute) until the rows are shown, and says how long the swap held
// this thread.
#pragma once

#include <chrono>
#include <thread>

#include "lumivel/thread_queue.h"
#include "resultpane/panorel.h"

namespace bench {

struct HandOver {
    double shownSeconds = 0;    // from the call until the rows are shown
    double longestStep = 0;     // the longest step this thread ran meanwhile
    bool shown = false;
};

inline HandOver HandOverRecords(panorel::Panorel& control, VARIANT* records) {
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); };
    HandOver result;
    const auto start = Clock::now();
    control.SetObjects(kPanorelTopPane, records);
    result.longestStep = seconds(start);
    while (control.handOverPending() && seconds(start) < 60) {
        // The bench looks at the queue without draining it, so that each drain is timed alone.
        if (!lumivel::HasPendingThreadWork()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        const auto step = Clock::now();
        lumivel::RunPendingThreadWork();
        result.longestStep = std::max(result.longestStep, seconds(step));
    }
    result.shownSeconds = seconds(start);
    result.shown = !control.handOverPending();
    return result;
}

}  // namespace bench
