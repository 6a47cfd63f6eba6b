// A listing of tombstones brought up to date by an incremental one (command 321), the same
// way for the command line and the console.
#pragma once

#include <vector>

#include "shared/property_set.h"

namespace lumivel::shared {

// The changes' tombstone records replace those of the same GUID in the listing, or join it
// at its end; a change record with kSyncLeftKey takes the listed tombstone of its "guid" out.
// The listing owns its records: those replaced or taken out are released, and the changes'
// records are taken over (the left records released).
void ApplyListingChanges(std::vector<PropertySet*>* listing, const std::vector<PropertySet*>& changes);

}  // namespace lumivel::shared
