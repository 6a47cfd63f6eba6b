#include "forest_domains.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "dn.h"
#include "error_table.h"
#include "ldap_connection.h"
#include "lumivel/text.h"
#include "lumivel/wide_string.h"

namespace lumivel::directory {

HRESULT ReadForestDomains(const std::u16string& server, std::vector<ForestDomain>* domains) {
    domains->clear();
    RegisterDirectoryMessages();
    std::shared_ptr<LdapConnection> c;
    HRESULT hr = AcquireConnection(ToUtf8(server), 0, ServerRole::DomainController, &c);
    if (FAILED(hr)) return hr;
    // trustParent names the parent's crossRef, not its domain.
    std::vector<std::u16string> parentCrossRefs;
    std::unordered_map<std::u16string, size_t> byCrossRef;  // folded crossRef DN -> index
    const int rc = PagedSearch(*c, "CN=Partitions," + c->RootDse().configurationNamingContext, LDAP_SCOPE_ONELEVEL,
                               "(&(objectClass=crossRef)(systemFlags:1.2.840.113556.1.4.803:=2))",
                               {"dnsRoot", "nCName", "trustParent"}, [&](LDAP* ld, LDAPMessage* e) {
                                   auto root = EntryValues(ld, e, "dnsRoot");
                                   auto nc = EntryValues(ld, e, "nCName");
                                   if (root.empty() || nc.empty() || root.front().empty()) return;
                                   auto parent = EntryValues(ld, e, "trustParent");
                                   byCrossRef.emplace(FoldCase(FromUtf8(EntryDn(ld, e))), domains->size());
                                   parentCrossRefs.push_back(parent.empty() ? std::u16string() : FromUtf8(parent.front()));
                                   domains->push_back({FromUtf8(root.front()), {}, FromUtf8(nc.front())});
                               });
    if (rc != LDAP_SUCCESS) {
        domains->clear();
        return HresultFromLdap(rc);
    }
    for (size_t i = 0; i < domains->size(); ++i) {
        if (parentCrossRefs[i].empty()) continue;
        auto parent = byCrossRef.find(FoldCase(parentCrossRefs[i]));
        if (parent != byCrossRef.end() && parent->second != i) (*domains)[i].trustParent = (*domains)[parent->second].dnsName;
    }
    SortForTree(*domains);
    return S_OK;
}

void SortForTree(std::vector<ForestDomain>& domains) {
    auto key = [](const std::u16string& name) {
        std::vector<std::u16string> labels;
        size_t start = 0;
        for (size_t dot; (dot = name.find(u'.', start)) != std::u16string::npos; start = dot + 1)
            labels.push_back(name.substr(start, dot - start));
        labels.push_back(name.substr(start));
        std::reverse(labels.begin(), labels.end());
        for (auto& label : labels)
            for (auto& c : label)
                if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
        return labels;
    };
    std::stable_sort(domains.begin(), domains.end(),
                     [&](const ForestDomain& a, const ForestDomain& b) { return key(a.dnsName) < key(b.dnsName); });
}

HRESULT BuildDomainTree(const std::vector<ForestDomain>& domains, PDOMAIN_TREE* result) {
    *result = nullptr;
    static constexpr std::u16string_view kClass = u"domainDNS";
    static constexpr std::u16string_view kLdap = u"LDAP://";
    std::vector<std::u16string> paths;
    paths.reserve(domains.size());
    size_t chars = 0;
    for (const auto& d : domains) {
        paths.push_back(std::u16string(kLdap) + LdapToAdsDn(d.namingContext));
        chars += d.dnsName.size() + paths.back().size() + d.namingContext.size() + d.trustParent.size() + kClass.size() + 5;
    }
    const size_t count = domains.size();
    const size_t head = sizeof(DOMAIN_TREE) + (count ? count - 1 : 0) * sizeof(DOMAINDESC);
    const size_t bytes = head + chars * sizeof(WCHAR);
    auto* block = static_cast<unsigned char*>(std::calloc(1, bytes));
    if (!block) return E_OUTOFMEMORY;
    auto* tree = reinterpret_cast<DOMAIN_TREE*>(block);
    tree->dsSize = static_cast<DWORD>(bytes);
    tree->dwCount = static_cast<DWORD>(count);
    auto* text = reinterpret_cast<WCHAR*>(block + head);
    auto place = [&](std::u16string_view s) -> LPWSTR {
        LPWSTR start = text;
        std::memcpy(text, s.data(), s.size() * sizeof(WCHAR));
        text[s.size()] = 0;
        text += s.size() + 1;
        return start;
    };
    std::unordered_map<std::u16string_view, DOMAINDESC*> byName;
    for (size_t i = 0; i < count; ++i) {
        DOMAINDESC& desc = tree->aDomains[i];
        desc.pszName = place(domains[i].dnsName);
        desc.pszPath = place(paths[i]);
        desc.pszNCName = place(domains[i].namingContext);
        desc.pszTrustParent = domains[i].trustParent.empty() ? (place(u""), nullptr) : place(domains[i].trustParent);
        desc.pszObjectClass = place(kClass);
        byName.emplace(domains[i].dnsName, &desc);
    }
    // Children hang below their trust parent; the roots stay siblings of the first domain.
    DOMAINDESC* lastRoot = nullptr;
    for (size_t i = 0; i < count; ++i) {
        DOMAINDESC& desc = tree->aDomains[i];
        auto parent = domains[i].trustParent.empty() ? byName.end() : byName.find(domains[i].trustParent);
        if (parent != byName.end() && parent->second != &desc) {
            desc.pdNextSibling = parent->second->pdChildList;
            parent->second->pdChildList = &desc;
        } else {
            if (lastRoot) lastRoot->pdNextSibling = &desc;
            lastRoot = &desc;
        }
    }
    *result = tree;
    return S_OK;
}

void FreeDomainTree(PDOMAIN_TREE tree) { std::free(tree); }

}  // namespace lumivel::directory
