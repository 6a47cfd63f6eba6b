// The forest's domains as the domain tree browser lists them, read through ADSI: the rootDSE
// names the configuration partition, whose CN=Partitions holds one crossRef per naming
// context; those with the domain flag (systemFlags bit 2) are the domains, dnsRoot their
// DNS names.
#include <algorithm>

#include "domain_tree_browser.h"
#include "win/adsi.h"
#include "win/dserror.h"

namespace lumivel::ui {
namespace {

template <typename T>
struct Released {
    T* p = nullptr;
    ~Released() {
        if (p) p->Release();
    }
};

struct Bstr {
    BSTR value;
    explicit Bstr(const std::u16string& text) : value(SysAllocStringLen(text.data(), UINT(text.size()))) {}
    ~Bstr() { SysFreeString(value); }
};

std::u16string Prefix(const std::u16string& server) { return server.empty() ? u"LDAP://" : u"LDAP://" + server + u"/"; }

// A search column's first value as text.
std::u16string FirstString(const ADS_SEARCH_COLUMN& column) {
    if (column.dwNumValues == 0 || column.pADsValues == nullptr) return {};
    LPWSTR text = column.pADsValues[0].CaseIgnoreString;
    return text ? std::u16string(text) : std::u16string();
}

}  // namespace

HRESULT ReadForestDomains(const std::u16string& server, std::vector<ForestDomain>& domains) {
    domains.clear();
    Released<IADs> rootDse;
    std::u16string rootPath = Prefix(server) + u"rootDSE";
    HRESULT hr = ADsOpenObject(rootPath.c_str(), nullptr, nullptr, ADS_SECURE_AUTHENTICATION, IID_IADs,
                               reinterpret_cast<void**>(&rootDse.p));
    if (FAILED(hr)) return hr;
    VARIANT configuration;
    VariantInit(&configuration);
    Bstr attribute(u"configurationNamingContext");
    hr = rootDse.p->Get(attribute.value, &configuration);
    if (FAILED(hr)) return hr;
    if (configuration.vt != VT_BSTR || configuration.bstrVal == nullptr) {
        VariantClear(&configuration);
        return E_ADS_PROPERTY_NOT_FOUND;
    }
    std::u16string partitions = Prefix(server) + u"CN=Partitions," + std::u16string(configuration.bstrVal);
    VariantClear(&configuration);

    Released<IDirectorySearch> search;
    hr = ADsOpenObject(partitions.c_str(), nullptr, nullptr, ADS_SECURE_AUTHENTICATION, IID_IDirectorySearch,
                       reinterpret_cast<void**>(&search.p));
    if (FAILED(hr)) return hr;
    ADS_SEARCHPREF_INFO scope{};
    scope.dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
    scope.vValue.dwType = ADSTYPE_INTEGER;
    scope.vValue.Integer = ADS_SCOPE_ONELEVEL;
    search.p->SetSearchPreference(&scope, 1);
    std::u16string filter = u"(&(objectClass=crossRef)(systemFlags:1.2.840.113556.1.4.803:=2))";
    LPWSTR names[] = {const_cast<LPWSTR>(u"dnsRoot"), const_cast<LPWSTR>(u"trustParent")};
    ADS_SEARCH_HANDLE handle = nullptr;
    hr = search.p->ExecuteSearch(filter.data(), names, 2, &handle);
    if (FAILED(hr)) return hr;
    while ((hr = search.p->GetNextRow(handle)) == S_OK) {
        ForestDomain domain;
        ADS_SEARCH_COLUMN column;
        if (SUCCEEDED(search.p->GetColumn(handle, names[0], &column))) {
            domain.dnsName = FirstString(column);
            search.p->FreeColumn(&column);
        }
        if (SUCCEEDED(search.p->GetColumn(handle, names[1], &column))) {
            domain.trustParentDn = column.dwNumValues ? std::u16string(column.pADsValues[0].DNString ? column.pADsValues[0].DNString : u"") : u"";
            search.p->FreeColumn(&column);
        }
        if (!domain.dnsName.empty()) domains.push_back(std::move(domain));
    }
    search.p->CloseSearchHandle(handle);
    if (FAILED(hr)) return hr;
    SortForTree(domains);
    return S_OK;
}

// Parents come before their children: names compare label by label from the right, so
// "child.example.test" follows "example.test" and precedes "other.test".
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

}  // namespace lumivel::ui
