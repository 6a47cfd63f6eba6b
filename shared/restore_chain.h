// Where a restore puts a tombstone: up its chain of deleted parents through the listed
// tombstones, then down again, each below the DN its parent gets. The provider's restore plan
// and the result pane's "Restores Into" column both ask this, so they cannot disagree.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lumivel::shared {

// Deeper than any container nesting a directory allows; a longer chain is hostile data.
inline constexpr size_t kDeepestPlannedChain = 256;

// The listed tombstones by the GUID of their names. The texts are views: what they point
// into must outlive the index.
class ListedTombstones {
public:
    struct Entry {
        std::u16string_view distinguishedName, lastKnownParent;
        size_t id = 0;  // the caller's own, handed back unchanged
    };

    void reserve(size_t count) { m_byGuid.reserve(count); }
    // A name that is not mangled for deletion, or a GUID listed already, adds nothing.
    void add(std::u16string_view name, std::u16string_view distinguishedName, std::u16string_view lastKnownParent,
             size_t id);
    // The listed tombstone a mangled DN names (by the GUID in its first relative name).
    const Entry* find(std::u16string_view mangledDn) const;
    size_t size() const { return m_byGuid.size(); }

private:
    std::unordered_map<std::u16string, Entry> m_byGuid;
};

struct ParentChain {
    // The listed deleted parents, the nearest first.
    std::vector<const ListedTombstones::Entry*> parents;
    // The live container the topmost one goes into; empty when a deleted parent is missing.
    std::u16string liveParent;
    // The deleted parent no longer listed (only a backup can recreate it), if any.
    std::u16string missingParent;
};

// Up from the object's last known parent while it is a deleted one the listing holds. A loop,
// or a chain deeper than kDeepestPlannedChain, ends as if the next parent were not listed.
ParentChain WalkDeletedParents(std::u16string_view objectDn, std::u16string_view lastKnownParent,
                               const ListedTombstones& listed);

// The DNs the chain's parents and then the object get, the topmost first and the object last;
// all empty when a deleted parent is missing.
std::vector<std::u16string> RestoredDnsDown(const ParentChain& chain, std::u16string_view objectDn);

// The DN the object gets if it is restored now (the last of RestoredDnsDown); empty when a
// deleted parent is missing or the DN is not a tombstone's.
std::u16string RestoredDnOf(std::u16string_view objectDn, std::u16string_view lastKnownParent,
                            const ListedTombstones& listed);

}  // namespace lumivel::shared
