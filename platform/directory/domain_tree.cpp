// The forest's domains from the crossRef objects of CN=Partitions, as a DOMAIN_TREE.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dn.h"
#include "error_table.h"
#include "ldap_connection.h"
#include "lumivel/text.h"
#include "win/dsclient.h"

using namespace lumivel::directory;
using lumivel::FromUtf8;
using lumivel::ToUtf8;

namespace {

struct Domain {
    std::u16string name, path, nc, parentName, crossRefDn, parentCrossRef;
};

}  // namespace

extern "C" {

WINBASEAPI HRESULT LumivelGetDomainTree(LPCWSTR pszServer, PDOMAIN_TREE* ppDomainTree) {
    if (!ppDomainTree) return E_POINTER;
    *ppDomainTree = nullptr;
    RegisterDirectoryMessages();
    std::shared_ptr<LdapConnection> c;
    HRESULT hr = AcquireConnection(pszServer ? ToUtf8(pszServer) : std::string(), 0, ServerRole::DomainController, &c);
    if (FAILED(hr)) return hr;
    std::vector<Domain> domains;
    // systemFlags bit 2: the crossRef of an AD domain.
    const int rc = PagedSearch(*c, "CN=Partitions," + c->RootDse().configurationNamingContext, LDAP_SCOPE_ONELEVEL,
                               "(&(objectClass=crossRef)(systemFlags:1.2.840.113556.1.4.803:=2))",
                               {"dnsRoot", "nCName", "trustParent"}, [&](LDAP* ld, LDAPMessage* e) {
                                   Domain d;
                                   auto root = EntryValues(ld, e, "dnsRoot");
                                   auto nc = EntryValues(ld, e, "nCName");
                                   if (root.empty() || nc.empty()) return;
                                   d.name = FromUtf8(root.front());
                                   d.nc = FromUtf8(nc.front());
                                   d.path = u"LDAP://" + LdapToAdsDn(d.nc);
                                   d.crossRefDn = FromUtf8(EntryDn(ld, e));
                                   auto parent = EntryValues(ld, e, "trustParent");
                                   if (!parent.empty()) d.parentCrossRef = FromUtf8(parent.front());
                                   domains.push_back(std::move(d));
                               });
    if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
    for (auto& d : domains)
        for (const auto& p : domains)
            if (!d.parentCrossRef.empty() && EqualsNoCase(d.parentCrossRef, p.crossRefDn)) d.parentName = p.name;

    size_t chars = 0;
    for (const auto& d : domains) chars += d.name.size() + d.path.size() + d.nc.size() + d.parentName.size() + 10 + 5;
    const size_t count = domains.size();
    const size_t head = sizeof(DOMAIN_TREE) + (count ? count - 1 : 0) * sizeof(DOMAINDESC);
    const size_t bytes = head + chars * sizeof(WCHAR);
    auto* block = static_cast<unsigned char*>(std::calloc(1, bytes));
    if (!block) return E_OUTOFMEMORY;
    auto* tree = reinterpret_cast<DOMAIN_TREE*>(block);
    tree->dsSize = static_cast<DWORD>(bytes);
    tree->dwCount = static_cast<DWORD>(count);
    auto* text = reinterpret_cast<WCHAR*>(block + head);
    auto place = [&](const std::u16string& s) -> LPWSTR {
        LPWSTR start = text;
        std::memcpy(text, s.c_str(), (s.size() + 1) * sizeof(WCHAR));
        text += s.size() + 1;
        return start;
    };
    for (size_t i = 0; i < count; ++i) {
        DOMAINDESC& desc = tree->aDomains[i];
        desc.pszName = place(domains[i].name);
        desc.pszPath = place(domains[i].path);
        desc.pszNCName = place(domains[i].nc);
        desc.pszTrustParent = domains[i].parentName.empty() ? (place(u""), nullptr) : place(domains[i].parentName);
        desc.pszObjectClass = place(u"domainDNS");
    }
    // Children hang below their trust parent; the roots stay siblings of the first domain.
    DOMAINDESC* lastRoot = nullptr;
    for (size_t i = 0; i < count; ++i) {
        DOMAINDESC& desc = tree->aDomains[i];
        DOMAINDESC* parent = nullptr;
        for (size_t j = 0; j < count && !parent; ++j)
            if (!domains[i].parentName.empty() && j != i && domains[j].name == domains[i].parentName)
                parent = &tree->aDomains[j];
        if (parent) {
            desc.pdNextSibling = parent->pdChildList;
            parent->pdChildList = &desc;
        } else {
            if (lastRoot) lastRoot->pdNextSibling = &desc;
            lastRoot = &desc;
        }
    }
    *ppDomainTree = tree;
    return S_OK;
}

WINBASEAPI void LumivelFreeDomainTree(PDOMAIN_TREE pDomainTree) { std::free(pDomainTree); }

}
