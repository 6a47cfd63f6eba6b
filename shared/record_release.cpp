#include "shared/record_release.h"

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>

#include "lumivel/com_object.h"

namespace lumivel::shared {

namespace {

std::atomic<size_t> g_running{0};

void ReleaseEach(const std::vector<PropertySet*>& records) {
    for (PropertySet* record : records)
        if (record) record->release();
}

}  // namespace

bool ReleaseRecordsAside(std::vector<PropertySet*>& records, size_t asideFrom) {
    auto taken = std::make_shared<std::vector<PropertySet*>>(std::move(records));
    records.clear();
    if (taken->size() < asideFrom) {
        ReleaseEach(*taken);
        return false;
    }
    // The records' code (their destroy) is this module's: it stays loaded while the worker runs.
    ++lumivel::com::ThisModule().locks;
    ++g_running;
    try {
        std::thread([taken] {
            ReleaseEach(*taken);
            --g_running;
            --lumivel::com::ThisModule().locks;
        }).detach();
    } catch (const std::system_error&) {
        --g_running;
        --lumivel::com::ThisModule().locks;
        ReleaseEach(*taken);
        return false;
    }
    return true;
}

size_t ReleasesAsideRunning() { return g_running.load(); }

}  // namespace lumivel::shared
