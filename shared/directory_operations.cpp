#include "shared/directory_operations.h"

#include <vector>

#include "lumivel/com_ptr.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "win/dsapi.h"
#include "win/guid.h"

namespace lumivel::shared {

namespace {

constexpr WideView kLdapPrefix = u"LDAP://";
constexpr WideView kDeletionMarker = u"\nDEL:";
// "8-4-4-4-12" hexadecimal digits.
constexpr size_t kGuidLength = 36;

// Where the first character that no backslash escapes stands, or npos.
size_t findUnescaped(WideView text, char16_t wanted) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\') {
            ++i;
        } else if (text[i] == wanted) {
            return i;
        }
    }
    return WideView::npos;
}

bool endsWithNoCase(WideView text, WideView tail) {
    return text.size() >= tail.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

bool isYesNoPreference(ADS_SEARCHPREF_ENUM preference) {
    return preference == ADS_SEARCHPREF_TOMBSTONE || preference == ADS_SEARCHPREF_ASYNCHRONOUS ||
           preference == ADS_SEARCHPREF_CACHE_RESULTS || preference == ADS_SEARCHPREF_ATTRIBTYPES_ONLY;
}

}  // namespace

WideString LdapPathPrefix(WideView server) {
    WideString prefix(kLdapPrefix);
    if (!server.empty()) prefix.append(server).push_back(u'/');
    return prefix;
}

WideString LdapPathOfDn(WideView server, WideView dn) { return LdapPathPrefix(server) + lumivel::ldap::AdsPathDn(dn); }

WideString LdapPathOfGuid(WideView server, WideView guid) {
    return LdapPathPrefix(server) + u"<GUID=" + WideString(guid) + u">";
}

WideString LdapPathOfRootDse(WideView server) { return LdapPathPrefix(server) + u"rootDSE"; }

WideString DeletedObjectsPath(WideView server, WideView namingContext) {
    return LdapPathPrefix(server) + u"<WKGUID=" + kDeletedObjectsWellKnownGuid + u"," + WideString(namingContext) +
           u">";
}

WideString SchemaClassPath(WideView className) { return WideString(kLdapPrefix) + WideString(className) + u",schema"; }

WideString GlobalCatalogPathOfDn(WideView dn) { return u"GC://" + lumivel::ldap::AdsPathDn(dn); }

WideString LdapPathOfDomain(WideView text) {
    if (ContainsText(text, kLdapPrefix)) return WideString(text);
    if (text.find(u'=') != WideView::npos) return LdapPathOfDn(u"", text);
    return WideString(kLdapPrefix) + WideString(text);
}

std::optional<LdapPath> SplitLdapPath(WideView path) {
    if (path.substr(0, kLdapPrefix.size()) != kLdapPrefix) return std::nullopt;
    WideView rest = path.substr(kLdapPrefix.size());
    auto namesAnObject = [](WideView head) {
        return head.find(u'=') != WideView::npos || head.find(u'<') != WideView::npos;
    };
    size_t slash = findUnescaped(rest, u'/');
    if (slash != WideView::npos) {
        WideView head = rest.substr(0, slash);
        if (!namesAnObject(head) && !EqualsNoCase(head, u"schema"))
            return LdapPath{WideString(head), WideString(rest.substr(slash + 1))};
    }
    if (!rest.empty() && !namesAnObject(rest) && !EqualsNoCase(rest, u"rootDSE") && !endsWithNoCase(rest, u",schema"))
        return LdapPath{WideString(rest), {}};
    return LdapPath{{}, WideString(rest)};
}

HRESULT BindPath(WideView path, REFIID iid, void** object, BindSpeed speed) {
    const WideString text(path);
    const DWORD flags = ADS_SECURE_AUTHENTICATION | (speed == BindSpeed::Fast ? ADS_FAST_BIND : 0);
    return ADsOpenObject(text.c_str(), nullptr, nullptr, flags, iid, object);
}

HRESULT BindByDn(WideView server, WideView dn, REFIID iid, void** object, BindSpeed speed) {
    return BindPath(LdapPathOfDn(server, dn), iid, object, speed);
}

HRESULT BindByGuid(WideView server, WideView guid, REFIID iid, void** object, BindSpeed speed) {
    return BindPath(LdapPathOfGuid(server, guid), iid, object, speed);
}

WideString ServerOfBinding(IUnknown* object) {
    if (!object) return {};
    lumivel::ComPtr<IADsObjectOptions> options;
    if (FAILED(object->QueryInterface(IID_IADsObjectOptions, options.putVoid())) || !options) return {};
    lumivel::VariantHolder server;
    if (FAILED(options->GetOption(ADS_OPTION_SERVERNAME, server.get())) || server->vt != VT_BSTR) return {};
    return WideString(ViewOf(server->bstrVal));
}

HRESULT SetSearchPreferences(IDirectorySearch* search, std::initializer_list<SearchPreference> preferences) {
    if (!search) return E_POINTER;
    std::vector<ADS_SEARCHPREF_INFO> infos(preferences.size());
    size_t i = 0;
    for (const SearchPreference& wanted : preferences) {
        ADS_SEARCHPREF_INFO& info = infos[i++];
        info.dwSearchPref = wanted.preference;
        if (isYesNoPreference(wanted.preference)) {
            info.vValue.dwType = ADSTYPE_BOOLEAN;
            info.vValue.Boolean = wanted.value ? TRUE : FALSE;
        } else {
            info.vValue.dwType = ADSTYPE_INTEGER;
            info.vValue.Integer = wanted.value;
        }
    }
    return search->SetSearchPreference(infos.data(), static_cast<DWORD>(infos.size()));
}

HRESULT SetShowDeletedSearch(IDirectorySearch* search, ADS_SCOPEENUM scope, DWORD pageSize) {
    if (pageSize == 0)
        return SetSearchPreferences(
            search, {{ADS_SEARCHPREF_SEARCH_SCOPE, static_cast<DWORD>(scope)}, {ADS_SEARCHPREF_TOMBSTONE, TRUE}});
    return SetSearchPreferences(search, {{ADS_SEARCHPREF_SEARCH_SCOPE, static_cast<DWORD>(scope)},
                                         {ADS_SEARCHPREF_TOMBSTONE, TRUE},
                                         {ADS_SEARCHPREF_PAGESIZE, pageSize}});
}

namespace {

// The platform's DN parser holding the DN; null when it cannot read it.
lumivel::ComPtr<IADsPathname> parsedDn(WideView dn, LONG* elements) {
    lumivel::ComPtr<IADsPathname> pathname;
    if (FAILED(CoCreateInstance(CLSID_Pathname, nullptr, CLSCTX_INPROC_SERVER, IID_IADsPathname, pathname.putVoid())) ||
        !pathname)
        return {};
    lumivel::UniqueBstr text(dn.data(), dn.size());
    if (FAILED(pathname->Set(text.get(), ADS_SETTYPE_DN)) || FAILED(pathname->GetNumElements(elements))) return {};
    return pathname;
}

}  // namespace

bool SplitDistinguishedName(WideView dn, WideString* relativeName, WideString* parent) {
    LONG elements = 0;
    lumivel::ComPtr<IADsPathname> pathname = parsedDn(dn, &elements);
    lumivel::UniqueBstr first, rest;
    if (!pathname || elements < 2 || FAILED(pathname->GetElement(0, first.put())) ||
        FAILED(pathname->RemoveLeafElement()) || FAILED(pathname->Retrieve(ADS_FORMAT_X500_DN, rest.put())))
        return false;
    *relativeName = first.view();
    *parent = rest.view();
    return true;
}

WideString DnsNameOfDn(WideView dn) {
    LONG elements = 0;
    lumivel::ComPtr<IADsPathname> pathname = parsedDn(dn, &elements);
    if (!pathname) return {};
    WideString domain;
    for (LONG i = 0; i < elements; ++i) {
        lumivel::UniqueBstr element;
        if (FAILED(pathname->GetElement(i, element.put()))) return {};
        if (!StartsWithNoCase(element.view(), u"DC=")) continue;
        if (!domain.empty()) domain += u'.';
        domain += element.view().substr(3);
    }
    return domain;
}

bool IsGuidText(WideView text) {
    if (text.size() != kGuidLength) return false;
    IID parsed{};
    return SUCCEEDED(IIDFromString((u"{" + WideString(text) + u"}").c_str(), &parsed));
}

WideView FirstRelativeName(WideView dn) {
    size_t comma = findUnescaped(dn, u',');
    return comma == WideView::npos ? dn : dn.substr(0, comma);
}

WideString TombstoneGuid(WideView name) {
    // The directory's own test of the mangling: a GUID after the last "\nDEL:", ending the name.
    if (!DsIsMangledRdnValueW(name.data(), static_cast<DWORD>(name.size()), DS_MANGLE_OBJECT_NAME_FOR_DELETION))
        return {};
    return WideString(name.substr(name.size() - kGuidLength));
}

WideString TombstoneGuidOfDn(WideView dn) {
    WideView relativeName = FirstRelativeName(dn);
    size_t equals = relativeName.find(u'=');
    if (equals == WideView::npos) return {};
    std::optional<WideString> value = lumivel::ldap::UnescapeDnValue(relativeName.substr(equals + 1));
    return value ? TombstoneGuid(*value) : WideString();
}

WideString PlainTombstoneName(WideView name) {
    size_t mangling = name.rfind(kDeletionMarker);
    return WideString(mangling == WideView::npos ? name : name.substr(0, mangling));
}

WideString NamingContextOfTombstone(WideView tombstoneDn) {
    constexpr WideView kDeletedObjects = u",CN=Deleted Objects,";
    size_t found = WideView::npos;
    for (size_t at = FindTextNoCase(tombstoneDn, kDeletedObjects); at != WideView::npos;) {
        found = at;
        size_t next = FindTextNoCase(tombstoneDn.substr(at + 1), kDeletedObjects);
        at = next == WideView::npos ? next : at + 1 + next;
    }
    return found == WideView::npos ? WideString() : WideString(tombstoneDn.substr(found + kDeletedObjects.size()));
}

WideString ReanimatedDn(WideView tombstoneDn, WideView parent) {
    WideView relativeName = FirstRelativeName(tombstoneDn);
    size_t equals = relativeName.find(u'=');
    if (equals == WideView::npos) return {};
    // The last escaped line feed before "DEL:" starts the mangling; one before it belongs to
    // the old name. Escape pairs are stepped over whole, so an escaped backslash before "0A"
    // is not taken for the escaped line feed.
    size_t mangling = WideView::npos;
    for (size_t i = equals + 1; i + 2 < relativeName.size(); ++i) {
        if (relativeName[i] != u'\\') continue;
        if (relativeName[i + 1] == u'0' && (relativeName[i + 2] == u'A' || relativeName[i + 2] == u'a') &&
            relativeName.substr(i + 3, 4) == u"DEL:")
            mangling = i;
        ++i;
    }
    if (mangling == WideView::npos) return {};
    return WideString(relativeName.substr(0, mangling)) + u"," + WideString(parent);
}

}  // namespace lumivel::shared
