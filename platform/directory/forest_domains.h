// The forest's domains, read once for the domain tree browser's list and its DOMAIN_TREE:
// the crossRef objects of CN=Partitions that carry the domain flag (systemFlags bit 2).
#pragma once

#include <string>
#include <vector>

#include "win/dsclient.h"

namespace lumivel::directory {

struct ForestDomain {
    std::u16string dnsName;
    std::u16string trustParent;    // DNS name of the parent domain; empty for a tree root
    std::u16string namingContext;  // LDAP DN
};

// The domains of the forest that `server` (a DC or domain; empty: the logged-on user's
// default domain) belongs to, parents before their children.
HRESULT ReadForestDomains(const std::u16string& server, std::vector<ForestDomain>* domains);

// Parents come before their children: names compare label by label from the right, so
// "child.example.test" follows "example.test" and precedes "other.test".
LUMIVEL_EXPORT void SortForTree(std::vector<ForestDomain>& domains);

// The domains as one allocation, children hung below their trust parent, as
// IDsBrowseDomainTree::GetDomains hands them out; FreeDomainTree releases it.
LUMIVEL_EXPORT HRESULT BuildDomainTree(const std::vector<ForestDomain>& domains, PDOMAIN_TREE* tree);
LUMIVEL_EXPORT void FreeDomainTree(PDOMAIN_TREE tree);

}  // namespace lumivel::directory
