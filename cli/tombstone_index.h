// Finding listed tombstones by what an administrator or a script names them with: the
// tombstone's DN or its GUID, as typed or as a TSV field printed it.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "shared/property_set.h"

namespace lumivel_cli {

// The GUID a tombstone argument names: the text itself when it is a GUID (braces dropped),
// else the GUID of the tombstone DN it is; empty when it names none.
std::u16string GuidOfTombstoneArgument(std::u16string_view text);

// The listed tombstones by DN and by GUID, without regard to case; built once, so that
// finding many among a large listing stays linear.
class TombstoneIndex {
public:
    explicit TombstoneIndex(const std::vector<PropertySet*>& tombstones);
    // The tombstone whose DN, or GUID (with or without braces), is the text; also for the
    // text a TSV field shows; null when none or several match.
    PropertySet* find(std::u16string_view wanted) const;
    // The tombstone with that GUID; null when none or several.
    PropertySet* byGuid(std::u16string_view guid) const;

private:
    PropertySet* findExactly(std::u16string_view wanted) const;

    // A null value stands for several records with the same key.
    std::unordered_map<std::u16string, PropertySet*> m_byDn;
    std::unordered_map<std::u16string, PropertySet*> m_byGuid;
};

// One look-up in a listing (TombstoneIndex for many).
PropertySet* FindTombstone(const std::vector<PropertySet*>& tombstones, const std::u16string& wanted);

}  // namespace lumivel_cli
