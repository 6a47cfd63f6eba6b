#include "shared/restore_chain.h"

#include <unordered_set>

#include "lumivel/wide_string.h"
#include "shared/directory_operations.h"
#include "win/dsapi.h"

namespace lumivel::shared {

void ListedTombstones::add(std::u16string_view name, size_t id) {
    std::u16string guid = TombstoneGuid(name);
    if (!guid.empty()) m_byGuid.emplace(lumivel::FoldCase(guid), id);
}

std::optional<size_t> ListedTombstones::find(std::u16string_view mangledDn) const {
    std::u16string guid = TombstoneGuidOfDn(mangledDn);
    if (guid.empty()) return std::nullopt;
    auto found = m_byGuid.find(lumivel::FoldCase(guid));
    if (found == m_byGuid.end()) return std::nullopt;
    return found->second;
}

ParentChain WalkDeletedParents(std::u16string_view objectDn, std::u16string_view lastKnownParent,
                               const ListedTombstones& listed) {
    ParentChain chain;
    std::u16string parent(lastKnownParent);
    std::unordered_set<std::u16string> seen{lumivel::FoldCase(objectDn)};
    while (DsIsMangledDnW(parent.c_str(), DS_MANGLE_OBJECT_NAME_FOR_DELETION)) {
        std::optional<size_t> found = listed.find(parent);
        if (!found || chain.parents.size() + 1 >= kDeepestPlannedChain ||
            !seen.insert(lumivel::FoldCase(listed.texts(*found).distinguishedName)).second) {
            chain.missingParent = parent;
            return chain;
        }
        chain.parents.push_back(*found);
        parent = listed.texts(*found).lastKnownParent;
    }
    chain.liveParent = parent;
    return chain;
}

std::vector<std::u16string> RestoredDnsDown(const ParentChain& chain, std::u16string_view objectDn,
                                            const ListedTombstones& listed) {
    std::vector<std::u16string> dns(chain.parents.size() + 1);
    if (!chain.missingParent.empty()) return dns;
    std::u16string parent = chain.liveParent;
    for (size_t i = 0; i < chain.parents.size(); ++i) {
        dns[i] = ReanimatedDn(listed.texts(chain.parents[chain.parents.size() - 1 - i]).distinguishedName, parent);
        parent = dns[i];
    }
    dns.back() = ReanimatedDn(objectDn, parent);
    return dns;
}

std::u16string RestoredDnOf(std::u16string_view objectDn, std::u16string_view lastKnownParent,
                            const ListedTombstones& listed) {
    if (lastKnownParent.empty()) return {};
    return RestoredDnsDown(WalkDeletedParents(objectDn, lastKnownParent, listed), objectDn, listed).back();
}

}  // namespace lumivel::shared
