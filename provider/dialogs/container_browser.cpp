// The "Restore To" chooser's browsing: one-level searches, bounded in rows and time.
#include "provider/dialogs/container_browser.h"

#include <algorithm>

#include "lumivel/com_ptr.h"
#include "provider/restore/reanimation.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

// Objects that hold others; classes derived from container (the system's many) match too.
constexpr char16_t kContainerFilter[] =
    u"(|(objectClass=organizationalUnit)(objectClass=container)(objectClass=builtinDomain)"
    u"(objectClass=lostAndFound)(objectClass=domainDNS))";
constexpr DWORD kPageSize = 250;
// A DC that does not answer within this leaves the dialog with an error, not hanging.
constexpr DWORD kSearchSeconds = 30;
// No real domain nests deeper; a longer walk up comes from a malformed name.
constexpr size_t kMaxLevels = 128;

HRESULT setOneLevelPreferences(IDirectorySearch* search, size_t limit) {
    return lumivel::shared::SetSearchPreferences(search, {{ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_ONELEVEL},
                                                          {ADS_SEARCHPREF_PAGESIZE, kPageSize},
                                                          {ADS_SEARCHPREF_SIZE_LIMIT, static_cast<DWORD>(limit + 1)},
                                                          {ADS_SEARCHPREF_TIME_LIMIT, kSearchSeconds},
                                                          {ADS_SEARCHPREF_TIMEOUT, kSearchSeconds}});
}

// The last value of a text column: the most specific class is objectClass's last value.
std::u16string lastValue(IDirectorySearch* search, ADS_SEARCH_HANDLE row, LPCWSTR name) {
    ADS_SEARCH_COLUMN column{};
    if (FAILED(search->GetColumn(row, const_cast<LPWSTR>(name), &column))) return {};
    std::u16string text;
    if (column.dwNumValues > 0 && column.pADsValues)
        text = lumivel::shared::ViewOf(column.pADsValues[column.dwNumValues - 1].CaseIgnoreString);
    search->FreeColumn(&column);
    return text;
}

bool endsWithNoCase(std::u16string_view text, std::u16string_view tail) {
    return text.size() >= tail.size() && lumivel::EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

bool withinNamingContext(std::u16string_view dn, std::u16string_view namingContext) {
    if (lumivel::EqualsNoCase(dn, namingContext)) return true;
    return dn.size() > namingContext.size() && endsWithNoCase(dn, namingContext) &&
           dn[dn.size() - namingContext.size() - 1] == u',';
}

// A tombstone's parent that is itself deleted names a place no object can be restored to.
bool deletedPlace(std::u16string_view dn) {
    return lumivel::shared::ContainsTextNoCase(dn, u"\\0ADEL:") ||
           lumivel::shared::StartsWithNoCase(dn, u"CN=Deleted Objects,") ||
           lumivel::shared::ContainsTextNoCase(dn, u",CN=Deleted Objects,");
}

// What follows the first comma that is not escaped (a backslash escapes the character after it,
// which also covers hex pairs); empty for a single relative name.
std::u16string parentOf(std::u16string_view dn) {
    for (size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == u'\\') {
            ++i;
        } else if (dn[i] == u',') {
            std::u16string_view rest = dn.substr(i + 1);
            size_t start = rest.find_first_not_of(u' ');
            return start == std::u16string_view::npos ? std::u16string() : std::u16string(rest.substr(start));
        }
    }
    return {};
}

}  // namespace

HRESULT DirectoryContainers::ListChildContainers(std::u16string_view dn, size_t limit,
                                                 std::vector<ContainerEntry>* children, bool* more) {
    children->clear();
    *more = false;
    ComPtr<IDirectorySearch> search;
    HRESULT result = lumivel::shared::BindByDn(m_server, dn, IID_IDirectorySearch, search.putVoid());
    if (FAILED(result)) return result;
    if (!search) return E_NOINTERFACE;
    if (FAILED(result = setOneLevelPreferences(search.get(), limit))) return result;
    LPWSTR attributes[] = {const_cast<LPWSTR>(u"name"), const_cast<LPWSTR>(u"distinguishedName"),
                           const_cast<LPWSTR>(u"objectClass")};
    std::u16string filter(kContainerFilter);
    ADS_SEARCH_HANDLE handle = nullptr;
    if (FAILED(result = search->ExecuteSearch(filter.data(), attributes, ARRAYSIZE(attributes), &handle))) return result;
    while ((result = search->GetNextRow(handle)) == S_OK) {
        if (children->size() == limit) {
            *more = true;
            break;
        }
        ContainerEntry entry{lastValue(search.get(), handle, u"name"), lastValue(search.get(), handle, u"distinguishedName"),
                             lastValue(search.get(), handle, u"objectClass")};
        if (!entry.dn.empty()) children->push_back(std::move(entry));
    }
    search->CloseSearchHandle(handle);
    if (FAILED(result)) {
        children->clear();
        return result;
    }
    return S_OK;
}

HRESULT DirectoryContainers::AcceptsClass(std::u16string_view dn, std::u16string_view className) {
    return CheckCreationIn(m_server, dn, className);
}

HRESULT ContainerBrowser::Open(std::u16string_view dn) {
    std::vector<ContainerEntry> children;
    bool more = false;
    HRESULT result = m_source.ListChildContainers(dn, kShownLimit, &children, &more);
    if (FAILED(result)) return result;
    std::stable_sort(children.begin(), children.end(), [](const ContainerEntry& left, const ContainerEntry& right) {
        return lumivel::CompareNoCase(left.name, right.name) < 0;
    });
    m_current = dn;
    m_children = std::move(children);
    m_more = more;
    return S_OK;
}

HRESULT ContainerBrowser::OpenNear(std::u16string_view start) {
    std::u16string dn(start);
    for (size_t level = 0; level < kMaxLevels && withinNamingContext(dn, m_namingContext); ++level) {
        if (lumivel::EqualsNoCase(dn, m_namingContext)) break;
        if (!deletedPlace(dn) && SUCCEEDED(Open(dn))) return S_OK;
        dn = parentOf(dn);
    }
    return Open(m_namingContext);
}

HRESULT ContainerBrowser::Enter(size_t index) {
    if (index >= m_children.size()) return E_INVALIDARG;
    return Open(std::u16string(m_children[index].dn));
}

bool ContainerBrowser::CanGoUp() const {
    return !m_current.empty() && !lumivel::EqualsNoCase(m_current, m_namingContext) && !parentOf(m_current).empty();
}

HRESULT ContainerBrowser::Up() {
    if (!CanGoUp()) return E_INVALIDARG;
    return Open(parentOf(m_current));
}

std::u16string NamingContextOfTombstone(std::u16string_view tombstone, std::u16string_view lastKnownParent) {
    std::u16string namingContext = lumivel::shared::NamingContextOfTombstone(tombstone);
    if (!namingContext.empty()) return namingContext;
    // The trailing run of DC= parts.
    size_t keep = std::u16string_view::npos, end = lastKnownParent.size();
    while (end > 0) {
        size_t comma = lastKnownParent.rfind(u',', end - 1);
        if (comma != std::u16string_view::npos && comma > 0 && lastKnownParent[comma - 1] == u'\\') break;
        size_t from = comma == std::u16string_view::npos ? 0 : comma + 1;
        if (!lumivel::shared::StartsWithNoCase(lastKnownParent.substr(from, end - from), u"DC=")) break;
        keep = from;
        if (comma == std::u16string_view::npos) break;
        end = comma;
    }
    return keep == std::u16string_view::npos ? std::u16string() : std::u16string(lastKnownParent.substr(keep));
}

}  // namespace revivo
