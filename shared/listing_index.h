// The listed tombstones by GUID, kept beside a listing that is brought up to date again and
// again (a console node's), so that laying a refresh's few changes over it reads only the
// records the changes name instead of every listed name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "shared/property_set.h"

namespace lumivel::shared {

class ListingGuidIndex {
public:
    // Indexes the listing's tombstones; false (and unusable) when two of them share a GUID
    // or a key, which the scan of ApplyListingChanges then decides as before.
    bool build(const std::vector<PropertySet*>& listing);
    void clear();
    bool usable() const { return m_usable; }

    // The listed tombstone of a GUID as ApplyListingChanges folds it, or null; its name is
    // read to make sure, so that a key two GUIDs share never finds the other one (the index
    // must be the listing's: its records alive).
    PropertySet* find(const std::u16string& guid) const;

private:
    friend bool ApplyListingChangesIndexed(const std::vector<PropertySet*>&, const std::vector<PropertySet*>&,
                                           ListingGuidIndex&, std::vector<PropertySet*>*);
    static uint64_t keyOf(std::u16string_view guid);
    // The record indexed under the GUID's key, its name not read: it may be gone.
    PropertySet* recordUnder(const std::u16string& guid) const;
    // False (and unusable) when the key holds another record than `expected`.
    bool put(const std::u16string& guid, PropertySet* record, const PropertySet* expected);
    // Only while the key holds `expected`: another GUID's record under the same key stays.
    void erase(const std::u16string& guid, const PropertySet* expected);

    // 16 bytes a tombstone and a node, not a copy of each GUID: the console's memory counts.
    std::unordered_map<uint64_t, PropertySet*> m_records;
    bool m_usable = false;
};

// The GUID ApplyListingChanges matches a record by (a change's "guid", a tombstone's name's),
// folded; empty for a record it never matches.
std::u16string ListingGuidOf(const PropertySet* record);

// ApplyListingChanges for a listing kept with its index, without changing `current`: `next`
// gets the listing it would make, in the same order, one reference held for each record (the
// changes' records taken over, the left ones released), and the index follows it. False, with
// nothing done, when the index is not usable: the caller then lays the changes over a copy.
bool ApplyListingChangesIndexed(const std::vector<PropertySet*>& current, const std::vector<PropertySet*>& changes,
                                ListingGuidIndex& index, std::vector<PropertySet*>* next);

}  // namespace lumivel::shared
