#include "provider/restore/tombstone_lifetime.h"

#include "lumivel/com_ptr.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "lumivel/wide_string.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"
#include "win/adsi.h"
#include "win/datetime.h"

using lumivel::ComPtr;
using lumivel::UniqueBstr;
using lumivel::VariantHolder;

namespace revivo {

namespace {

constexpr ULONGLONG kFileTimeTicksPerDay = 10'000'000ULL * 60 * 60 * 24;

std::optional<LONG> readInteger(IADs* object, const char16_t* attribute) {
    VariantHolder value;
    UniqueBstr name(attribute);
    if (FAILED(object->Get(name.get(), value.get()))) return std::nullopt;
    if (value->vt == VT_I4) return value->lVal;
    // Some servers hand integers over as text.
    if (value->vt == VT_BSTR && value->bstrVal) {
        std::u16string_view text = lumivel::shared::ViewOf(value->bstrVal);
        LONG number = 0;
        if (text.empty() || text.size() > 9) return std::nullopt;
        for (char16_t c : text) {
            if (c < u'0' || c > u'9') return std::nullopt;
            number = number * 10 + (c - u'0');
        }
        return number;
    }
    return std::nullopt;
}

}  // namespace

LONG EffectiveLifetimeDays(std::optional<LONG> tombstoneLifetime, std::optional<LONG> deletedObjectLifetime) {
    if (deletedObjectLifetime && *deletedObjectLifetime > 0) return *deletedObjectLifetime;
    if (tombstoneLifetime && *tombstoneLifetime > 0) return *tombstoneLifetime;
    return kDefaultTombstoneLifetimeDays;
}

std::optional<LONG> ReadTombstoneLifetimeDays(std::u16string_view server) {
    ComPtr<IADs> rootDse;
    if (FAILED(lumivel::shared::BindPath(lumivel::shared::LdapPathOfRootDse(server), IID_IADs, rootDse.putVoid())))
        return std::nullopt;
    VariantHolder configuration;
    UniqueBstr name(u"configurationNamingContext");
    if (FAILED(rootDse->Get(name.get(), configuration.get())) || configuration->vt != VT_BSTR)
        return std::nullopt;
    std::u16string dn = u"CN=Directory Service,CN=Windows NT,CN=Services," +
                        std::u16string(lumivel::shared::ViewOf(configuration->bstrVal));
    ComPtr<IADs> service;
    if (FAILED(lumivel::shared::BindByDn(server, dn, IID_IADs, service.putVoid()))) return std::nullopt;
    std::optional<LONG> tombstone = readInteger(service.get(), u"tombstoneLifetime");
    std::optional<LONG> deleted = readInteger(service.get(), u"msDS-DeletedObjectLifetime");
    // Neither value set is an answer too (the default applies), worth keeping like any other.
    return EffectiveLifetimeDays(tombstone, deleted);
}

LONG TombstoneLifetimeDays(std::u16string_view server) {
    return ReadTombstoneLifetimeDays(server).value_or(kDefaultTombstoneLifetimeDays);
}

LONG TombstoneLifetimes::days(std::u16string_view server) {
    std::u16string key = lumivel::FoldCase(server);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (auto known = m_known.find(key); known != m_known.end()) return known->second;
    }
    // Read unlocked: a slow server must not hold up listings of the others.
    std::optional<LONG> read = m_read ? m_read(server) : std::nullopt;
    if (!read) return kDefaultTombstoneLifetimeDays;
    std::lock_guard<std::mutex> guard(m_lock);
    return m_known.emplace(std::move(key), *read).first->second;
}

bool AddDays(const SYSTEMTIME& utc, LONG days, SYSTEMTIME* later) {
    FILETIME start{};
    if (days < 0 || !SystemTimeToFileTime(&utc, &start)) return false;
    ULARGE_INTEGER ticks{};
    ticks.LowPart = start.dwLowDateTime;
    ticks.HighPart = start.dwHighDateTime;
    ticks.QuadPart += static_cast<ULONGLONG>(days) * kFileTimeTicksPerDay;
    FILETIME end{ticks.LowPart, ticks.HighPart};
    return FileTimeToSystemTime(&end, later) != FALSE;
}

}  // namespace revivo
