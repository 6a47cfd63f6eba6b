// One record of the schema cache's tables: a class, an attribute or extended right, a node
// type or a state variant.
#pragma once

#include <string>
#include <vector>

#include "win/types.h"

namespace glossar {

struct SchemaEntry {
    std::u16string relativeName;
    // The name key of lookups; an extended right's display name.
    std::u16string ldapDisplayName;
    // The GUID key of lookups, in registry form ("{...}").
    std::u16string guid;
    std::u16string iconModule;
    std::u16string friendlyName;
    LONG container = 0;
    LONG childrenLoaded = 0;
    // The icon resource number while loading; afterwards the index in both image lists, or -1.
    LONG iconIndex = 0;
    std::vector<std::u16string> possibleChildren;
    std::vector<std::u16string> possibleChildrenDisplay;  // friendly names, same order
};

}  // namespace glossar
