// ADsPath parsing.
#include "ads_path.h"

#include "dn.h"
#include "win/dserror.h"

namespace lumivel::directory {
namespace {

bool IsHex(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool IsHexRun(std::u16string_view s, size_t count) {
    if (s.size() != count) return false;
    for (char16_t c : s)
        if (!IsHex(c)) return false;
    return true;
}

// 32 hex digits in storage order, or the registry form with or without braces.
bool IsGuidText(std::u16string_view s) {
    if (IsHexRun(s, 32)) return true;
    if (s.size() == 38 && s.front() == u'{' && s.back() == u'}') s = s.substr(1, 36);
    if (s.size() != 36) return false;
    for (size_t i = 0; i < 36; ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? s[i] != u'-' : !IsHex(s[i])) return false;
    }
    return true;
}

bool ParseServer(std::u16string_view text, std::u16string* host, uint16_t* port) {
    const size_t colon = text.find(u':');
    std::u16string_view name = text.substr(0, colon);
    if (name.empty() || name.size() > 255) return false;
    for (char16_t c : name) {
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                        c == u'.' || c == u'-' || c == u'_';
        if (!ok) return false;
    }
    *port = 0;
    if (colon != std::u16string_view::npos) {
        const std::u16string_view digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return false;
        uint32_t value = 0;
        for (char16_t c : digits) {
            if (c < u'0' || c > u'9') return false;
            value = value * 10 + (c - u'0');
        }
        if (value == 0 || value > 65535) return false;
        *port = static_cast<uint16_t>(value);
    }
    *host = std::u16string(name);
    return true;
}

size_t FindUnescapedSlash(std::u16string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\') {
            ++i;
            continue;
        }
        if (s[i] == u'/') return i;
    }
    return std::u16string_view::npos;
}

HRESULT ParseObject(std::u16string_view object, AdsPath* parsed) {
    if (EqualsNoCase(object, u"rootDSE")) {
        parsed->form = ObjectForm::RootDse;
        return S_OK;
    }
    if (StartsWithNoCase(object, u"<GUID=")) {
        if (object.back() != u'>' || !IsGuidText(object.substr(6, object.size() - 7))) return E_ADS_BAD_PATHNAME;
        parsed->form = ObjectForm::Guid;
        parsed->object = std::u16string(object);
        return S_OK;
    }
    if (StartsWithNoCase(object, u"<WKGUID=")) {
        if (object.back() != u'>') return E_ADS_BAD_PATHNAME;
        const std::u16string_view inner = object.substr(8, object.size() - 9);
        const size_t comma = inner.find(u',');
        if (comma == std::u16string_view::npos || !IsHexRun(inner.substr(0, comma), 32)) return E_ADS_BAD_PATHNAME;
        auto rdns = SplitDn(inner.substr(comma + 1));
        if (!rdns || rdns->empty()) return E_ADS_BAD_PATHNAME;
        parsed->form = ObjectForm::WellKnownGuid;
        parsed->object = u"<WKGUID=" + std::u16string(inner.substr(0, comma)) + u"," +
                         AdsToLdapDn(inner.substr(comma + 1)) + u">";
        return S_OK;
    }
    if (object.front() == u'<') return E_ADS_BAD_PATHNAME;
    if (EndsWithNoCase(object, u",schema")) {
        const std::u16string_view name = object.substr(0, object.size() - 7);
        if (!name.empty() && name.find(u'=') == std::u16string_view::npos &&
            name.find(u',') == std::u16string_view::npos) {
            parsed->form = ObjectForm::SchemaClass;
            parsed->object = std::u16string(name);
            return S_OK;
        }
    }
    auto rdns = SplitDn(object);
    if (!rdns || rdns->empty()) return E_ADS_BAD_PATHNAME;
    parsed->form = ObjectForm::DistinguishedName;
    parsed->object = JoinDn(*rdns);
    return S_OK;
}

}  // namespace

HRESULT ParseAdsPath(std::u16string_view path, AdsPath* parsed) {
    *parsed = AdsPath();
    std::u16string_view rest;
    if (path.substr(0, 7) == u"LDAP://") {
        rest = path.substr(7);
    } else if (path.substr(0, 5) == u"GC://") {
        parsed->provider = Provider::GlobalCatalog;
        rest = path.substr(5);
    } else if (path.substr(0, 5) == u"LDAP:" || path.substr(0, 3) == u"GC:") {
        return E_ADS_BAD_PATHNAME;
    } else {
        return MK_E_SYNTAX;
    }
    if (rest.empty()) return E_ADS_BAD_PATHNAME;

    const size_t slash = FindUnescapedSlash(rest);
    if (slash != std::u16string_view::npos) {
        const std::u16string_view head = rest.substr(0, slash);
        const std::u16string_view tail = rest.substr(slash + 1);
        if (EqualsNoCase(head, u"schema")) {
            if (tail.empty() || tail.find_first_of(u"=,/") != std::u16string_view::npos) return E_ADS_BAD_PATHNAME;
            parsed->form = ObjectForm::SchemaClass;
            parsed->object = std::u16string(tail);
            return S_OK;
        }
        // A name with "=" or "<" is the object itself whose DN happens to hold a slash.
        if (head.find(u'=') == std::u16string_view::npos && head.find(u'<') == std::u16string_view::npos) {
            if (!ParseServer(head, &parsed->server, &parsed->port)) return E_ADS_BAD_PATHNAME;
            if (tail.empty()) {
                parsed->form = ObjectForm::DefaultNamingContext;
                return S_OK;
            }
            return ParseObject(tail, parsed);
        }
    }
    if (rest.find(u'=') == std::u16string_view::npos && rest.front() != u'<' && !EqualsNoCase(rest, u"rootDSE") &&
        !EndsWithNoCase(rest, u",schema")) {
        if (!ParseServer(rest, &parsed->server, &parsed->port)) return E_ADS_BAD_PATHNAME;
        parsed->form = ObjectForm::DefaultNamingContext;
        return S_OK;
    }
    return ParseObject(rest, parsed);
}

uint16_t EffectivePort(const AdsPath& path) {
    if (path.port) return path.port;
    return path.provider == Provider::GlobalCatalog ? 3268 : 389;
}

std::u16string ProviderPrefix(Provider provider) {
    return provider == Provider::GlobalCatalog ? u"GC://" : u"LDAP://";
}

std::u16string FormatAdsPath(Provider provider, std::u16string_view server, uint16_t port,
                             std::u16string_view adsDn) {
    std::u16string out = ProviderPrefix(provider);
    if (!server.empty()) {
        out += server;
        if (port) {
            out.push_back(u':');
            for (char c : std::to_string(port)) out.push_back(static_cast<char16_t>(c));
        }
        out.push_back(u'/');
    }
    out += adsDn;
    return out;
}

}  // namespace lumivel::directory
