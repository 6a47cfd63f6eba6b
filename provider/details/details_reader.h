// Reading a tombstone's details: one base search of the tombstone, the backup folder's
// listing from its index, and the re-apply plan of the newest trusted archive. Each of these
// may wait on the network, so this runs off the console's thread, and touches nothing of the
// provider object.
#pragma once

#include <string>
#include <vector>

#include "provider/details/tombstone_details.h"
#include "shared/property_set.h"

namespace revivo {

struct DetailsRequest {
    std::u16string distinguishedName, name, className, focusedDc;
};

// The request for a listed record; false for a record that names no tombstone.
bool DetailsRequestOf(const PropertySet* record, DetailsRequest* request);

TombstoneDetails ReadTombstoneDetails(const DetailsRequest& request);

// Takes command 314's answer for the object (header, then archives newest first): the folder
// and the archives that hold it, with why each is not believed.
void TakeHoldingArchives(const std::vector<PropertySet*>& listing, TombstoneDetails* details);

}  // namespace revivo
