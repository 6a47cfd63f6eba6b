// Command 322: what changed among a domain's tombstones since a sync point, so that a refresh
// of a large domain reads only that: the objects the server wrote since the update number
// saved, found by their uSNChanged when they are few, else through the directory
// synchronisation control, which some servers answer by walking the whole domain each time.
//
// The server reports objects written since the sync point: one now deleted is read again
// whole from Deleted Objects (neither way hands out its attributes), one now live has left
// the list (restored, here or elsewhere). A tombstone removed for good is reported by nobody:
// its GUID comes back as left when the caller asks for it to be read again (it does for
// those past their purge time, the only ones a garbage collection removes). Everything is
// read again when the sync point is of another server or of a database that went back, or
// when the server refuses the cookie.
#include <cstring>
#include <unordered_set>

#include "lumivel/com_ptr.h"
#include "provider/backup/text_hex.h"
#include "provider/deleted_objects.h"
#include "provider/revivo.h"
#include "shared/listing_changes.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"
#include "shared/text_list.h"
#include "win/adsi.h"
#include "win/dirsync.h"
#include "win/guid.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

// Keeps the filters of the tombstones read again short enough for any server.
constexpr size_t kGuidsPerSearch = 64;
// Update numbers asked for by one search, and the most asked for before the synchronisation,
// one walk of the whole domain, costs less than the searches by number.
constexpr LONGLONG kUsnsPerSearch = 500;
constexpr LONGLONG kMostUsnsSearched = 2000;
// Matches nothing, through the GUID index: a synchronisation from the start that hands out no
// object but the cookie of this moment.
constexpr char16_t kNoObjectFilter[] = u"(objectGUID=\\00\\00\\00\\00\\00\\00\\00\\00\\00\\00\\00\\00\\00\\00\\00\\00)";

// Who answers, and how far its database has got.
struct ServerState {
    std::u16string server;
    std::u16string invocationId;
    LONGLONG usn = -1;
};

std::u16string guidTextOfBytes(const ADS_OCTET_STRING& bytes) {
    if (bytes.dwLength != sizeof(GUID) || !bytes.lpValue) return {};
    GUID guid;
    std::memcpy(&guid, bytes.lpValue, sizeof guid);
    WCHAR text[40] = {};
    if (StringFromGUID2(guid, text, ARRAYSIZE(text)) != 39) return {};
    return lumivel::FoldCase(std::u16string_view(text + 1, 36));
}

// "(objectGUID=\xx...)" for a hyphenated GUID; empty when the text is none.
std::u16string guidFilter(std::u16string_view guid) {
    if (!lumivel::shared::IsGuidText(guid)) return {};
    std::u16string braced = u"{" + std::u16string(guid) + u"}";
    GUID value;
    if (FAILED(CLSIDFromString(braced.c_str(), &value))) return {};
    unsigned char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    std::u16string filter = u"(objectGUID=";
    for (unsigned char byte : bytes) {
        filter += u'\\';
        filter += kHex[byte >> 4];
        filter += kHex[byte & 15];
    }
    return filter + u")";
}

// A column's value as text: strings as they are, numbers in decimal, octet strings (GUIDs)
// as GUID text.
std::u16string columnText(IDirectorySearch* search, ADS_SEARCH_HANDLE row, LPCWSTR name) {
    ADS_SEARCH_COLUMN column{};
    if (FAILED(search->GetColumn(row, const_cast<LPWSTR>(name), &column))) return {};
    std::u16string text;
    if (column.dwNumValues > 0 && column.pADsValues) {
        const ADSVALUE& value = column.pADsValues[0];
        switch (value.dwType) {
            case ADSTYPE_DN_STRING:
            case ADSTYPE_CASE_IGNORE_STRING:
            case ADSTYPE_CASE_EXACT_STRING:
            case ADSTYPE_PRINTABLE_STRING:
            case ADSTYPE_NUMERIC_STRING:
                text = lumivel::shared::ViewOf(value.DNString);
                break;
            case ADSTYPE_LARGE_INTEGER:
                text = lumivel::shared::WidenText(std::to_string(value.LargeInteger.QuadPart));
                break;
            case ADSTYPE_INTEGER:
                text = lumivel::shared::WidenText(std::to_string(value.Integer));
                break;
            case ADSTYPE_BOOLEAN:
                text = value.Boolean ? u"TRUE" : u"FALSE";
                break;
            case ADSTYPE_OCTET_STRING:
                text = guidTextOfBytes(value.OctetString);
                break;
            default:
                break;
        }
    }
    search->FreeColumn(&column);
    return text;
}

// The attributes of one object, read with a base search.
HRESULT readObject(std::u16string_view path, std::initializer_list<LPCWSTR> names, std::vector<std::u16string>* values) {
    ComPtr<IDirectorySearch> search;
    HRESULT result = lumivel::shared::BindPath(path, IID_IDirectorySearch, search.putVoid(), lumivel::shared::BindSpeed::Fast);
    if (FAILED(result)) return result;
    result = lumivel::shared::SetSearchPreferences(search.get(), {{ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_BASE}});
    if (FAILED(result)) return result;
    std::vector<LPWSTR> attributes;
    for (LPCWSTR name : names) attributes.push_back(const_cast<LPWSTR>(name));
    ADS_SEARCH_HANDLE handle = nullptr;
    result = search->ExecuteSearch(nullptr, attributes.data(), static_cast<DWORD>(attributes.size()), &handle);
    if (FAILED(result)) return result;
    result = search->GetNextRow(handle);
    if (result == S_OK)
        for (LPCWSTR name : names) values->push_back(columnText(search.get(), handle, name));
    search->CloseSearchHandle(handle);
    return result == S_OK ? S_OK : (FAILED(result) ? result : HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT));
}

// An update number in decimal; -1 for anything else, a sign or one past the type's range.
LONGLONG usnOfText(std::u16string_view text) {
    if (text.empty() || text.size() > 18) return -1;
    LONGLONG usn = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return -1;
        usn = usn * 10 + (c - u'0');
    }
    return usn;
}

HRESULT readServerState(std::u16string_view server, ServerState* state) {
    std::vector<std::u16string> root;
    HRESULT result = readObject(lumivel::shared::LdapPathOfRootDse(server),
                                {u"dnsHostName", u"dsServiceName", u"highestCommittedUSN"}, &root);
    if (FAILED(result)) return result;
    state->server = lumivel::FoldCase(root[0]);
    state->usn = usnOfText(root[2]);
    std::vector<std::u16string> settings;
    result = readObject(lumivel::shared::LdapPathOfDn(server, root[1]), {u"invocationId"}, &settings);
    if (FAILED(result)) return result;
    state->invocationId = settings[0];
    return state->server.empty() || state->invocationId.empty() || state->usn < 0 ? E_ADS_PROPERTY_NOT_FOUND : S_OK;
}

// What one synchronisation reported, by GUID: objects now deleted and objects now live.
struct SyncReport {
    std::vector<std::u16string> deleted;
    std::vector<std::u16string> live;
    std::string cookie;
};

// Each row's GUID into the report's deleted or live ones; what ended the rows.
HRESULT takeRows(IDirectorySearch* search, ADS_SEARCH_HANDLE handle, SyncReport* report) {
    for (;;) {
        HRESULT result = search->GetNextRow(handle);
        if (result != S_OK) return result;
        std::u16string guid = columnText(search, handle, u"objectGUID");
        if (guid.empty()) continue;
        if (lumivel::EqualsNoCase(columnText(search, handle, u"isDeleted"), u"TRUE"))
            report->deleted.push_back(std::move(guid));
        else
            report->live.push_back(std::move(guid));
    }
}

// The objects the server wrote, its own change or a replicated one, after update number
// `after` up to `upTo`, found by their exact uSNChanged through its index: a lookup per
// number, where the synchronisation walks every object of the domain. The caller saved
// `upTo` before anything was searched, so a write after it is found the next time.
HRESULT writtenBetween(std::u16string_view server, std::u16string_view namingContext, LONGLONG after, LONGLONG upTo,
                       SyncReport* report) {
    ComPtr<IDirectorySearch> search;
    HRESULT result = lumivel::shared::BindByDn(server, namingContext, IID_IDirectorySearch, search.putVoid(),
                                               lumivel::shared::BindSpeed::Fast);
    if (FAILED(result)) return result;
    result = lumivel::shared::SetSearchPreferences(search.get(), {{ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_SUBTREE},
                                                                   {ADS_SEARCHPREF_TOMBSTONE, TRUE},
                                                                   {ADS_SEARCHPREF_PAGESIZE, 1000}});
    if (FAILED(result)) return result;
    LPWSTR attributes[] = {const_cast<LPWSTR>(u"objectGUID"), const_cast<LPWSTR>(u"isDeleted")};
    // Counted from `after`, so that no number near the type's end wraps around.
    const LONGLONG count = upTo - after;
    for (LONGLONG done = 0; done < count; done += kUsnsPerSearch) {
        std::u16string filter = u"(|";
        for (LONGLONG i = done; i < count && i < done + kUsnsPerSearch; ++i)
            filter += u"(uSNChanged=" + lumivel::shared::WidenText(std::to_string(after + 1 + i)) + u")";
        filter += u")";
        ADS_SEARCH_HANDLE handle = nullptr;
        result = search->ExecuteSearch(filter.data(), attributes, ARRAYSIZE(attributes), &handle);
        if (FAILED(result)) return result;
        result = takeRows(search.get(), handle, report);
        search->CloseSearchHandle(handle);
        if (FAILED(result)) return result;
    }
    return S_OK;
}

HRESULT synchronise(std::u16string_view server, std::u16string_view namingContext, const std::string& cookie,
                    LPCWSTR filter, SyncReport* report) {
    ComPtr<IDirectorySearch> search;
    HRESULT result = lumivel::shared::BindByDn(server, namingContext, IID_IDirectorySearch, search.putVoid(),
                                               lumivel::shared::BindSpeed::Fast);
    if (FAILED(result)) return result;
    ADS_SEARCHPREF_INFO preferences[3] = {};
    preferences[0].dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
    preferences[0].vValue.dwType = ADSTYPE_INTEGER;
    preferences[0].vValue.Integer = ADS_SCOPE_SUBTREE;
    preferences[1].dwSearchPref = ADS_SEARCHPREF_DIRSYNC;
    preferences[1].vValue.dwType = ADSTYPE_PROV_SPECIFIC;
    preferences[1].vValue.ProviderSpecific.dwLength = static_cast<DWORD>(cookie.size());
    preferences[1].vValue.ProviderSpecific.lpValue =
        cookie.empty() ? nullptr : reinterpret_cast<LPBYTE>(const_cast<char*>(cookie.data()));
    // What the caller may read, without the right to replicate the whole domain.
    preferences[2].dwSearchPref = ADS_SEARCHPREF_DIRSYNC_FLAG;
    preferences[2].vValue.dwType = ADSTYPE_INTEGER;
    preferences[2].vValue.Integer = LDAP_DIRSYNC_OBJECT_SECURITY;
    result = search->SetSearchPreference(preferences, ARRAYSIZE(preferences));
    if (result != S_OK) return FAILED(result) ? result : E_ADS_BAD_PARAMETER;
    LPWSTR attributes[] = {const_cast<LPWSTR>(u"objectGUID"), const_cast<LPWSTR>(u"isDeleted")};
    ADS_SEARCH_HANDLE handle = nullptr;
    result = search->ExecuteSearch(const_cast<LPWSTR>(filter), attributes, ARRAYSIZE(attributes), &handle);
    if (FAILED(result)) return result;
    result = takeRows(search.get(), handle, report);
    if (SUCCEEDED(result)) {
        ADS_SEARCH_COLUMN column{};
        result = search->GetColumn(handle, const_cast<LPWSTR>(ADS_DIRSYNC_COOKIE), &column);
        if (SUCCEEDED(result) && column.dwNumValues == 1 && column.pADsValues[0].ProviderSpecific.lpValue)
            report->cookie.assign(reinterpret_cast<const char*>(column.pADsValues[0].ProviderSpecific.lpValue),
                                  column.pADsValues[0].ProviderSpecific.dwLength);
        if (SUCCEEDED(result)) search->FreeColumn(&column);
        if (SUCCEEDED(result) && report->cookie.empty()) result = E_ADS_COLUMN_NOT_SET;
    }
    search->CloseSearchHandle(handle);
    return FAILED(result) ? result : S_OK;
}

// The cookie travels in the record as byte hex.
std::string cookieOfText(std::u16string_view hex) {
    std::vector<unsigned char> bytes;
    if (!DecodeByteHex(hex, &bytes)) return {};
    return std::string(bytes.begin(), bytes.end());
}

std::u16string textOfCookie(const std::string& bytes) {
    return EncodeByteHex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// The server's update number saved with the sync point; -1 when there is none.
long long savedUsn(const PropertySet* record) {
    return usnOfText(record->getText(kSyncUsnKey));
}

// Why the sync point cannot be gone on from; empty when it can.
std::u16string whyWhole(const PropertySet* record, const ServerState& now, const std::string& cookie) {
    if (cookie.empty()) return u"no earlier listing to go on from";
    if (!lumivel::EqualsNoCase(record->getText(kSyncServerKey), now.server))
        return u"another domain controller answered (" + now.server + u")";
    if (!lumivel::EqualsNoCase(record->getText(kSyncInvocationKey), now.invocationId))
        return u"the domain controller's database is another one since the last listing";
    const long long saved = savedUsn(record);
    if (saved < 0 || saved > now.usn)
        return u"the domain controller's database went back since the last listing";
    return {};
}

PropertySet* leftRecord(const std::u16string& guid) {
    PropertySet* record = PropertySet::create();
    if (!record) return nullptr;
    record->setInt(kSyncLeftKey, 1);
    record->setText(u"guid", guid);
    return record;
}

}  // namespace

HRESULT Revivo::ListTombstoneChanges(PropertySet* node, VARIANT* result) {
    std::optional<std::u16string> namingContext = node->copyString(u"NamingContext");
    std::u16string focusedDc = node->copyText(u"FocusedDC");
    std::u16string usedContext;
    ComPtr<IDirectorySearch> deleted;
    HRESULT status = openDeletedObjects(namingContext ? namingContext->c_str() : nullptr, &usedContext, deleted.put());
    if (FAILED(status)) return status;
    const LONG lifetime = listingLifetime(namingContext, usedContext);

    // The server that answered the listing's bind is the one to synchronise with: cookies and
    // update numbers are its own.
    ServerState now;
    std::u16string server = lumivel::shared::ServerOfBinding(deleted.get());
    // A scripted directory has no server to synchronise with.
    HRESULT serverRead = m_openDeletedObjects || server.empty() ? E_NOTIMPL : readServerState(server, &now);
    std::string cookie = cookieOfText(node->getText(kSyncCookieKey));
    std::u16string why = FAILED(serverRead) ? u"the domain controller does not tell its state" : whyWhole(node, now, cookie);

    std::vector<PropertySet*> listed;
    std::vector<std::u16string> left;
    SyncReport report;
    // The update number saved was read before the cookie was taken, so everything written
    // since the cookie carries a higher one. Few writes are found by their numbers, and none
    // cost nothing; the cookie then stays as the point to synchronise from should the numbers
    // not serve, which reports again what was found since, harmlessly.
    if (why.empty()) {
        const long long saved = savedUsn(node);
        if (saved == now.usn || (now.usn - saved <= kMostUsnsSearched &&
                                 SUCCEEDED(writtenBetween(server, usedContext, saved, now.usn, &report)))) {
            report.cookie = cookie;
        } else {
            report = SyncReport{};
            HRESULT synced = synchronise(server, usedContext, cookie, u"(objectClass=*)", &report);
            if (FAILED(synced)) why = u"the domain controller refused the saved synchronisation state";
        }
    }
    bool whole = !why.empty();
    if (!whole) {
        // Each GUID read again once, whether the server or the caller asked for it.
        std::unordered_set<std::u16string> wanted;
        std::vector<std::u16string> order;
        for (const std::u16string& guid : report.deleted)
            if (wanted.insert(lumivel::FoldCase(guid)).second) order.push_back(lumivel::FoldCase(guid));
        for (const std::u16string& guid : lumivel::shared::TextListOf(node, kSyncRecheckKey))
            if (lumivel::shared::IsGuidText(guid) && wanted.insert(lumivel::FoldCase(guid)).second)
                order.push_back(lumivel::FoldCase(guid));
        for (size_t first = 0; first < order.size() && SUCCEEDED(status); first += kGuidsPerSearch) {
            std::u16string filter = u"(|";
            for (size_t i = first; i < order.size() && i < first + kGuidsPerSearch; ++i) filter += guidFilter(order[i]);
            filter += u")";
            status = SearchDeletedObjectsMatching(deleted.get(), filter, focusedDc, m_schemaCache, &listed, lifetime);
        }
        std::unordered_set<std::u16string> found;
        for (PropertySet* record : listed) found.insert(lumivel::FoldCase(lumivel::shared::TombstoneGuid(record->getText(u"name"))));
        for (const std::u16string& guid : order)
            if (!found.count(guid)) left.push_back(guid);
        for (const std::u16string& guid : report.live)
            if (!wanted.count(lumivel::FoldCase(guid))) left.push_back(lumivel::FoldCase(guid));
    } else {
        // The cookie first: what changes while the listing runs is then reported again next
        // time, never missed. A server that offers no synchronisation still lists.
        report = SyncReport{};
        if (SUCCEEDED(serverRead) && FAILED(synchronise(server, usedContext, {}, kNoObjectFilter, &report)))
            report.cookie.clear();
        status = SearchDeletedObjectsMatching(deleted.get(), {}, focusedDc, m_schemaCache, &listed, lifetime);
    }
    deleted.reset();
    if (FAILED(status)) {
        for (PropertySet* record : listed) record->release();
        return status;
    }

    PropertySet* header = PropertySet::create();
    if (!header) {
        for (PropertySet* record : listed) record->release();
        return E_OUTOFMEMORY;
    }
    header->setString(u"RefreshReason", u"ObjectsAdded");
    if (!report.cookie.empty() && SUCCEEDED(serverRead)) {
        header->setText(kSyncServerKey, now.server);
        header->setText(kSyncInvocationKey, now.invocationId);
        header->setText(kSyncUsnKey, lumivel::shared::WidenText(std::to_string(now.usn)));
        header->setText(kSyncCookieKey, textOfCookie(report.cookie));
    }
    if (whole) {
        header->setInt(kSyncWholeKey, 1);
        header->setText(kSyncWhyWholeKey, why);
    }
    std::vector<LONG_PTR> addresses{reinterpret_cast<LONG_PTR>(header)};
    for (PropertySet* record : listed) addresses.push_back(reinterpret_cast<LONG_PTR>(record));
    std::vector<PropertySet*> leftRecords;
    for (const std::u16string& guid : left)
        if (PropertySet* record = leftRecord(guid)) leftRecords.push_back(record);
    for (PropertySet* record : leftRecords) addresses.push_back(reinterpret_cast<LONG_PTR>(record));
    status = result ? lumivel::shared::BuildAddressList(addresses, result) : E_POINTER;
    if (FAILED(status)) {
        header->release();
        for (PropertySet* record : listed) record->release();
        for (PropertySet* record : leftRecords) record->release();
        return status;
    }
    // Reanimation consults the cache for deleted parents: it follows the list the caller now holds.
    if (whole)
        rememberTombstones(usedContext, &listed);
    else
        updateTombstones(usedContext, listed, left);
    return S_OK;
}

}  // namespace revivo
