// Escaping of values for LDAP filters and distinguished names, for code that builds filters or
// names from directory data or user input. Not a Windows API.
//
//  - Filter values (RFC 4515): "(", ")", "*", "\" and NUL become \28 \29 \2a \5c \00.
//  - DN attribute values (RFC 4514): "," "+" """ "\" "<" ">" ";" "=" are escaped with a backslash,
//    a leading "#" or space and a trailing space too; a line feed and other control characters
//    become \0A-style hex pairs, the form the directory itself uses for deleted objects.
//  - Unescaping accepts both the backslash-character and the backslash-hex forms; hex pairs
//    that form UTF-8 sequences come back as the characters they encode.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel::ldap {

LUMIVEL_EXPORT std::u16string EscapeFilterValue(std::u16string_view value);
// Null when the text holds a backslash not followed by two hex digits.
LUMIVEL_EXPORT std::optional<std::u16string> UnescapeFilterValue(std::u16string_view escaped);

LUMIVEL_EXPORT std::u16string EscapeDnValue(std::u16string_view value);
// Null when the escaping is malformed (a lone trailing backslash, a bad hex pair, hex pairs
// that are not UTF-8).
LUMIVEL_EXPORT std::optional<std::u16string> UnescapeDnValue(std::u16string_view escaped);

// A DN inside an ADsPath escapes "/" as "\/", which LDAP does not know: a DN from the directory
// goes into a path with AdsPathDn, and one read from a path back out with LdapDnOfAdsPath.
LUMIVEL_EXPORT std::u16string AdsPathDn(std::u16string_view ldapDn);
LUMIVEL_EXPORT std::u16string LdapDnOfAdsPath(std::u16string_view adsDn);

}  // namespace lumivel::ldap
