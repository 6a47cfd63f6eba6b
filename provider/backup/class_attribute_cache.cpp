#include "provider/backup/class_attribute_cache.h"

#include <algorithm>
#include <set>

#include "lumivel/com_ptr.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;
using lumivel::UniqueBstr;
using lumivel::VariantHolder;

namespace revivo {

namespace {

enum class Kind { Mandatory, Optional, Derivation };

struct SchemaAttribute {
    const char16_t* name;
    Kind kind;
};
// Read with one search; taken in this order, so the superclass is followed before the
// auxiliary classes.
constexpr SchemaAttribute kSchemaAttributes[] = {
    {u"mayContain", Kind::Optional},       {u"mustContain", Kind::Mandatory},
    {u"systemMayContain", Kind::Optional}, {u"systemMustContain", Kind::Mandatory},
    {u"subClassOf", Kind::Derivation},     {u"auxiliaryClass", Kind::Derivation},
    {u"systemAuxiliaryClass", Kind::Derivation},
};

void addOnce(std::vector<std::u16string>* names, std::u16string_view name) {
    for (const std::u16string& present : *names)
        if (lumivel::EqualsNoCase(present, name)) return;
    names->emplace_back(name);
}

// A name that one class makes mandatory and another allows (cn of a person) stays mandatory
// only: the writer goes through both lists, and a section holds each attribute once.
void dropMandatoryFromOptional(ClassAttributeEntry* entry) {
    std::set<std::u16string> mandatory;
    for (const std::u16string& name : entry->mandatory) mandatory.insert(lumivel::FoldCase(name));
    auto& optional = entry->optional;
    optional.erase(std::remove_if(optional.begin(), optional.end(),
                                  [&](const std::u16string& name) { return mandatory.count(lumivel::FoldCase(name)) > 0; }),
                   optional.end());
}

}  // namespace

bool ClassAttributeCache::NoCaseLess::operator()(const std::u16string& left, const std::u16string& right) const {
    return lumivel::CompareNoCase(left, right) < 0;
}

HRESULT ClassAttributeCache::OpenSchema(std::u16string_view server) {
    if (m_schema) return S_OK;
    ComPtr<IADs> rootDse;
    HRESULT result = lumivel::shared::BindPath(lumivel::shared::LdapPathOfRootDse(server), IID_IADs, rootDse.putVoid());
    if (FAILED(result)) return result;
    VariantHolder configuration;
    UniqueBstr name(u"configurationNamingContext");
    result = rootDse->Get(name.get(), configuration.get());
    if (FAILED(result)) return result;
    if (configuration->vt != VT_BSTR) return E_ADS_CANT_CONVERT_DATATYPE;
    std::u16string schemaDn =
        u"CN=Schema," + std::u16string(configuration->bstrVal, SysStringLen(configuration->bstrVal));
    return lumivel::shared::BindByDn(server, schemaDn, IID_IDirectorySearch, m_schema.putVoid());
}

bool ClassAttributeCache::Visited(std::u16string_view className) const {
    for (const std::u16string& visited : m_visited)
        if (lumivel::EqualsNoCase(visited, className)) return true;
    return false;
}

std::vector<std::u16string> ClassAttributeCache::AddNamesOfClass(std::u16string_view className,
                                                                  ClassAttributeEntry* entry, bool* found) {
    std::vector<std::u16string> derivedFrom;
    if (found) *found = false;
    std::u16string filter = u"(ldapDisplayName=" + lumivel::ldap::EscapeFilterValue(className) + u")";
    LPWSTR attributes[ARRAYSIZE(kSchemaAttributes)];
    for (size_t i = 0; i < ARRAYSIZE(kSchemaAttributes); ++i) attributes[i] = const_cast<LPWSTR>(kSchemaAttributes[i].name);
    ADS_SEARCH_HANDLE handle = nullptr;
    if (FAILED(m_schema->ExecuteSearch(filter.data(), attributes, ARRAYSIZE(attributes), &handle))) return derivedFrom;
    if (m_schema->GetFirstRow(handle) == S_OK) {
        if (found) *found = true;
        for (const SchemaAttribute& attribute : kSchemaAttributes) {
            ADS_SEARCH_COLUMN column{};
            if (FAILED(m_schema->GetColumn(handle, const_cast<LPWSTR>(attribute.name), &column))) continue;
            for (DWORD i = 0; i < column.dwNumValues; ++i) {
                LPCWSTR value = column.pADsValues[i].CaseIgnoreString;
                if (!value || !*value) continue;
                switch (attribute.kind) {
                    case Kind::Mandatory: addOnce(&entry->mandatory, value); break;
                    case Kind::Optional: addOnce(&entry->optional, value); break;
                    case Kind::Derivation: derivedFrom.emplace_back(value); break;
                }
            }
            m_schema->FreeColumn(&column);
        }
    }
    m_schema->CloseSearchHandle(handle);
    return derivedFrom;
}

HRESULT ClassAttributeCache::SchemaAttributeNames(std::u16string_view filter, std::vector<std::u16string>* names) {
    lumivel::shared::SetSearchPreferences(m_schema.get(), {{ADS_SEARCHPREF_PAGESIZE, 1000}});
    std::u16string text(filter);
    LPWSTR attributes[] = {const_cast<LPWSTR>(u"lDAPDisplayName")};
    ADS_SEARCH_HANDLE handle = nullptr;
    HRESULT result = m_schema->ExecuteSearch(text.data(), attributes, ARRAYSIZE(attributes), &handle);
    if (FAILED(result)) return result;
    names->clear();
    while ((result = m_schema->GetNextRow(handle)) == S_OK) {
        ADS_SEARCH_COLUMN column{};
        if (FAILED(m_schema->GetColumn(handle, attributes[0], &column))) continue;
        if (column.dwNumValues > 0 && column.pADsValues[0].CaseIgnoreString)
            names->emplace_back(column.pADsValues[0].CaseIgnoreString);
        m_schema->FreeColumn(&column);
    }
    m_schema->CloseSearchHandle(handle);
    return result == S_ADS_NOMORE_ROWS ? S_OK : FAILED(result) ? result : E_FAIL;
}

bool ClassAttributeCache::ConstructedAttributes(std::u16string_view server, std::vector<std::u16string>* names) {
    if (!m_constructedKnown) {
        if (FAILED(OpenSchema(server))) return false;
        // systemFlags bit 4: FLAG_ATTR_IS_CONSTRUCTED.
        std::vector<std::u16string> found;
        if (FAILED(SchemaAttributeNames(u"(&(objectClass=attributeSchema)(systemFlags:1.2.840.113556.1.4.803:=4))",
                                        &found)))
            return false;
        m_constructed = std::move(found);
        m_constructedKnown = true;
    }
    *names = m_constructed;
    return true;
}

HRESULT ClassAttributeCache::LoadConfidentialAttributes(std::u16string_view server) {
    if (m_confidentialKnown) return S_OK;
    HRESULT result = OpenSchema(server);
    if (FAILED(result)) return result;
    std::vector<std::u16string> found;
    result = SchemaAttributeNames(u"(&(objectClass=attributeSchema)(searchFlags:1.2.840.113556.1.4.803:=128))", &found);
    if (FAILED(result)) return result;
    for (std::u16string& name : found) name = lumivel::FoldCase(name);
    std::sort(found.begin(), found.end());
    m_confidential = std::move(found);
    m_confidentialKnown = true;
    return S_OK;
}

bool ClassAttributeCache::IsConfidential(std::u16string_view name) const {
    return std::binary_search(m_confidential.begin(), m_confidential.end(), lumivel::FoldCase(name));
}

const ClassAttributeEntry& ClassAttributeCache::GetClassAttributeLists(std::u16string_view className,
                                                                       std::u16string_view server) {
    std::u16string key(className);
    auto found = m_entries.find(key);
    if (found != m_entries.end()) return *found->second;

    auto entry = std::make_unique<ClassAttributeEntry>();
    entry->className = key;
    m_visited.clear();
    if (FAILED(OpenSchema(server))) {
        m_unanswered = ClassAttributeEntry{key, {}, {}};
        return m_unanswered;
    }
    {
        // Depth first through superclasses and auxiliary classes, as a recursion would go,
        // but on a stack of our own: the schema's derivations are data, not a bound on depth.
        struct Frame {
            std::vector<std::u16string> derivedFrom;
            size_t next = 0;
        };
        std::vector<Frame> stack;
        bool known = false;
        stack.push_back({AddNamesOfClass(key, entry.get(), &known)});
        if (!known) {
            // Unknown to the schema, or the schema did not answer: nothing to keep.
            m_unanswered = std::move(*entry);
            return m_unanswered;
        }
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == frame.derivedFrom.size()) {
                stack.pop_back();
                continue;
            }
            std::u16string next = frame.derivedFrom[frame.next++];
            if (Visited(next)) continue;
            m_visited.push_back(next);
            stack.push_back({AddNamesOfClass(next, entry.get())});
        }
    }
    dropMandatoryFromOptional(entry.get());
    const ClassAttributeEntry& stored = *entry;
    m_entries.emplace(std::move(key), std::move(entry));
    return stored;
}

}  // namespace revivo
