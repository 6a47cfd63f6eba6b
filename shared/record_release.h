// Letting go of many records at once. Freeing 100,000 records takes the allocator about a
// third of a second, too long for the console's thread, so a large list's last references are
// dropped on a worker of their own. Records are counted atomically, and a record whose last
// reference goes is one nobody else reads, so any thread may free it.
#pragma once

#include <cstddef>
#include <vector>

#include "shared/property_set.h"

namespace lumivel::shared {

// Lists of at least this many records are let go of on a worker; a shorter one costs less
// than starting a thread.
inline constexpr size_t kReleaseAsideFrom = 4096;

// Drops one reference to each record (null ones skipped) and empties `records`: at once for a
// short list, or when no thread can be started; otherwise on a worker that holds this module
// loaded until it is done. True when a worker took them.
bool ReleaseRecordsAside(std::vector<PropertySet*>& records, size_t asideFrom = kReleaseAsideFrom);

// The same for the records of an object list, whose array is freed at once; the list is left
// empty.
bool ReleaseObjectListAside(VARIANT* list, size_t asideFrom = kReleaseAsideFrom);

// How many of this module's workers are still letting go of records, for a caller that
// measures memory once they are done.
size_t ReleasesAsideRunning();

}  // namespace lumivel::shared
