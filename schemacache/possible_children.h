// The classes that can be created under a class: worked out with the directory's
// object-creation check in the container the caller is looking at, and kept per user in the
// registry under the cache's settings key (a key named after the class, a value named after
// each child holding its display name), so that the directory is asked once per class and
// user.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace glossar {

struct PossibleChildren {
    std::vector<std::u16string> names;
    std::vector<std::u16string> displayNames;  // same order
};

// A class's display name, empty when it has none.
using FriendlyNameLookup = std::function<std::u16string(std::u16string_view className)>;

// From the registry when the class's key is there, else from the directory (and then
// stored). A class whose schema object cannot be bound gets none and no key, so that a later
// run asks again; so does a name that is no LDAP display name, which could name another key.
PossibleChildren WorkOutPossibleChildren(std::u16string_view className, std::u16string_view containerPath,
                                         const FriendlyNameLookup& friendlyName);

}  // namespace glossar
