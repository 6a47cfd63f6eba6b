#include "provider/backup/object_sections.h"

#include <map>

#include "lumivel/ldap_escape.h"
#include "provider/backup/backup_inf_file.h"
#include "provider/backup/value_line.h"
#include "provider/revivo.h"
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
constexpr DWORD kBatchPageSize = 250;

std::u16string serverPrefix(std::u16string_view server) {
    return server.empty() ? std::u16string(kLdapPrefix) : kLdapPrefix + std::u16string(server) + u"/";
}

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
std::vector<std::u16string> writableNames(Revivo* provider, const std::vector<std::u16string>& names) {
    std::vector<std::u16string> out;
    out.reserve(names.size());
    for (const std::u16string& name : names)
        if (!IsRestrictedAttribute(provider->attributeLists(), name.c_str())) out.push_back(name);
    return out;
}

// One list of a class: loaded with one GetInfoEx, then each name read and written.
void writeAttributeList(Revivo* provider, BackupInfFile& file, IADs* object, const std::vector<std::u16string>& names) {
    std::vector<std::u16string> wanted = writableNames(provider, names);
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
void writeBoundObject(Revivo* provider, BackupInfFile& file, std::u16string_view server, std::u16string_view adsDn,
                      SectionReport* report) {
    ComPtr<IADs> object;
    HRESULT result = ADsGetObject((serverPrefix(server) + std::u16string(adsDn)).c_str(), IID_IADs, object.putVoid());
    if (FAILED(result)) return noteFailure(&report->skipped, result);
    UniqueBstr className, guid;
    if (FAILED(result = object->get_Class(className.put())) || className.empty())
        return noteFailure(&report->skipped, FAILED(result) ? result : E_ADS_PROPERTY_NOT_FOUND);
    const ClassAttributeEntry& lists =
        provider->classAttributes().GetClassAttributeLists(className.view(), server);
    std::vector<std::u16string> mandatory = lists.mandatory, optional = lists.optional;
    if (FAILED(result = object->get_GUID(guid.put())) || guid.empty())
        return noteFailure(&report->skipped, FAILED(result) ? result : E_ADS_PROPERTY_NOT_FOUND);
    file.BeginSection(guid.view());
    writeAttributeList(provider, file, object.get(), mandatory);
    writeAttributeList(provider, file, object.get(), optional);
    UniqueBstr parent;
    if (SUCCEEDED(object->get_Parent(parent.put()))) file.WriteLines(ParentPathLine(parent.view(), server));
}

HRESULT setSubtreePreferences(IDirectorySearch* search, DWORD pageSize) {
    ADS_SEARCHPREF_INFO preferences[2] = {};
    preferences[0].dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
    preferences[0].vValue.dwType = ADSTYPE_INTEGER;
    preferences[0].vValue.Integer = ADS_SCOPE_SUBTREE;
    preferences[1].dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
    preferences[1].vValue.dwType = ADSTYPE_INTEGER;
    preferences[1].vValue.Integer = pageSize;
    return search->SetSearchPreference(preferences, ARRAYSIZE(preferences));
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
using ClassLists = std::map<std::u16string, ClassAttributeEntry, NoCaseLess>;

// The first pass: the classes of the subtree, and for each its lists.
HRESULT subtreeClasses(Revivo* provider, IDirectorySearch* search, std::u16string_view server, ClassLists* classes) {
    HRESULT result = setSubtreePreferences(search, 1000);
    if (FAILED(result)) return result;
    LPWSTR attributes[] = {const_cast<LPWSTR>(u"objectClass")};
    ADS_SEARCH_HANDLE handle = nullptr;
    result = search->ExecuteSearch(nullptr, attributes, ARRAYSIZE(attributes), &handle);
    if (FAILED(result)) return result;
    while ((result = search->GetNextRow(handle)) == S_OK) {
        std::u16string className;
        if (!lastText(search, handle, u"objectClass", &className) || classes->count(className)) continue;
        classes->emplace(className, provider->classAttributes().GetClassAttributeLists(className, server));
    }
    search->CloseSearchHandle(handle);
    return result == S_ADS_NOMORE_ROWS ? S_OK : result;
}

void writeColumns(Revivo* provider, BackupInfFile& file, IDirectorySearch* search, ADS_SEARCH_HANDLE row,
                  const std::vector<std::u16string>& names) {
    for (const std::u16string& name : names) {
        if (IsRestrictedAttribute(provider->attributeLists(), name.c_str())) continue;
        ADS_SEARCH_COLUMN column{};
        if (FAILED(search->GetColumn(row, const_cast<LPWSTR>(name.c_str()), &column))) continue;
        VariantHolder value;
        if (SUCCEEDED(AdsTypeToPropVariant(column.pADsValues, column.dwNumValues, value.get())))
            file.WriteLines(FormatValueLine(name, *value.get()));
        search->FreeColumn(&column);
    }
}

// The second pass: every object's attributes in one paged search, written as they come.
HRESULT writeSubtreeBatched(Revivo* provider, BackupInfFile& file, std::u16string_view server,
                            IDirectorySearch* search, LONG* considered, SectionReport* report) {
    ClassLists classes;
    HRESULT result = subtreeClasses(provider, search, server, &classes);
    if (FAILED(result)) return result;

    std::vector<std::u16string> names = {u"distinguishedName", u"objectClass", u"objectGUID"};
    auto addName = [&](const std::u16string& name) {
        for (const std::u16string& present : names)
            if (lumivel::EqualsNoCase(present, name)) return;
        names.push_back(name);
    };
    for (const auto& [className, lists] : classes) {
        for (const std::u16string& name : writableNames(provider, lists.mandatory)) addName(name);
        for (const std::u16string& name : writableNames(provider, lists.optional)) addName(name);
    }
    std::vector<LPWSTR> attributes;
    for (std::u16string& name : names) attributes.push_back(name.data());

    if (FAILED(result = setSubtreePreferences(search, kBatchPageSize))) return result;
    ADS_SEARCH_HANDLE handle = nullptr;
    result = search->ExecuteSearch(nullptr, attributes.data(), static_cast<DWORD>(attributes.size()), &handle);
    if (FAILED(result)) return result;
    while ((result = search->GetNextRow(handle)) == S_OK) {
        ++*considered;
        std::u16string dn, className;
        if (!lastText(search, handle, u"distinguishedName", &dn)) {
            noteFailure(&report->skipped, E_ADS_PROPERTY_NOT_FOUND);
            continue;
        }
        auto lists = lastText(search, handle, u"objectClass", &className) ? classes.find(className) : classes.end();
        if (lists == classes.end()) {
            // Created or changed between the two passes: read on its own.
            writeBoundObject(provider, file, server, lumivel::ldap::AdsPathDn(dn), report);
            continue;
        }
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
        writeColumns(provider, file, search, handle, lists->second.mandatory);
        writeColumns(provider, file, search, handle, lists->second.optional);
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
    if (lumivel::StartsWithNoCase(parentPath, kLdapPrefix)) parentPath.remove_prefix(7);
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

LONG WriteObjectSections(Revivo* provider, BackupInfFile& file, std::u16string_view server,
                         std::u16string_view objectPath, SubtreeReading reading, SectionReport* report) {
    // A DN from a record is put into an ADsPath with its slashes escaped; an ADsPath is taken
    // as it is.
    bool isPath = lumivel::FindTextNoCase(objectPath, kLdapPrefix) != std::u16string_view::npos;
    std::u16string adsDn = isPath ? std::u16string(objectPath.substr(std::min<size_t>(7, objectPath.size())))
                                  : lumivel::ldap::AdsPathDn(objectPath);
    ComPtr<IADsContainer> container;
    if (FAILED(ADsGetObject((serverPrefix(server) + adsDn).c_str(), IID_IADsContainer, container.putVoid())) ||
        !container) {
        writeBoundObject(provider, file, server, adsDn, report);
        return 1;
    }
    if (reading == SubtreeReading::Batched) {
        ComPtr<IDirectorySearch> search;
        LONG considered = 0;
        if (SUCCEEDED(container->QueryInterface(IID_IDirectorySearch, search.putVoid())) && search) {
            size_t before = file.SectionCount();
            HRESULT result = writeSubtreeBatched(provider, file, server, search.get(), &considered, report);
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
    for (const std::u16string& dn : subtree) writeBoundObject(provider, file, server, lumivel::ldap::AdsPathDn(dn), report);
    return static_cast<LONG>(subtree.size());
}

}  // namespace revivo
