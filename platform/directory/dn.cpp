// Distinguished-name text handling.
#include "dn.h"

namespace lumivel::directory {
namespace {

bool IsSpace(char16_t c) { return c == u' '; }

bool IsValidType(std::u16string_view type) {
    if (type.empty()) return false;
    if (type[0] >= u'0' && type[0] <= u'9') {
        for (char16_t c : type)
            if (!((c >= u'0' && c <= u'9') || c == u'.')) return false;
        return true;
    }
    for (char16_t c : type) {
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-';
        if (!ok) return false;
    }
    return true;
}

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    // A trailing space preceded by a backslash is part of the value.
    while (!s.empty() && IsSpace(s.back())) {
        size_t backslashes = 0;
        for (size_t i = s.size() - 1; i > 0 && s[i - 1] == u'\\'; --i) ++backslashes;
        if (backslashes % 2 == 1) break;
        s.remove_suffix(1);
    }
    return s;
}

size_t FindUnescaped(std::u16string_view s, char16_t wanted) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\') {
            ++i;
            continue;
        }
        if (s[i] == wanted) return i;
    }
    return std::u16string_view::npos;
}

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

}  // namespace

std::optional<std::vector<std::u16string>> SplitDn(std::u16string_view dn) {
    std::vector<std::u16string> rdns;
    if (Trim(dn).empty()) return rdns;
    size_t start = 0;
    bool quoted = false;
    for (size_t i = 0; i <= dn.size(); ++i) {
        if (i < dn.size()) {
            const char16_t c = dn[i];
            if (c == u'\\') {
                if (i + 1 >= dn.size()) return std::nullopt;
                ++i;
                continue;
            }
            if (c == u'"') {
                quoted = !quoted;
                continue;
            }
            if (c != u',' || quoted) continue;
        } else if (quoted) {
            return std::nullopt;
        }
        const std::u16string_view rdn = Trim(dn.substr(start, i - start));
        const size_t equals = FindUnescaped(rdn, u'=');
        if (equals == std::u16string_view::npos || !IsValidType(Trim(rdn.substr(0, equals)))) return std::nullopt;
        rdns.emplace_back(rdn);
        start = i + 1;
    }
    return rdns;
}

std::u16string JoinDn(const std::vector<std::u16string>& rdns, size_t from) {
    std::u16string out;
    for (size_t i = from; i < rdns.size(); ++i) {
        if (i > from) out.push_back(u',');
        out += rdns[i];
    }
    return out;
}

std::u16string_view RdnType(std::u16string_view rdn) {
    const size_t equals = FindUnescaped(rdn, u'=');
    return equals == std::u16string_view::npos ? std::u16string_view() : Trim(rdn.substr(0, equals));
}

std::u16string_view RdnValue(std::u16string_view rdn) {
    const size_t equals = FindUnescaped(rdn, u'=');
    return equals == std::u16string_view::npos ? rdn : rdn.substr(equals + 1);
}

std::u16string ParentDn(std::u16string_view dn) {
    auto rdns = SplitDn(dn);
    if (!rdns || rdns->size() < 2) return {};
    return JoinDn(*rdns, 1);
}

std::u16string AdsToLdapDn(std::u16string_view adsDn) {
    std::u16string out;
    out.reserve(adsDn.size());
    for (size_t i = 0; i < adsDn.size(); ++i) {
        if (adsDn[i] == u'\\' && i + 1 < adsDn.size()) {
            if (adsDn[i + 1] != u'/') out.push_back(u'\\');
            out.push_back(adsDn[++i]);
            continue;
        }
        out.push_back(adsDn[i]);
    }
    return out;
}

std::u16string LdapToAdsDn(std::u16string_view ldapDn) {
    std::u16string out;
    out.reserve(ldapDn.size());
    for (size_t i = 0; i < ldapDn.size(); ++i) {
        if (ldapDn[i] == u'\\' && i + 1 < ldapDn.size()) {
            out.push_back(ldapDn[i]);
            out.push_back(ldapDn[++i]);
            continue;
        }
        if (ldapDn[i] == u'/') out.push_back(u'\\');
        out.push_back(ldapDn[i]);
    }
    return out;
}

std::u16string DnToDnsName(std::u16string_view dn) {
    std::u16string out;
    auto rdns = SplitDn(dn);
    if (!rdns) return out;
    for (const auto& rdn : *rdns) {
        if (!EqualsNoCase(RdnType(rdn), u"DC")) continue;
        if (!out.empty()) out.push_back(u'.');
        out += RdnValue(rdn);
    }
    return out;
}

std::u16string DnsNameToDn(std::u16string_view dnsName) {
    std::u16string out;
    while (!dnsName.empty() && dnsName.back() == u'.') dnsName.remove_suffix(1);
    size_t start = 0;
    while (start <= dnsName.size() && !dnsName.empty()) {
        size_t dot = dnsName.find(u'.', start);
        if (dot == std::u16string_view::npos) dot = dnsName.size();
        if (!out.empty()) out.push_back(u',');
        out += u"DC=";
        out += dnsName.substr(start, dot - start);
        start = dot + 1;
        if (dot == dnsName.size()) break;
    }
    return out;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::u16string_view text, std::u16string_view suffix) {
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::u16string LowerAscii(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out) c = Lower(c);
    return out;
}

std::string LowerAsciiUtf8(std::string_view text) {
    std::string out(text);
    for (auto& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

}  // namespace lumivel::directory
