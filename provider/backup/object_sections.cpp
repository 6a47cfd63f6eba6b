#include "provider/backup/object_sections.h"

#include <algorithm>
#include <map>

#include "lumivel/com_ptr.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "provider/backup/backup_inf_file.h"
#include "provider/backup/value_line.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;
using lumivel::UniqueBstr;
using lumivel::VariantHolder;

namespace revivo {

namespace {

constexpr char16_t kLdapPrefix[] = u"LDAP://";
constexpr DWORD kListPageSize = 10;
// Pages of whole objects: large enough to keep the server busy, small enough that memory
// does not grow with the subtree.
constexpr DWORD kBatchPageSize = 1000;

// The parent of a distinguished name: everything after its first unescaped comma.
std::u16string parentDn(std::u16string_view dn) {
    for (size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == u'\\') {
            ++i;
            continue;
        }
        if (dn[i] == u',') return std::u16string(dn.substr(i + 1));
    }
    return {};
}

std::u16string lowerHex(const BYTE* bytes, size_t count) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string out;
    for (size_t i = 0; i < count; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0xF]);
    }
    return out;
}

void noteFailure(HRESULT* first, HRESULT result) {
    if (SUCCEEDED(*first) && FAILED(result)) *first = result;
}

// The names of a list that a backup may write.
std::vector<std::u16string> writableNames(const BackupSources& sources, const std::vector<std::u16string>& names) {
    std::vector<std::u16string> out;
    out.reserve(names.size());
    for (const std::u16string& name : names)
        if (!IsRestrictedAttribute(*sources.attributeLists, name.c_str())) out.push_back(name);
    return out;
}

// One list of a class: loaded with one GetInfoEx, then each name read and written.
void writeAttributeList(const BackupSources& sources, BackupInfFile& file, IADs* object, const std::vector<std::u16string>& names) {
    std::vector<std::u16string> wanted = writableNames(sources, names);
    if (wanted.empty()) return;
    std::vector<LPWSTR> pointers;
    for (std::u16string& name : wanted) pointers.push_back(name.data());
    VariantHolder list;
    if (SUCCEEDED(ADsBuildVarArrayStr(pointers.data(), static_cast<DWORD>(pointers.size()), list.get())))
        object->GetInfoEx(*list.get(), 0);
    for (const std::u16string& name : wanted) {
        UniqueBstr key(name.c_str());
        VariantHolder value;
        if (FAILED(object->Get(key.get(), value.get()))) continue;
        file.WriteLines(FormatValueLine(name, *value.get()));
    }
}

// The sections of one object bound on its own.
void writeBoundObject(const BackupSources& sources, BackupInfFile& file, std::u16string_view server, std::u16string_view adsDn,
                      SectionReport* report) {
    ComPtr<IADs> object;
    HRESULT result = lumivel::shared::BindPath(lumivel::shared::LdapPathPrefix(server) + std::u16string(adsDn),
                                               IID_IADs, object.putVoid());
    if (FAILED(result)) return noteFailure(&report->skipped, result);
    UniqueBstr className, guid;
    if (FAILED(result = object->get_Class(className.put())) || className.empty())
        return noteFailure(&report->skipped, FAILED(result) ? result : E_ADS_PROPERTY_NOT_FOUND);
    const ClassAttributeEntry& lists =
        sources.classAttributes->GetClassAttributeLists(className.view(), server);
    std::vector<std::u16string> mandatory = lists.mandatory, optional = lists.optional;
    if (FAILED(result = object->get_GUID(guid.put())) || guid.empty())
        return noteFailure(&report->skipped, FAILED(result) ? result : E_ADS_PROPERTY_NOT_FOUND);
    file.BeginSection(guid.view());
    writeAttributeList(sources, file, object.get(), mandatory);
    writeAttributeList(sources, file, object.get(), optional);
    UniqueBstr parent;
    if (SUCCEEDED(object->get_Parent(parent.put()))) file.WriteLines(ParentPathLine(parent.view(), server));
}

HRESULT setSubtreePreferences(IDirectorySearch* search, DWORD pageSize) {
    return lumivel::shared::SetSearchPreferences(
        search, {{ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_SUBTREE}, {ADS_SEARCHPREF_PAGESIZE, pageSize}});
}

// The last value of a text column (the structural class is the last objectClass value).
bool lastText(IDirectorySearch* search, ADS_SEARCH_HANDLE row, LPCWSTR name, std::u16string* text) {
    ADS_SEARCH_COLUMN column{};
    if (FAILED(search->GetColumn(row, const_cast<LPWSTR>(name), &column))) return false;
    bool found = column.dwNumValues > 0 && column.pADsValues[column.dwNumValues - 1].CaseIgnoreString;
    if (found) *text = column.pADsValues[column.dwNumValues - 1].CaseIgnoreString;
    search->FreeColumn(&column);
    return found;
}

struct NoCaseLess {
    bool operator()(const std::u16string& left, const std::u16string& right) const {
        return lumivel::CompareNoCase(left, right) < 0;
    }
};

std::u16string asciiLower(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return out;
}

// A class's names as the batched reading uses them: restrictions applied once per class, not
// once per object, and each name with the lower-case key its column is found by.
struct WritableName {
    std::u16string name, key;
};
struct WritableLists {
    std::vector<WritableName> names;  // mandatory, then optional
};
using ClassLists = std::map<std::u16string, WritableLists, NoCaseLess>;

WritableLists writableLists(const BackupSources& sources, const ClassAttributeEntry& entry) {
    WritableLists lists;
    for (const auto* list : {&entry.mandatory, &entry.optional})
        for (const std::u16string& name : writableNames(sources, *list)) lists.names.push_back({name, asciiLower(name)});
    return lists;
}

// The lower-case names of the columns a row holds: the few an object has, out of the many
// its class allows.
void rowColumns(IDirectorySearch* search, ADS_SEARCH_HANDLE row, std::vector<std::u16string>* keys) {
    keys->clear();
    LPWSTR name = nullptr;
    while (search->GetNextColumnName(row, &name) == S_OK && name) {
        keys->push_back(asciiLower(name));
        FreeADsMem(name);
        name = nullptr;
    }
    std::sort(keys->begin(), keys->end());
}

void writeColumns(BackupInfFile& file, IDirectorySearch* search, ADS_SEARCH_HANDLE row, const WritableLists& lists,
                  const std::vector<std::u16string>& present) {
    for (const WritableName& writable : lists.names) {
        if (!std::binary_search(present.begin(), present.end(), writable.key)) continue;
        ADS_SEARCH_COLUMN column{};
        if (FAILED(search->GetColumn(row, const_cast<LPWSTR>(writable.name.c_str()), &column))) continue;
        VariantHolder value;
        if (SUCCEEDED(AdsTypeToPropVariant(column.pADsValues, column.dwNumValues, value.get())))
            file.WriteLines(FormatValueLine(writable.name, *value.get()));
        search->FreeColumn(&column);
    }
}

// Every object's attributes in one paged search, written as they come. A request for all
// attributes brings what the object holds; the computed ones that a backup may write are
// asked for by name, as the object-by-object reading asks for every name of the class.
HRESULT writeSubtreeBatched(const BackupSources& sources, BackupInfFile& file, std::u16string_view server,
                            IDirectorySearch* search, LONG* considered, SectionReport* report) {
    std::vector<std::u16string> names = {u"*", u"distinguishedName", u"objectClass", u"objectGUID"};
    std::vector<std::u16string> computed;
    if (!sources.classAttributes->ConstructedAttributes(server, &computed)) return E_ADS_SCHEMA_VIOLATION;
    computed.push_back(u"nTSecurityDescriptor");  // a "*" of some directories leaves it out
    for (const std::u16string& name : writableNames(sources, computed)) names.push_back(name);
    std::vector<LPWSTR> attributes;
    for (std::u16string& name : names) attributes.push_back(name.data());

    HRESULT result = setSubtreePreferences(search, kBatchPageSize);
    if (FAILED(result)) return result;
    ADS_SEARCH_HANDLE handle = nullptr;
    result = search->ExecuteSearch(nullptr, attributes.data(), static_cast<DWORD>(attributes.size()), &handle);
    if (FAILED(result)) return result;
    ClassLists classes;
    std::vector<std::u16string> present;
    while ((result = search->GetNextRow(handle)) == S_OK) {
        ++*considered;
        std::u16string dn, className;
        if (!lastText(search, handle, u"distinguishedName", &dn)) {
            noteFailure(&report->skipped, E_ADS_PROPERTY_NOT_FOUND);
            continue;
        }
        if (!lastText(search, handle, u"objectClass", &className)) {
            noteFailure(&report->skipped, E_ADS_PROPERTY_NOT_FOUND);
            continue;
        }
        auto lists = classes.find(className);
        if (lists == classes.end())
            lists = classes
                        .emplace(className, writableLists(sources, sources.classAttributes->GetClassAttributeLists(
                                                                      className, server)))
                        .first;
        ADS_SEARCH_COLUMN guid{};
        std::u16string section;
        if (SUCCEEDED(search->GetColumn(handle, const_cast<LPWSTR>(u"objectGUID"), &guid))) {
            if (guid.dwNumValues == 1 && guid.pADsValues[0].OctetString.dwLength == 16)
                section = lowerHex(guid.pADsValues[0].OctetString.lpValue, 16);
            search->FreeColumn(&guid);
        }
        if (section.empty()) {
            noteFailure(&report->skipped, E_ADS_PROPERTY_NOT_FOUND);
            continue;
        }
        file.BeginSection(section);
        rowColumns(search, handle, &present);
        writeColumns(file, search, handle, lists->second, present);
        VariantHolder parent;
        parent->vt = VT_BSTR;
        parent->bstrVal = SysAllocString(parentDn(dn).c_str());
        file.WriteLines(FormatValueLine(u"path", *parent.get()));
    }
    search->CloseSearchHandle(handle);
    return result == S_ADS_NOMORE_ROWS ? S_OK : result;
}

}  // namespace

std::u16string ParentPathLine(std::u16string_view parentPath, std::u16string_view server) {
    if (lumivel::shared::StartsWithNoCase(parentPath, kLdapPrefix)) parentPath.remove_prefix(7);
    if (!server.empty() && parentPath.size() > server.size() && parentPath[server.size()] == u'/' &&
        lumivel::EqualsNoCase(parentPath.substr(0, server.size()), server))
        parentPath.remove_prefix(server.size() + 1);
    VariantHolder value;
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocString(lumivel::ldap::LdapDnOfAdsPath(parentPath).c_str());
    return FormatValueLine(u"path", *value.get());
}

std::vector<std::u16string> ListSubtree(IADsContainer* container, HRESULT* ended) {
    std::vector<std::u16string> names;
    HRESULT result = E_NOINTERFACE;
    ComPtr<IDirectorySearch> search;
    ADS_SEARCH_HANDLE handle = nullptr;
    LPWSTR attributes[] = {const_cast<LPWSTR>(u"distinguishedName")};
    if (SUCCEEDED(container->QueryInterface(IID_IDirectorySearch, search.putVoid())) && search &&
        SUCCEEDED(result = setSubtreePreferences(search.get(), kListPageSize)) &&
        SUCCEEDED(result = search->ExecuteSearch(nullptr, attributes, ARRAYSIZE(attributes), &handle))) {
        while ((result = search->GetNextRow(handle)) == S_OK) {
            std::u16string dn;
            if (lastText(search.get(), handle, u"distinguishedName", &dn)) names.push_back(std::move(dn));
        }
        search->CloseSearchHandle(handle);
        if (result == S_ADS_NOMORE_ROWS) result = S_OK;
    }
    if (ended) *ended = result;
    return names;
}

LONG WriteObjectSections(const BackupSources& sources, BackupInfFile& file, std::u16string_view server,
                         std::u16string_view objectPath, SubtreeReading reading, SectionReport* report) {
    // A DN from a record is put into an ADsPath with its slashes escaped; an ADsPath is taken
    // as it is.
    bool isPath = lumivel::shared::FindTextNoCase(objectPath, kLdapPrefix) != std::u16string_view::npos;
    std::u16string adsDn = isPath ? std::u16string(objectPath.substr(std::min<size_t>(7, objectPath.size())))
                                  : lumivel::ldap::AdsPathDn(objectPath);
    ComPtr<IADsContainer> container;
    if (FAILED(lumivel::shared::BindPath(lumivel::shared::LdapPathPrefix(server) + adsDn, IID_IADsContainer,
                                         container.putVoid())) ||
        !container) {
        writeBoundObject(sources, file, server, adsDn, report);
        return 1;
    }
    if (reading == SubtreeReading::Batched) {
        ComPtr<IDirectorySearch> search;
        LONG considered = 0;
        if (SUCCEEDED(container->QueryInterface(IID_IDirectorySearch, search.putVoid())) && search) {
            size_t before = file.SectionCount();
            HRESULT result = writeSubtreeBatched(sources, file, server, search.get(), &considered, report);
            if (SUCCEEDED(result)) return considered;
            // Nothing written yet: the object-by-object reading may still get through.
            if (file.SectionCount() != before) {
                noteFailure(&report->incomplete, result);
                return considered;
            }
        }
    }
    HRESULT listed = S_OK;
    std::vector<std::u16string> subtree = ListSubtree(container.get(), &listed);
    container.reset();
    noteFailure(&report->incomplete, listed);
    for (const std::u16string& dn : subtree) writeBoundObject(sources, file, server, lumivel::ldap::AdsPathDn(dn), report);
    return static_cast<LONG>(subtree.size());
}

}  // namespace revivo
