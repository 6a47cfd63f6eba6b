// IRevivo::EnumDeletedObjects: one paged, one-level, show-deleted search of a domain's
// Deleted Objects container, one record per named tombstone.
#include "provider/deleted_objects.h"

#include <memory>
#include <optional>
#include <vector>

#include "lumivel/com_ptr.h"
#include "provider/details/details_cache.h"
#include "provider/restore/tombstone_lifetime.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"
#include "win/adsi.h"
#include "win/datetime.h"
#include "win/wformat.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

constexpr DWORD kPageSize = 1000;

// The attributes asked for, in order, and the record keys each one sets.
// A value that most records of a listing repeat (their class) is kept once per process.
enum class Repeated { No, Yes };
struct AttributeKeys {
    const char16_t* attribute;
    const char16_t* firstKey;
    const char16_t* secondKey;
    Repeated repeated = Repeated::No;
};
constexpr AttributeKeys kAttributes[] = {
    {u"cn", u"name", nullptr},
    {u"ou", u"name", nullptr},
    {u"distinguishedName", u"distinguishedName", u"path"},
    {u"lastKnownParent", u"lastKnownParent", u"Parent"},
    {u"objectClass", u"class", nullptr, Repeated::Yes},
    {u"whenChanged", u"dateDeleted", nullptr},
};

bool isTextType(ADSTYPE type) {
    return type == ADSTYPE_DN_STRING || type == ADSTYPE_CASE_IGNORE_STRING || type == ADSTYPE_PRINTABLE_STRING ||
           type == ADSTYPE_NUMERIC_STRING;
}

// The last value of a column as record text; false for types the listing ignores. A time
// also gives its exact UTC value, for callers that need more than the column's minutes.
bool columnText(const ADS_SEARCH_COLUMN& column, std::u16string* text, std::optional<SYSTEMTIME>* utc) {
    if (column.dwNumValues == 0 || !column.pADsValues) return false;
    const ADSVALUE& value = column.pADsValues[column.dwNumValues - 1];
    if (isTextType(value.dwType)) {
        *text = lumivel::shared::ViewOf(value.DNString);
        return true;
    }
    if (value.dwType == ADSTYPE_UTC_TIME) {
        *text = FormatDeletionDate(value.UTCTime);
        *utc = value.UTCTime;
        return true;
    }
    return false;
}

void setFriendlyClassName(PropertySet* record, ISchemaCache* schemaCache) {
    BSTR className = record->className();
    BSTR friendly = nullptr;
    // The cache's string is its own: copied, never freed. Its return code carries nothing.
    schemaCache->LookupFriendlyClassName(className, &friendly);
    if (friendly && SysStringLen(friendly) > 0)
        record->setCommonText(u"FriendlyClassName", std::u16string_view(friendly));
    else if (className)
        record->setCommonText(u"FriendlyClassName", std::u16string_view(className));
    else
        record->setString(u"FriendlyClassName", nullptr);
}

// One search row as a record; null when the row names nothing (no cn and no ou).
PropertySet* recordFromRow(IDirectorySearch* search, ADS_SEARCH_HANDLE row, std::u16string_view focusedDc,
                           ISchemaCache* schemaCache, LONG lifetimeDays) {
    PropertySet* record = PropertySet::create();
    if (!record) return nullptr;
    record->setInt(u"NoDelete", 1);
    record->setInt(u"NoProperties", 1);
    record->setCommonText(u"FocusedDC", focusedDc);
    for (const AttributeKeys& keys : kAttributes) {
        ADS_SEARCH_COLUMN column{};
        if (FAILED(search->GetColumn(row, const_cast<LPWSTR>(keys.attribute), &column))) continue;
        std::u16string text;
        std::optional<SYSTEMTIME> utc;
        if (columnText(column, &text, &utc)) {
            if (keys.repeated == Repeated::Yes)
                record->setCommonText(keys.firstKey, text);
            else
                record->setText(keys.firstKey, text);
            // The second key holds the same text: one BSTR with two owners, not a copy.
            if (keys.secondKey) {
                if (BSTR stored = record->getString(keys.firstKey))
                    record->setSharedString(keys.secondKey, stored);
                else
                    record->setText(keys.secondKey, text);
            }
            if (utc) {
                record->setText(kDateDeletedUtcKey, FormatUtcTime(*utc));
                SYSTEMTIME expires{};
                if (lifetimeDays > 0 && AddDays(*utc, lifetimeDays, &expires)) {
                    record->setText(kExpiresKey, FormatDeletionDate(expires));
                    record->setText(kExpiresUtcKey, FormatUtcTime(expires));
                }
            }
        }
        search->FreeColumn(&column);
    }
    if (record->getText(u"name").empty()) {
        record->release();
        return nullptr;
    }
    if (schemaCache) setFriendlyClassName(record, schemaCache);
    return record;
}

// Where to ask for the forest's lifetimes: the server an "LDAP://server/DN" naming context
// names, else the domain of the naming context listed (its DNS name), as the listing binds.
std::u16string lifetimeServer(const std::optional<std::u16string>& namingContext, std::u16string_view usedContext) {
    std::optional<lumivel::shared::LdapPath> path;
    if (namingContext) path = lumivel::shared::SplitLdapPath(*namingContext);
    if (path && !path->server.empty()) return path->server;
    return lumivel::shared::DnsNameOfDn(usedContext);
}

}  // namespace

std::u16string FormatDeletionDate(const SYSTEMTIME& utc) {
    TIME_ZONE_INFORMATION zone{};
    SYSTEMTIME local = utc;
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID ||
        !SystemTimeToTzSpecificLocalTime(&zone, &utc, &local))
        local = utc;
    WCHAR text[64] = {};
    swprintf_s(text, ARRAYSIZE(text), u"%.2i/%.2i/%.2i - %.2i:%.2i", local.wMonth, local.wDay, local.wYear,
               local.wHour, local.wMinute);
    return text;
}

std::u16string FormatUtcTime(const SYSTEMTIME& utc) {
    WCHAR text[64] = {};
    swprintf_s(text, ARRAYSIZE(text), u"%.4i-%.2i-%.2iT%.2i:%.2i:%.2iZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
               utc.wMinute, utc.wSecond);
    return text;
}

namespace {

std::u16string prefixFilter(BSTR filter) {
    std::u16string filterText;
    if (filter && SysStringLen(filter) > 0) {
        filterText = std::u16string(filter, SysStringLen(filter)) + u"*";
        // A bare "CN=prefix*" gets the parentheses ADSI would add.
        if (filterText.front() != u'(') filterText = u"(" + filterText + u")";
    }
    return filterText;
}

HRESULT searchEach(IDirectorySearch* search, std::u16string filter, std::u16string_view focusedDc,
                   ISchemaCache* schemaCache, LONG lifetimeDays, const DeletedObjectReceiver& receive) {
    HRESULT result = lumivel::shared::SetShowDeletedSearch(search, ADS_SCOPE_ONELEVEL, kPageSize);
    if (FAILED(result)) return result;

    LPWSTR attributes[ARRAYSIZE(kAttributes)];
    for (size_t i = 0; i < ARRAYSIZE(kAttributes); ++i) attributes[i] = const_cast<LPWSTR>(kAttributes[i].attribute);
    ADS_SEARCH_HANDLE handle = nullptr;
    result = search->ExecuteSearch(filter.empty() ? nullptr : filter.data(), attributes, ARRAYSIZE(attributes), &handle);
    if (FAILED(result)) return result;
    for (;;) {
        result = search->GetNextRow(handle);
        if (result != S_OK) break;
        if (PropertySet* record = recordFromRow(search, handle, focusedDc, schemaCache, lifetimeDays)) {
            result = receive(record);
            if (FAILED(result)) break;
        }
    }
    search->CloseSearchHandle(handle);
    return FAILED(result) ? result : S_OK;
}

}  // namespace

HRESULT SearchDeletedObjects(IDirectorySearch* search, BSTR filter, std::u16string_view focusedDc,
                             ISchemaCache* schemaCache, std::vector<PropertySet*>* records, LONG lifetimeDays) {
    return SearchDeletedObjectsMatching(search, prefixFilter(filter), focusedDc, schemaCache, records, lifetimeDays);
}

HRESULT SearchDeletedObjectsEach(IDirectorySearch* search, BSTR filter, std::u16string_view focusedDc,
                                 ISchemaCache* schemaCache, LONG lifetimeDays, const DeletedObjectReceiver& receive) {
    return searchEach(search, prefixFilter(filter), focusedDc, schemaCache, lifetimeDays, receive);
}

HRESULT SearchDeletedObjectsMatching(IDirectorySearch* search, std::u16string filter, std::u16string_view focusedDc,
                                     ISchemaCache* schemaCache, std::vector<PropertySet*>* records,
                                     LONG lifetimeDays) {
    // A search that breaks off part-way (a DC gone, a time limit) fails whole: a partial list
    // would pass for all the tombstones there are.
    const size_t before = records->size();
    HRESULT result = searchEach(search, std::move(filter), focusedDc, schemaCache, lifetimeDays,
                                [records](PropertySet* record) {
                                    records->push_back(record);
                                    return S_OK;
                                });
    if (FAILED(result)) {
        for (size_t i = before; i < records->size(); ++i) (*records)[i]->release();
        records->resize(before);
    }
    return result;
}

LONG Revivo::listingLifetime(const std::optional<std::u16string>& namingContext, std::u16string_view usedContext) {
    // A scripted directory has no forest to ask for its lifetime.
    return m_openDeletedObjects ? 0 : m_lifetimes.days(lifetimeServer(namingContext, usedContext));
}

HRESULT Revivo::openDeletedObjects(LPCWSTR namingContext, std::u16string* usedContext, IDirectorySearch** search) {
    *search = nullptr;
    if (m_openDeletedObjects) return m_openDeletedObjects(namingContext, usedContext, search);
    ComPtr<IADsContainer> container;
    HRESULT result = OpenDeletedObjectsContainer(namingContext, container.put(), usedContext);
    if (FAILED(result)) return result;
    result = container->QueryInterface(IID_IDirectorySearch, reinterpret_cast<void**>(search));
    return FAILED(result) ? result : (*search ? S_OK : E_NOINTERFACE);
}

STDMETHODIMP Revivo::EnumDeletedObjectsTo(LONG_PTR lEntry, BSTR bstrFilter, IDeletedObjectSink* pSink) {
    if (!pSink) return E_POINTER;
    const auto* node = reinterpret_cast<const PropertySet*>(lEntry);
    std::optional<std::u16string> namingContext = node ? node->copyString(u"NamingContext") : std::nullopt;
    std::u16string focusedDc = node ? node->copyText(u"FocusedDC") : std::u16string();
    std::u16string usedContext;
    ComPtr<IDirectorySearch> search;
    HRESULT result = openDeletedObjects(namingContext ? namingContext->c_str() : nullptr, &usedContext, search.put());
    if (FAILED(result)) return result;
    const LONG lifetime = listingLifetime(namingContext, usedContext);
    result = SearchDeletedObjectsEach(search.get(), bstrFilter, focusedDc, m_schemaCache, lifetime,
                                      [pSink](PropertySet* record) {
                                          return pSink->TakeDeletedObject(reinterpret_cast<LONG_PTR>(record));
                                      });
    search.reset();
    if (FAILED(result)) return result;
    // The receiver holds none of them, so none may be remembered.
    rememberTombstones(usedContext, nullptr);
    return S_OK;
}

STDMETHODIMP Revivo::EnumDeletedObjects(LONG_PTR lEntry, BSTR bstrFilter, VARIANT* pvarObjects) {
    const auto* node = reinterpret_cast<const PropertySet*>(lEntry);
    // Copies taken under the node's lock: command 312 may set its DC on the console thread
    // while a worker lists here.
    std::optional<std::u16string> namingContext = node ? node->copyString(u"NamingContext") : std::nullopt;
    std::u16string focusedDc = node ? node->copyText(u"FocusedDC") : std::u16string();
    std::u16string usedContext;
    ComPtr<IDirectorySearch> search;
    HRESULT result = openDeletedObjects(namingContext ? namingContext->c_str() : nullptr, &usedContext, search.put());
    if (FAILED(result)) return result;

    std::vector<PropertySet*> listed;
    LONG lifetime = listingLifetime(namingContext, usedContext);
    result = SearchDeletedObjects(search.get(), bstrFilter, focusedDc, m_schemaCache, &listed, lifetime);
    search.reset();
    // A listing that failed leaves the cache as the last whole one left it.
    if (FAILED(result)) return result;
    // A new listing is a new look: details are read again when asked for.
    m_details->Forget();

    bool filtered = bstrFilter && SysStringLen(bstrFilter) > 0;
    result = pvarObjects ? lumivel::shared::BuildObjectList(listed, pvarObjects) : S_OK;
    bool handedOut = pvarObjects && SUCCEEDED(result);
    // Only records the receiver holds may be remembered; a filtered listing forgets the naming
    // context's tombstones, as it always has.
    rememberTombstones(usedContext, handedOut && !filtered ? &listed : nullptr);
    if (!handedOut) {
        for (PropertySet* record : listed) record->release();
    }
    return SUCCEEDED(result) ? S_OK : result;
}

}  // namespace revivo
