// A domain node's refresh that reads only what changed since its last listing (command 322):
// the request made on the console's thread, the provider's answer read on the fetch's
// thread, and the answer applied to the node's list back on the console's thread.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "shared/listing_index.h"
#include "shared/property_set.h"
#include "shared/provider_interfaces.h"
#include "snapin/node_worker.h"

namespace snapin {

// A copy of the node's record that asks for the changes since the sync point (none: for
// everything) and for the listed tombstones past their purge time to be read again. With the
// list's earliest purge time known (empty: none has one), the list is looked through only
// once that time has come. Null when no memory is left.
PropertySet* ChangesRequest(const PropertySet* nodeRecord, const ListingSyncPoint* since,
                            const std::vector<PropertySet*>& listed, std::time_t now,
                            const std::optional<std::u16string>& earliestPurge = std::nullopt);

// On the fetch's thread, while a list or an answer is the fetch's alone: marks its tombstones
// (not the records of those that left) as the provider's, as its commands expect of them,
// and gives the earliest purge time among them (empty: none has one).
std::u16string MarkFromProvider(const std::vector<PropertySet*>& records);

// On the fetch's thread: the provider's answer to the request, a header first. A provider
// that does not know the command answers E_NOTIMPL here, so that the caller reads the whole
// list instead.
HRESULT ReadListingChanges(IRevivo* provider, PropertySet* request, VARIANT* answer);

// How an answer changed the node's list.
struct ListingUpdate {
    bool whole = false;     // everything was read again
    bool changed = false;   // the list is another one (false: it stands as it was)
};

// On the console's thread: the answer (marked by MarkFromProvider, taken over and emptied)
// brings the sync
// point up to date and, when the list changed, gives in `next` the node's new list, one
// reference held for each record. Records that did not change are the very ones of
// `current`, so that the control keeps what it shows of them. With `index` (the GUIDs of
// `current`, made here when it is not usable) only the records the changes name are read, and
// the index then follows `next`; it is cleared when everything was read again.
ListingUpdate ApplyListingAnswer(VARIANT* answer, const std::vector<PropertySet*>& current,
                                 std::vector<PropertySet*>* next, ListingSyncPoint* point, std::time_t now,
                                 lumivel::shared::ListingGuidIndex* index = nullptr);

}  // namespace snapin
