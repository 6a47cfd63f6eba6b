// For tests of work a worker posts back to the test's thread: waits for it without running
// it, so that what holds until the posted work has run can be seen held.
#pragma once

#include <chrono>
#include <thread>

#include "lumivel/thread_queue.h"

namespace lumivel::testing {

// Until work waits in the calling thread's queue, and then a while longer, so that the worker
// that posted it has ended; the work itself is left waiting. False after a minute with none.
inline bool PostedWorkSettled() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!HasPendingThreadWork()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return true;
}

}  // namespace lumivel::testing
