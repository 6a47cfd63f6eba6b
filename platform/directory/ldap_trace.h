// `-v`: one trace line per LDAP operation (search, add, modify, delete) with the server, the
// DN and what was asked, and the server's answer. Attribute values are never traced: a modify
// may carry a password.
#pragma once

#include <ldap.h>

#include <string>
#include <string_view>

namespace lumivel::directory {

// "search" of base with its scope and filter.
void TraceSearch(std::string_view server, std::string_view base, int scope, std::string_view filter, int rc);
// "add", "modify" of dn with the attributes and how each is changed.
void TraceChange(std::string_view server, std::string_view operation, std::string_view dn, LDAPMod** mods, int rc);
void TraceDelete(std::string_view server, std::string_view dn, int rc);

}  // namespace lumivel::directory
