// Per-schema attribute syntax table.
#include "schema_syntax_cache.h"

#include <map>
#include <mutex>

#include "ads_object.h"

namespace lumivel::directory {

std::string_view AttributeBaseName(std::string_view descriptor) {
    return descriptor.substr(0, descriptor.find(';'));
}

std::shared_ptr<const SchemaSyntaxes> SchemaSyntaxes::For(LdapConnection& connection) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const SchemaSyntaxes>> bySchema;
    const std::string key = LowerAsciiUtf8(connection.RootDse().schemaNamingContext);
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (auto found = bySchema.find(key); found != bySchema.end()) return found->second;
    }
    auto table = std::make_shared<SchemaSyntaxes>();
    if (!key.empty() && !table->ReadSubschema(connection)) {
        table = std::make_shared<SchemaSyntaxes>();
        const int rc = PagedSearch(connection, connection.RootDse().schemaNamingContext, LDAP_SCOPE_ONELEVEL,
                                   "(objectClass=attributeSchema)", {"lDAPDisplayName", "attributeSyntax", "oMSyntax"},
                                   [&](LDAP* ld, LDAPMessage* entry) {
                                       auto names = EntryValues(ld, entry, "lDAPDisplayName");
                                       auto syntax = EntryValues(ld, entry, "attributeSyntax");
                                       auto om = EntryValues(ld, entry, "oMSyntax");
                                       if (names.empty() || syntax.empty()) return;
                                       table->m_syntaxes[LowerAsciiUtf8(names.front())] = SyntaxFromSchema(
                                           syntax.front(), om.empty() ? 0 : std::atoi(om.front().c_str()));
                                   });
        // A schema that could not be read is not remembered, so a later bind tries again.
        if (rc != LDAP_SUCCESS) return table;
    }
    std::lock_guard<std::mutex> lock(mutex);
    auto [it, inserted] = bySchema.emplace(key, table);
    return it->second;
}

// The attribute types of the subschema subentry, as ADSI reads them: one entry, where the
// attributeSchema objects take a search of some thousand entries.
bool SchemaSyntaxes::ReadSubschema(LdapConnection& connection) {
    const std::string& subentry = connection.RootDse().subschemaSubentry;
    if (subentry.empty()) return false;
    std::lock_guard<std::mutex> lock(connection.Mutex());
    LdapMessagePtr result;
    const int rc = SearchSync(connection, subentry, LDAP_SCOPE_BASE, "(objectClass=*)", {"attributeTypes"}, nullptr,
                              &result);
    LDAPMessage* entry = rc == LDAP_SUCCESS ? ldap_first_entry(connection.Handle(), result.get()) : nullptr;
    if (!entry) return false;
    RawAttributes attributes;
    if (ReadEntryAttributes(connection, entry, &attributes) != LDAP_SUCCESS) return false;
    auto types = attributes.find("attributetypes");
    if (types == attributes.end()) return false;
    std::vector<std::string> names;
    std::string oid;
    for (const auto& description : types->second.values) {
        if (!ParseAttributeTypeDescription(description, &names, &oid)) continue;
        for (const auto& name : names) m_syntaxes[LowerAsciiUtf8(name)] = SyntaxFromLdapSyntax(oid);
    }
    return !m_syntaxes.empty();
}

Syntax SchemaSyntaxes::Of(std::string_view attribute) const {
    const auto found = m_syntaxes.find(LowerAsciiUtf8(AttributeBaseName(attribute)));
    return found == m_syntaxes.end() ? Syntax::CaseIgnoreString : found->second;
}

}  // namespace lumivel::directory
