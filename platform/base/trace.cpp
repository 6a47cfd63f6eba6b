#include "lumivel/trace.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

namespace lumivel {

namespace {

constexpr char kTraceVariable[] = "LUMIVEL_TRACE";

bool TraceAskedByEnvironment() {
    const char* value = std::getenv(kTraceVariable);
    return value && *value && std::strcmp(value, "0") != 0;
}

std::atomic<bool>& TraceSwitch() {
    static std::atomic<bool> on{TraceAskedByEnvironment()};
    return on;
}

}  // namespace

void EnableTrace() {
    TraceSwitch() = true;
    setenv(kTraceVariable, "1", 1);
}

bool TraceEnabled() { return TraceSwitch().load(std::memory_order_relaxed); }

void Trace(std::string_view area, std::string_view text) {
    if (!TraceEnabled()) return;
    std::string line = "trace: ";
    line.append(area).append(": ").append(text).push_back('\n');
    // One write per line, so that lines of several threads do not interleave.
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
}

}  // namespace lumivel
