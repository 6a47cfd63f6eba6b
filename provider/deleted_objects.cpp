// IRevivo::EnumDeletedObjects: one paged, one-level, show-deleted search of a domain's
// Deleted Objects container, one record per named tombstone.
#include "provider/deleted_objects.h"

#include <memory>
#include <optional>
#include <vector>

#include "lumivel/com_ptr.h"
#include "provider/revivo.h"
#include "provider/tombstone_lifetime.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

constexpr DWORD kPageSize = 1000;

// The attributes asked for, in order, and the record keys each one sets.
struct AttributeKeys {
    const char16_t* attribute;
    const char16_t* firstKey;
    const char16_t* secondKey;
};
constexpr AttributeKeys kAttributes[] = {
    {u"cn", u"name", nullptr},
    {u"ou", u"name", nullptr},
    {u"distinguishedName", u"distinguishedName", u"path"},
    {u"lastKnownParent", u"lastKnownParent", u"Parent"},
    {u"objectClass", u"class", nullptr},
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
        record->setString(u"FriendlyClassName", friendly);
    else
        record->setString(u"FriendlyClassName", className);
}

// One search row as a record; null when the row names nothing (no cn and no ou).
PropertySet* recordFromRow(IDirectorySearch* search, ADS_SEARCH_HANDLE row, std::u16string_view focusedDc,
                           ISchemaCache* schemaCache, LONG lifetimeDays) {
    PropertySet* record = PropertySet::create();
    if (!record) return nullptr;
    record->setInt(u"NoDelete", 1);
    record->setInt(u"NoProperties", 1);
    record->setText(u"FocusedDC", focusedDc);
    for (const AttributeKeys& keys : kAttributes) {
        ADS_SEARCH_COLUMN column{};
        if (FAILED(search->GetColumn(row, const_cast<LPWSTR>(keys.attribute), &column))) continue;
        std::u16string text;
        std::optional<SYSTEMTIME> utc;
        if (columnText(column, &text, &utc)) {
            record->setText(keys.firstKey, text);
            if (keys.secondKey) record->setText(keys.secondKey, text);
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

// The server an "LDAP://server/DN" naming context names; empty for a plain DN, which the
// listing binds without a server too.
std::u16string serverOfNamingContext(BSTR namingContext) {
    std::u16string_view text = lumivel::shared::ViewOf(namingContext);
    if (!lumivel::shared::StartsWithNoCase(text, u"LDAP://")) return {};
    text.remove_prefix(7);
    size_t slash = text.find(u'/');
    size_t equals = text.find(u'=');
    if (slash == std::u16string_view::npos || (equals != std::u16string_view::npos && equals < slash)) return {};
    return std::u16string(text.substr(0, slash));
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

HRESULT SearchDeletedObjects(IDirectorySearch* search, BSTR filter, std::u16string_view focusedDc,
                             ISchemaCache* schemaCache, std::vector<PropertySet*>* records, LONG lifetimeDays) {
    ADS_SEARCHPREF_INFO preferences[3] = {};
    preferences[0].dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
    preferences[0].vValue.dwType = ADSTYPE_INTEGER;
    preferences[0].vValue.Integer = ADS_SCOPE_ONELEVEL;
    preferences[1].dwSearchPref = ADS_SEARCHPREF_TOMBSTONE;
    preferences[1].vValue.dwType = ADSTYPE_BOOLEAN;
    preferences[1].vValue.Boolean = TRUE;
    preferences[2].dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
    preferences[2].vValue.dwType = ADSTYPE_INTEGER;
    preferences[2].vValue.Integer = kPageSize;
    HRESULT result = search->SetSearchPreference(preferences, ARRAYSIZE(preferences));
    if (FAILED(result)) return result;

    bool filtered = filter && SysStringLen(filter) > 0;
    std::u16string filterText;
    if (filtered) {
        filterText = std::u16string(filter, SysStringLen(filter)) + u"*";
        // A bare "CN=prefix*" gets the parentheses ADSI would add.
        if (filterText.front() != u'(') filterText = u"(" + filterText + u")";
    }
    LPWSTR attributes[ARRAYSIZE(kAttributes)];
    for (size_t i = 0; i < ARRAYSIZE(kAttributes); ++i) attributes[i] = const_cast<LPWSTR>(kAttributes[i].attribute);
    ADS_SEARCH_HANDLE handle = nullptr;
    if (FAILED(search->ExecuteSearch(filtered ? filterText.data() : nullptr, attributes, ARRAYSIZE(attributes),
                                     &handle)))
        return S_OK;
    while (search->GetNextRow(handle) == S_OK) {
        if (PropertySet* record = recordFromRow(search, handle, focusedDc, schemaCache, lifetimeDays)) records->push_back(record);
    }
    search->CloseSearchHandle(handle);
    return S_OK;
}

STDMETHODIMP Revivo::EnumDeletedObjects(LONG_PTR lEntry, BSTR bstrFilter, VARIANT* pvarObjects) {
    clearDeletedObjectCache();
    const auto* node = reinterpret_cast<const PropertySet*>(lEntry);
    BSTR namingContext = node ? node->getString(u"NamingContext") : nullptr;
    ComPtr<IADsContainer> container;
    HRESULT result = OpenDeletedObjectsContainer(namingContext, container.put());
    if (FAILED(result)) return result;
    std::u16string focusedDc = node ? std::u16string(node->getText(u"FocusedDC")) : std::u16string();
    bool filtered = bstrFilter && SysStringLen(bstrFilter) > 0;

    std::vector<PropertySet*> listed;
    ComPtr<IDirectorySearch> search;
    if (SUCCEEDED(container->QueryInterface(IID_IDirectorySearch, search.putVoid())) && search) {
        result = SearchDeletedObjects(search.get(), bstrFilter, focusedDc, m_schemaCache, &listed,
                                      TombstoneLifetimeDays(serverOfNamingContext(namingContext)));
        if (FAILED(result)) {
            for (PropertySet* record : listed) record->release();
            return result;
        }
    }
    search.reset();
    container.reset();

    if (!filtered) rememberTombstones(listed);
    if (!pvarObjects || FAILED(lumivel::shared::BuildObjectList(listed, pvarObjects))) {
        clearDeletedObjectCache();
        for (PropertySet* record : listed) record->release();
    }
    return S_OK;
}

void Revivo::rememberTombstones(const std::vector<PropertySet*>& records) {
    std::vector<TombstoneRef> cache;
    cache.reserve(records.size());
    for (PropertySet* record : records) {
        const std::u16string_view fields[TombstoneCopy::kFieldCount] = {
            record->getText(u"distinguishedName"), record->getText(u"lastKnownParent"), record->getText(u"name"),
            record->getText(u"class"), record->getText(u"FocusedDC"), record->getText(kExpiresUtcKey),
            record->getText(kExpiresKey)};
        cache.push_back(std::make_shared<const TombstoneCopy>(fields, reinterpret_cast<LONG_PTR>(record)));
    }
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    m_deletedObjectCache.swap(cache);
}

}  // namespace revivo
