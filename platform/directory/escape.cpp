// LDAP filter and DN value escaping.
#include "lumivel/ldap_escape.h"

#include "dn.h"

#include "lumivel/text.h"

namespace lumivel::ldap {
namespace {

constexpr char16_t kHex[] = u"0123456789ABCDEF";

void AppendHexPair(std::u16string& out, unsigned byte, bool lowerCase) {
    static constexpr char16_t kLowerHex[] = u"0123456789abcdef";
    // Through a pointer: a conditional over two array lvalues has been seen to index a
    // temporary copy in unoptimised builds.
    const char16_t* digits = lowerCase ? kLowerHex : kHex;
    out.push_back(u'\\');
    out.push_back(digits[(byte >> 4) & 0xF]);
    out.push_back(digits[byte & 0xF]);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Works on UTF-8 so that hex pairs spelling multi-byte characters decode as one character.
std::optional<std::u16string> Unescape(std::u16string_view escaped, bool allowCharacterEscapes) {
    const std::string utf8 = ToUtf8(escaped);
    std::string bytes;
    bytes.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '\\') {
            bytes.push_back(utf8[i]);
            continue;
        }
        if (i + 1 >= utf8.size()) return std::nullopt;
        const int high = HexValue(utf8[i + 1]);
        const int low = i + 2 < utf8.size() ? HexValue(utf8[i + 2]) : -1;
        if (high >= 0 && low >= 0) {
            bytes.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else if (allowCharacterEscapes) {
            bytes.push_back(utf8[i + 1]);
            ++i;
        } else {
            return std::nullopt;
        }
    }
    if (!IsWellFormedUtf8(bytes)) return std::nullopt;
    return FromUtf8(bytes);
}

}  // namespace

std::u16string EscapeFilterValue(std::u16string_view value) {
    std::u16string out;
    out.reserve(value.size());
    for (char16_t c : value) {
        switch (c) {
            case u'(': case u')': case u'*': case u'\\': case u'\0':
                AppendHexPair(out, c, true);
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::optional<std::u16string> UnescapeFilterValue(std::u16string_view escaped) {
    return Unescape(escaped, false);
}

std::u16string EscapeDnValue(std::u16string_view value) {
    std::u16string out;
    out.reserve(value.size() + 8);
    for (size_t i = 0; i < value.size(); ++i) {
        const char16_t c = value[i];
        switch (c) {
            case u',': case u'+': case u'"': case u'\\': case u'<': case u'>': case u';': case u'=':
                out.push_back(u'\\');
                out.push_back(c);
                continue;
            default:
                break;
        }
        if ((c == u'#' && i == 0) || (c == u' ' && (i == 0 || i + 1 == value.size()))) {
            out.push_back(u'\\');
            out.push_back(c);
        } else if (c < 0x20 || c == 0x7F) {
            AppendHexPair(out, c, false);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::optional<std::u16string> UnescapeDnValue(std::u16string_view escaped) {
    return Unescape(escaped, true);
}

std::u16string AdsPathDn(std::u16string_view ldapDn) { return directory::LdapToAdsDn(ldapDn); }
std::u16string LdapDnOfAdsPath(std::u16string_view adsDn) { return directory::AdsToLdapDn(adsDn); }

}  // namespace lumivel::ldap
