// Distinguished names as text: splitting into relative names with their escapes kept intact,
// the ADsPath form (where "/" is escaped too), and DNS-name conversions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivel::directory {

// Splits at unescaped, unquoted commas. Each relative name keeps its escapes; white space
// around the separators is dropped. Null for a malformed name (an empty relative name, one
// without "=" or without a type, a dangling backslash, an open quote). An empty DN gives an
// empty list.
std::optional<std::vector<std::u16string>> SplitDn(std::u16string_view dn);
std::u16string JoinDn(const std::vector<std::u16string>& rdns, size_t from = 0);

// The parts of one relative name around its first unescaped "=".
std::u16string_view RdnType(std::u16string_view rdn);
std::u16string_view RdnValue(std::u16string_view rdn);

// The DN without its first relative name; empty when it has only one.
std::u16string ParentDn(std::u16string_view dn);

// ADsPaths escape "/" inside names as "\/"; LDAP does not.
std::u16string AdsToLdapDn(std::u16string_view adsDn);
std::u16string LdapToAdsDn(std::u16string_view ldapDn);

// "DC=a,DC=b" <-> "a.b". Relative names other than DC= are ignored.
std::u16string DnToDnsName(std::u16string_view dn);
std::u16string DnsNameToDn(std::u16string_view dnsName);

bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);
bool EndsWithNoCase(std::u16string_view text, std::u16string_view suffix);
std::u16string LowerAscii(std::u16string_view text);
std::string LowerAsciiUtf8(std::string_view text);

}  // namespace lumivel::directory
