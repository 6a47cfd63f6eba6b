// DsBindW, DsGetDomainControllerInfoW (from the server objects under CN=Sites), DsUnBindW and
// the mangled-name tests.
#include "win/dsapi.h"

#include <cstring>
#include <map>
#include <new>
#include <vector>

#include "dc_locator.h"
#include "dn.h"
#include "error_table.h"
#include "ldap_connection.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/text.h"
#include "win/dserror.h"

using namespace lumivel::directory;
using lumivel::FromUtf8;
using lumivel::ToUtf8;

namespace {

constexpr uint32_t kDsHandleMagic = 0x44534244;  // "DSBD"

struct DsHandle {
    uint32_t magic = kDsHandleMagic;
    std::shared_ptr<LdapConnection> connection;
};

DWORD Win32From(HRESULT hr) {
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32) {
        const DWORD code = HRESULT_CODE(hr);
        // A DC that cannot be reached means, to a DsBind caller, that the domain cannot be.
        return code == ERROR_DS_SERVER_DOWN ? static_cast<DWORD>(ERROR_NO_SUCH_DOMAIN) : code;
    }
    if (hr == SEC_E_NO_CREDENTIALS || hr == SEC_E_CONTEXT_EXPIRED) return ERROR_LOGON_FAILURE;
    return ERROR_DS_GENERIC_ERROR;
}

struct ServerFacts {
    std::string dn;
    std::string cn;
    std::string dnsHostName;
    std::string serverReference;
    std::string ntdsSettings;
    std::vector<std::string> domains;  // msDS-hasDomainNCs of its NTDS Settings
};

// The domain's naming context for a DNS or NetBIOS name, from the crossRef objects. Only
// domain crossRefs (systemFlags bit 2) count: the configuration and schema partitions share
// the domain's dnsRoot and may come back first.
std::string DomainNamingContext(LdapConnection& c, const std::string& name) {
    const std::string value = ToUtf8(lumivel::ldap::EscapeFilterValue(FromUtf8(name)));
    std::string nc;
    PagedSearch(c, "CN=Partitions," + c.RootDse().configurationNamingContext, LDAP_SCOPE_ONELEVEL,
                "(&(objectClass=crossRef)(systemFlags:1.2.840.113556.1.4.803:=2)(|(dnsRoot=" + value + ")(nETBIOSName=" + value +
                    ")))", {"nCName"},
                [&](LDAP* ld, LDAPMessage* e) {
                    auto v = EntryValues(ld, e, "nCName");
                    if (!v.empty() && nc.empty()) nc = v.front();
                });
    return nc;
}

std::u16string Unescaped(std::u16string_view value) {
    return lumivel::ldap::UnescapeDnValue(value).value_or(std::u16string(value));
}

}  // namespace

extern "C" {

WINBASEAPI DWORD DsBindW(LPCWSTR DomainControllerName, LPCWSTR DnsDomainName, HANDLE* phDS) {
    if (!phDS) return ERROR_INVALID_PARAMETER;
    *phDS = nullptr;
    RegisterDirectoryMessages();
    std::u16string server = DomainControllerName && *DomainControllerName ? DomainControllerName
                                                                          : (DnsDomainName ? DnsDomainName : u"");
    // "\\dc1" names a DC the Windows way.
    while (!server.empty() && server.front() == u'\\') server.erase(0, 1);
    if (!server.empty() && !IsDnsName(ToUtf8(server))) return ERROR_INVALID_PARAMETER;
    auto* handle = new (std::nothrow) DsHandle();
    if (!handle) return ERROR_NOT_ENOUGH_MEMORY;
    const HRESULT hr = AcquireConnection(ToUtf8(server), 0, ServerRole::DomainController, &handle->connection);
    if (FAILED(hr)) {
        delete handle;
        return Win32From(hr);
    }
    *phDS = handle;
    return NO_ERROR;
}

WINBASEAPI DWORD DsUnBindW(HANDLE* phDS) {
    if (!phDS || !*phDS) return ERROR_INVALID_PARAMETER;
    auto* handle = static_cast<DsHandle*>(*phDS);
    if (handle->magic != kDsHandleMagic) return ERROR_INVALID_HANDLE;
    handle->magic = 0;
    delete handle;
    *phDS = nullptr;
    return NO_ERROR;
}

WINBASEAPI DWORD DsGetDomainControllerInfoW(HANDLE hDs, LPCWSTR DomainName, DWORD InfoLevel, DWORD* pcOut,
                                            VOID** ppInfo) {
    if (!hDs || !DomainName || !pcOut || !ppInfo) return ERROR_INVALID_PARAMETER;
    *pcOut = 0;
    *ppInfo = nullptr;
    auto* handle = static_cast<DsHandle*>(hDs);
    if (handle->magic != kDsHandleMagic) return ERROR_INVALID_HANDLE;
    if (InfoLevel != 1) return ERROR_INVALID_LEVEL;
    LdapConnection& c = *handle->connection;
    const std::string domainNc = DomainNamingContext(c, ToUtf8(DomainName));
    if (domainNc.empty()) return ERROR_NO_SUCH_DOMAIN;

    std::string pdcSettings;
    {
        std::lock_guard<std::mutex> lock(c.Mutex());
        LdapMessagePtr result;
        if (SearchSync(c, domainNc, LDAP_SCOPE_BASE, "(objectClass=*)", {"fSMORoleOwner"}, nullptr, &result) ==
            LDAP_SUCCESS) {
            if (LDAPMessage* e = ldap_first_entry(c.Handle(), result.get())) {
                auto v = EntryValues(c.Handle(), e, "fSMORoleOwner");
                if (!v.empty()) pdcSettings = v.front();
            }
        }
    }

    std::map<std::string, ServerFacts> servers;  // by lower-case server DN
    const int rc = PagedSearch(
        c, "CN=Sites," + c.RootDse().configurationNamingContext, LDAP_SCOPE_SUBTREE,
        "(|(objectClass=server)(objectClass=nTDSDSA))",
        {"objectClass", "cn", "dNSHostName", "serverReference", "msDS-hasDomainNCs", "hasMasterNCs"},
        [&](LDAP* ld, LDAPMessage* e) {
            const std::string dn = EntryDn(ld, e);
            bool isServer = false;
            for (const auto& oc : EntryValues(ld, e, "objectClass")) isServer = isServer || EqualsNoCase(FromUtf8(oc), u"server");
            if (isServer) {
                ServerFacts& s = servers[ToUtf8(LowerAscii(FromUtf8(dn)))];
                s.dn = dn;
                auto cn = EntryValues(ld, e, "cn");
                if (!cn.empty()) s.cn = cn.front();
                auto host = EntryValues(ld, e, "dNSHostName");
                if (!host.empty()) s.dnsHostName = host.front();
                auto ref = EntryValues(ld, e, "serverReference");
                if (!ref.empty()) s.serverReference = ref.front();
            } else {
                const std::string parent = ToUtf8(LowerAscii(ParentDn(FromUtf8(dn))));
                ServerFacts& s = servers[parent];
                s.ntdsSettings = dn;
                s.domains = EntryValues(ld, e, "msDS-hasDomainNCs");
                if (s.domains.empty()) s.domains = EntryValues(ld, e, "hasMasterNCs");
            }
        });
    if (rc != LDAP_SUCCESS) return Win32FromWindowsLdap(WindowsLdapCode(rc));

    struct Row {
        std::u16string netbios, dns, site, computer, server;
        BOOL pdc, enabled;
    };
    std::vector<Row> rows;
    for (const auto& [key, s] : servers) {
        if (s.dn.empty()) continue;
        bool inDomain = false;
        for (const auto& d : s.domains) inDomain = inDomain || EqualsNoCase(FromUtf8(d), FromUtf8(domainNc));
        if (s.domains.empty()) inDomain = EndsWithNoCase(FromUtf8(s.serverReference), u"," + FromUtf8(domainNc));
        if (!inDomain) continue;
        Row row;
        row.netbios = FromUtf8(s.cn);
        row.dns = FromUtf8(s.dnsHostName);
        // CN=<server>,CN=Servers,CN=<site>,CN=Sites,...
        auto rdns = SplitDn(FromUtf8(s.dn));
        if (rdns && rdns->size() > 2) row.site = Unescaped(RdnValue((*rdns)[2]));
        row.computer = FromUtf8(s.serverReference);
        row.server = FromUtf8(s.dn);
        row.pdc = !pdcSettings.empty() && EqualsNoCase(FromUtf8(pdcSettings), FromUtf8(s.ntdsSettings));
        row.enabled = !s.ntdsSettings.empty();
        rows.push_back(std::move(row));
    }

    // One allocation: the records, then their strings.
    size_t chars = 0;
    for (const auto& r : rows)
        chars += r.netbios.size() + r.dns.size() + r.site.size() + r.computer.size() + r.server.size() + 5;
    const size_t bytes = rows.size() * sizeof(DS_DOMAIN_CONTROLLER_INFO_1W) + chars * sizeof(WCHAR);
    auto* block = static_cast<unsigned char*>(std::calloc(1, bytes ? bytes : 1));
    if (!block) return ERROR_NOT_ENOUGH_MEMORY;
    auto* info = reinterpret_cast<DS_DOMAIN_CONTROLLER_INFO_1W*>(block);
    auto* text = reinterpret_cast<WCHAR*>(block + rows.size() * sizeof(DS_DOMAIN_CONTROLLER_INFO_1W));
    auto place = [&](const std::u16string& s) -> LPWSTR {
        LPWSTR start = text;
        std::memcpy(text, s.c_str(), (s.size() + 1) * sizeof(WCHAR));
        text += s.size() + 1;
        return start;
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        info[i].NetbiosName = place(rows[i].netbios);
        info[i].DnsHostName = rows[i].dns.empty() ? (place(u""), nullptr) : place(rows[i].dns);
        info[i].SiteName = rows[i].site.empty() ? (place(u""), nullptr) : place(rows[i].site);
        info[i].ComputerObjectName = place(rows[i].computer);
        info[i].ServerObjectName = place(rows[i].server);
        info[i].fIsPdc = rows[i].pdc;
        info[i].fDsEnabled = rows[i].enabled;
    }
    *pcOut = static_cast<DWORD>(rows.size());
    *ppInfo = block;
    return NO_ERROR;
}

WINBASEAPI VOID DsFreeDomainControllerInfoW(DWORD, DWORD, VOID* pInfo) { std::free(pInfo); }

WINBASEAPI BOOL DsIsMangledRdnValueW(LPCWSTR pszRdn, DWORD cRdn, DS_MANGLE_FOR eDsMangleForDesired) {
    if (!pszRdn || eDsMangleForDesired == DS_MANGLE_UNKNOWN) return FALSE;
    const std::u16string_view value(pszRdn, cRdn);
    const std::u16string_view tag = eDsMangleForDesired == DS_MANGLE_OBJECT_NAME_FOR_DELETION ? u"\nDEL:" : u"\nCNF:";
    const size_t at = value.rfind(tag);
    if (at == std::u16string_view::npos) return FALSE;
    const std::u16string_view guid = value.substr(at + tag.size());
    if (guid.size() != 36) return FALSE;
    for (size_t i = 0; i < guid.size(); ++i) {
        const char16_t c = guid[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (dash ? c != u'-' : !hex) return FALSE;
    }
    return TRUE;
}

WINBASEAPI BOOL DsIsMangledDnW(LPCWSTR pszDn, DS_MANGLE_FOR eDsMangleFor) {
    if (!pszDn) return FALSE;
    auto rdns = SplitDn(pszDn);
    if (!rdns || rdns->empty()) return FALSE;
    const std::u16string value = Unescaped(RdnValue(rdns->front()));
    return DsIsMangledRdnValueW(value.c_str(), static_cast<DWORD>(value.size()), eDsMangleFor);
}

}
