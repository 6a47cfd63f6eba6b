// The syntax of every attribute, read once per forest schema from the attribute types of the
// subschema subentry (or, where the server publishes none, from the attributeSchema objects'
// attributeSyntax and oMSyntax) and kept for the life of the process.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "attribute_syntax.h"
#include "dn.h"
#include "ldap_connection.h"

namespace lumivel::directory {

class SchemaSyntaxes {
public:
    // Loads on first use for the connection's schema; later calls share the table. Must be
    // called without holding the connection's lock.
    static std::shared_ptr<const SchemaSyntaxes> For(LdapConnection& connection);

    // Attribute options (";range=...", ";binary") are ignored; unknown names are case-ignore
    // strings.
    Syntax Of(std::string_view attribute) const;
    size_t size() const { return m_syntaxes.size(); }

private:
    bool ReadSubschema(LdapConnection& connection);

    std::unordered_map<std::string, Syntax> m_syntaxes;  // lower-case lDAPDisplayName
};

// "member;range=0-1499" -> "member".
std::string_view AttributeBaseName(std::string_view descriptor);

}  // namespace lumivel::directory
