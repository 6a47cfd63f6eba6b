#include "shared/record_release.h"

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>

#include "lumivel/com_object.h"
#include "shared/object_list.h"

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
        std::thread([taken]() mutable {
            ReleaseEach(*taken);
            taken.reset();
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

bool ReleaseObjectListAside(VARIANT* list, size_t asideFrom) {
    if (!list) return false;
    std::vector<PropertySet*> records = ReadObjectList(list, ListForm::AnyArray);
    // Only the array goes here: its references go with the records.
    VariantClear(list);
    VariantInit(list);
    return ReleaseRecordsAside(records, asideFrom);
}

size_t ReleasesAsideRunning() { return g_running.load(); }

}  // namespace lumivel::shared
