// Display specifiers from CN=DisplaySpecifiers of the configuration partition (the caller's
// locale, then 409), cached per process, with a built-in icon table for classes the
// directory gives no icon.
#include "display_specifier.h"

#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "ads_object.h"
#include "dn.h"
#include "ldap_connection.h"
#include "lumivel/com_object.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/module_loading.h"
#include "lumivel/text.h"
#include "schema_syntax_cache.h"
#include "win/processes.h"
#include "win/user.h"

namespace lumivel::directory {
namespace {

struct IconRow {
    const char16_t* objectClass;
    int normal;
    int disabled;  // 0: the normal icon
};

// dsicons.so (directory_icons.rc) carries one icon group per id.
constexpr IconRow kIcons[] = {
    {u"container", 4097, 0},
    {u"organizationalUnit", 4098, 0},
    {u"domainDNS", 4099, 0},
    {u"user", 4100, 4129},
    {u"inetOrgPerson", 4100, 4129},
    {u"group", 4101, 0},
    {u"computer", 4102, 4135},
    {u"contact", 4103, 0},
    {u"printQueue", 4104, 0},
    {u"volume", 4105, 0},
    {u"builtinDomain", 4106, 0},
    {u"foreignSecurityPrincipal", 4107, 0},
    {u"lostAndFound", 4108, 0},
    {u"configuration", 4109, 0},
    {u"dMD", 4109, 0},
    {u"server", 4110, 0},
    {u"site", 4111, 0},
    {u"subnet", 4112, 0},
    {u"nTDSDSA", 4113, 0},
    {u"groupPolicyContainer", 4114, 0},
    {u"trustedDomain", 4115, 0},
    {u"msDS-ManagedServiceAccount", 4116, 0},
};

struct Specifier {
    bool found = false;
    std::u16string classDisplayName;
    std::vector<std::u16string> iconPaths;
    std::vector<std::pair<std::u16string, std::u16string>> attributeNames;  // attribute, friendly
};

HRESULT CopyOut(std::u16string_view text, LPWSTR buffer, size_t capacity) {
    if (!buffer || capacity == 0) return E_INVALIDARG;
    const size_t n = std::min(text.size(), capacity - 1);
    std::copy(text.begin(), text.begin() + n, buffer);
    buffer[n] = 0;
    return S_OK;
}

class DisplaySpecifier final : public com::ComObject<DisplaySpecifier, IDsDisplaySpecifier> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<DisplaySpecifier, IDsDisplaySpecifier>(IID_IDsDisplaySpecifier),
    };


    HRESULT STDMETHODCALLTYPE SetServer(LPCWSTR server, LPCWSTR user, LPCWSTR password, DWORD) override {
        if ((user && *user) || (password && *password)) return E_INVALIDARG;
        m_server = server ? ToUtf8(server) : std::string();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetLanguageID(LANGID langid) override {
        m_locale = langid ? langid : 0x409;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDisplaySpecifier(LPCWSTR objectClass, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!objectClass || !*objectClass) return E_INVALIDARG;
        std::shared_ptr<LdapConnection> c;
        HRESULT hr = Connection(&c);
        if (FAILED(hr)) return hr;
        for (unsigned locale : Locales()) {
            const std::u16string path = u"LDAP://" + FromUtf8(c->ServerName()) + u"/" +
                                        LdapToAdsDn(FromUtf8(SpecifierDn(*c, objectClass, locale)));
            hr = ADsGetObject(path.c_str(), riid, ppv);
            if (SUCCEEDED(hr)) return hr;
        }
        return hr;
    }

    HRESULT STDMETHODCALLTYPE GetIconLocation(LPCWSTR objectClass, DWORD flags, LPWSTR buffer, INT cch,
                                              INT* resid) override {
        if (!objectClass || !buffer || cch <= 0 || !resid) return E_INVALIDARG;
        *resid = 0;
        buffer[0] = 0;
        const unsigned state = flags & DSGIF_ISMASK;
        const Specifier specifier = Lookup(objectClass);
        for (const auto& value : specifier.iconPaths) {
            // "state,module,id" or "state,file.ico".
            const size_t first = value.find(u',');
            if (first == std::u16string::npos) continue;
            if (std::atoi(ToUtf8(value.substr(0, first)).c_str()) != static_cast<int>(state)) continue;
            const std::u16string rest = value.substr(first + 1);
            const size_t last = rest.rfind(u',');
            if (last == std::u16string::npos) {
                *resid = 0;
                return CopyOut(rest, buffer, static_cast<size_t>(cch));
            }
            *resid = std::atoi(ToUtf8(rest.substr(last + 1)).c_str());
            return CopyOut(rest.substr(0, last), buffer, static_cast<size_t>(cch));
        }
        int id = BuiltInIconId(objectClass, state);
        if (id == 0 && (flags & DSGIF_GETDEFAULTICON))
            id = (flags & DSGIF_DEFAULTISCONTAINER) ? kDefaultContainerIconId : kDefaultLeafIconId;
        if (id == 0) return S_OK;
        *resid = -id;
        return CopyOut(BuiltInIconModule(), buffer, static_cast<size_t>(cch));
    }

    HICON STDMETHODCALLTYPE GetIcon(LPCWSTR objectClass, DWORD flags, INT cx, INT cy) override {
        WCHAR location[MAX_PATH];
        INT id = 0;
        if (FAILED(GetIconLocation(objectClass, flags, location, MAX_PATH, &id)) || !location[0]) return nullptr;
        // The caller owns the icon; it keeps its pixels after the module is let go.
        if (id == 0)
            return static_cast<HICON>(LoadImageW(nullptr, location, IMAGE_ICON, cx, cy, LR_LOADFROMFILE));
        // Loading a module runs its code: one that a display specifier names is loaded only
        // when it is this installation's own.
        if (!IsInstallationModule(location)) return nullptr;
        HMODULE module = LoadLibraryExW(location, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!module) return nullptr;
        HICON icon = static_cast<HICON>(
            LoadImageW(module, MAKEINTRESOURCEW(id < 0 ? -id : id), IMAGE_ICON, cx, cy, 0));
        FreeLibrary(module);
        return icon;
    }

    HRESULT STDMETHODCALLTYPE GetFriendlyClassName(LPCWSTR objectClass, LPWSTR buffer, INT cch) override {
        if (!objectClass || !buffer || cch <= 0) return E_INVALIDARG;
        const Specifier specifier = Lookup(objectClass);
        if (specifier.found && !specifier.classDisplayName.empty())
            return CopyOut(specifier.classDisplayName, buffer, static_cast<size_t>(cch));
        // Callers that ignore the result still get a usable name.
        CopyOut(objectClass, buffer, static_cast<size_t>(cch));
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }

    HRESULT STDMETHODCALLTYPE GetFriendlyAttributeName(LPCWSTR objectClass, LPCWSTR attribute, LPWSTR buffer,
                                                       UINT cch) override {
        if (!objectClass || !attribute || !buffer || cch == 0) return E_INVALIDARG;
        buffer[0] = 0;
        for (const char16_t* cls : {objectClass, u"default"}) {
            const Specifier specifier = Lookup(cls);
            for (const auto& [name, friendly] : specifier.attributeNames)
                if (EqualsNoCase(name, attribute)) return CopyOut(friendly, buffer, cch);
        }
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }

    BOOL STDMETHODCALLTYPE IsClassContainer(LPCWSTR objectClass, LPCWSTR, DWORD) override {
        if (!objectClass || !*objectClass) return FALSE;
        const std::u16string path = u"LDAP://" + std::u16string(objectClass) + u",schema";
        IADsClass* schemaClass = nullptr;
        if (FAILED(ADsGetObject(path.c_str(), IID_IADsClass, reinterpret_cast<void**>(&schemaClass)))) return FALSE;
        VARIANT_BOOL container = VARIANT_FALSE;
        schemaClass->get_Container(&container);
        schemaClass->Release();
        return container ? TRUE : FALSE;
    }

    HRESULT STDMETHODCALLTYPE GetClassCreationInfo(LPCWSTR, LPDSCLASSCREATIONINFO*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE EnumClassAttributes(LPCWSTR objectClass, LPDSENUMATTRIBUTES callback,
                                                  LPARAM lParam) override {
        if (!objectClass || !callback) return E_INVALIDARG;
        const Specifier specifier = Lookup(objectClass);
        for (const auto& [name, friendly] : specifier.attributeNames) {
            const HRESULT hr = callback(lParam, name.c_str(), friendly.c_str(), 0);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }

    ADSTYPE STDMETHODCALLTYPE GetAttributeADsType(LPCWSTR attribute) override {
        std::shared_ptr<LdapConnection> c;
        if (!attribute || FAILED(Connection(&c))) return ADSTYPE_UNKNOWN;
        return AdsTypeOf(SchemaSyntaxes::For(*c)->Of(ToUtf8(attribute)));
    }

private:
    HRESULT Connection(std::shared_ptr<LdapConnection>* c) {
        return AcquireConnection(m_server, 0, ServerRole::DomainController, c);
    }

    std::vector<unsigned> Locales() const {
        if (m_locale == 0x409) return {0x409};
        return {m_locale, 0x409};
    }

    static std::string LocaleDn(LdapConnection& c, unsigned locale) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%x", locale);
        return std::string("CN=") + hex + ",CN=DisplaySpecifiers," + c.RootDse().configurationNamingContext;
    }

    static std::string SpecifierDn(LdapConnection& c, std::u16string_view objectClass, unsigned locale) {
        return "CN=" + ToUtf8(ldap::EscapeDnValue(std::u16string(objectClass) + u"-Display")) + "," +
               LocaleDn(c, locale);
    }

    // The specifiers of one locale by lower-case class name; a locale the directory lacks has
    // none.
    using LocaleSpecifiers = std::map<std::string, Specifier>;

    // Every specifier of a locale in one paged search: a schema walk asks about hundreds of
    // classes, most of which have none, and one request per class would cost a round trip
    // each. False when the directory could not be asked.
    static bool ReadLocale(LdapConnection& c, unsigned locale, LocaleSpecifiers* specifiers) {
        int entryResult = LDAP_SUCCESS;
        const int rc = PagedSearch(
            c, LocaleDn(c, locale), LDAP_SCOPE_ONELEVEL, "(objectClass=displaySpecifier)",
            {"cn", "classDisplayName", "iconPath", "attributeDisplayNames"}, [&](LDAP*, LDAPMessage* entry) {
                RawAttributes attributes;
                const int read = ReadEntryAttributes(c, entry, &attributes);
                if (read != LDAP_SUCCESS) {
                    entryResult = read;
                    return;
                }
                auto values = [&attributes](const char* name) -> std::vector<std::string> {
                    auto found = attributes.find(name);
                    return found == attributes.end() ? std::vector<std::string>() : found->second.values;
                };
                const auto names = values("cn");
                constexpr std::string_view kSuffix = "-display";
                if (names.empty()) return;
                std::string key = LowerAsciiUtf8(names.front());
                if (key.size() <= kSuffix.size() || key.compare(key.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
                    return;
                key.resize(key.size() - kSuffix.size());
                Specifier specifier;
                specifier.found = true;
                const auto display = values("classdisplayname");
                if (!display.empty()) specifier.classDisplayName = FromUtf8(display.front());
                for (const auto& v : values("iconpath")) specifier.iconPaths.push_back(FromUtf8(v));
                for (const auto& v : values("attributedisplaynames")) {
                    const std::u16string text = FromUtf8(v);
                    const size_t comma = text.find(u',');
                    if (comma != std::u16string::npos)
                        specifier.attributeNames.emplace_back(text.substr(0, comma), text.substr(comma + 1));
                }
                specifiers->emplace(std::move(key), std::move(specifier));
            });
        if (rc == LDAP_NO_SUCH_OBJECT) {
            specifiers->clear();
            return true;
        }
        return rc == LDAP_SUCCESS && entryResult == LDAP_SUCCESS;
    }

    Specifier Lookup(std::u16string_view objectClass) {
        static std::mutex mutex;
        static std::map<std::string, std::shared_ptr<const LocaleSpecifiers>> cache;
        std::shared_ptr<LdapConnection> c;
        if (FAILED(Connection(&c))) return {};
        const std::string className = LowerAsciiUtf8(ToUtf8(objectClass));
        for (unsigned locale : Locales()) {
            const std::string key = LowerAsciiUtf8(c->RootDse().configurationNamingContext) + "|" + std::to_string(locale);
            std::shared_ptr<const LocaleSpecifiers> specifiers;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (auto found = cache.find(key); found != cache.end()) specifiers = found->second;
            }
            if (!specifiers) {
                auto read = std::make_shared<LocaleSpecifiers>();
                // A directory that could not be asked is asked again next time.
                if (!ReadLocale(*c, locale, read.get())) return {};
                std::lock_guard<std::mutex> lock(mutex);
                specifiers = cache.emplace(key, std::move(read)).first->second;
            }
            if (auto found = specifiers->find(className); found != specifiers->end()) return found->second;
        }
        return {};
    }

    std::string m_server;
    unsigned m_locale = 0x409;
};

}  // namespace

// dsicons.so lies beside libplatform.so.
std::u16string BuiltInIconModule() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&BuiltInIconModule), &info) || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "dsicons.so";
    return FromUtf8(path);
}

int BuiltInIconId(std::u16string_view objectClass, unsigned state) {
    for (const auto& row : kIcons)
        if (EqualsNoCase(row.objectClass, objectClass))
            return state == DSGIF_ISDISABLED && row.disabled ? row.disabled : row.normal;
    return 0;
}

HRESULT CreateDisplaySpecifierInstance(IUnknown* outer, REFIID riid, void** object) {
    return com::CreateComObject<DisplaySpecifier, com::Aggregation::Refused>(outer, riid, object);
}

}  // namespace lumivel::directory
