// What a list handed to the control again changed against the one it shows: the records that
// left and the ones that came, by identity. A refresh lays its changes over the list it had,
// so records that did not change are the very same ones; a changed record comes as a new
// one in place of the old.
#pragma once

#include <optional>
#include <unordered_set>
#include <vector>

#include "shared/property_set.h"

namespace panorel {

struct ListDifference {
    std::unordered_set<const PropertySet*> removed;
    // In the order of the new list.
    std::vector<PropertySet*> added;
};

// The difference between two lists (neither holding a record twice), or nothing when more
// than `most` records left or came: the whole list is then handed over again.
std::optional<ListDifference> SmallDifference(const std::vector<PropertySet*>& before,
                                              const std::vector<PropertySet*>& after, size_t most);

// The share of a list's records a refresh may change and still be applied as a difference.
inline constexpr size_t kMostChangedPercent = 10;

}  // namespace panorel
