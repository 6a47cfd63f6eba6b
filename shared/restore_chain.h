// Where a restore puts a tombstone: up its chain of deleted parents through the listed
// tombstones, then down again, each below the DN its parent gets. The provider's restore plan
// and the result pane's "Restores Into" column both ask this, so they cannot disagree.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lumivel::shared {

// Deeper than any container nesting a directory allows; a longer chain is hostile data.
inline constexpr size_t kDeepestPlannedChain = 256;

// The listed tombstones by the GUID of their names. Their texts are read through the caller's
// reader whenever a walk needs them, so a record whose texts change stays right.
class ListedTombstones {
public:
    struct Texts {
        std::u16string_view distinguishedName, lastKnownParent;
    };
    using Reader = std::function<Texts(size_t id)>;

    explicit ListedTombstones(Reader reader) : m_reader(std::move(reader)) {}
    void reserve(size_t count) { m_byGuid.reserve(count); }
    // A name that is not mangled for deletion, or a GUID listed already, adds nothing.
    void add(std::u16string_view name, size_t id);
    // The listed tombstone a mangled DN names (by the GUID in its first relative name).
    std::optional<size_t> find(std::u16string_view mangledDn) const;
    Texts texts(size_t id) const { return m_reader(id); }
    size_t size() const { return m_byGuid.size(); }

private:
    Reader m_reader;
    std::unordered_map<std::u16string, size_t> m_byGuid;
};

struct ParentChain {
    // The listed deleted parents (the caller's ids), the nearest first.
    std::vector<size_t> parents;
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
std::vector<std::u16string> RestoredDnsDown(const ParentChain& chain, std::u16string_view objectDn,
                                            const ListedTombstones& listed);

// The DN the object gets if it is restored now (the last of RestoredDnsDown); empty when a
// deleted parent is missing or the DN is not a tombstone's.
std::u16string RestoredDnOf(std::u16string_view objectDn, std::u16string_view lastKnownParent,
                            const ListedTombstones& listed);

}  // namespace lumivel::shared
