// COM plumbing of the provider object: identity, aggregation, lifetime and the slots that do
// nothing by design.
#include "provider/revivo.h"

#include <new>
#include <unordered_set>

#include "provider/details/details_cache.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"

namespace revivo {

// The kit counts the object for DllCanUnloadNow from construction to destruction.
Revivo::Revivo() : m_details(std::make_unique<DetailsCache>()) {
    m_details->SetReady([this] { detailsReady(); });
    // Without the schema cache only friendly class names are lost.
    if (FAILED(CoCreateInstance(CLSID_SchemaCache, nullptr, CLSCTX_INPROC_SERVER, IID_ISchemaCache,
                                reinterpret_cast<void**>(&m_schemaCache))))
        m_schemaCache = nullptr;
}

Revivo::~Revivo() {
    if (m_schemaCache) m_schemaCache->Release();
    if (m_secondInterface) m_secondInterface->Release();
    clearDeletedObjectCache();
    // The column records are shared with the control for the provider's lifetime only.
    for (LVCOLUMNW* column : m_columns) CoTaskMemFree(column);
    m_columns.clear();
}

HRESULT Revivo::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    return lumivel::com::CreateComObject<Revivo>(outer, iid, object);
}

namespace {

// The record keys of the fields, in the fields' order.
constexpr const char16_t* kFieldKeys[TombstoneCopy::kFieldCount] = {
    u"distinguishedName", u"lastKnownParent", u"name", u"class", u"FocusedDC", kExpiresUtcKey, kExpiresKey};

}  // namespace

TombstoneCopy::TombstoneCopy(const std::u16string_view (&fields)[kFieldCount], LONG_PTR handedOut)
    : m_handedOut(handedOut) {
    for (int i = 0; i < kFieldCount; ++i) {
        m_fields[i] = lumivel::UniqueBstr(fields[i].data(), fields[i].size());
        if (!m_fields[i].get()) throw std::bad_alloc();
    }
}

TombstoneCopy::TombstoneCopy(const PropertySet& record, LONG_PTR handedOut) : m_handedOut(handedOut) {
    for (int i = 0; i < kFieldCount; ++i) {
        m_fields[i].reset(record.shareString(kFieldKeys[i]));
        // Null is an absent value, or a share that needed a copy and found no memory.
        if (!m_fields[i].get() && record.getString(kFieldKeys[i])) throw std::bad_alloc();
    }
}

void Revivo::clearDeletedObjectCache() {
    std::vector<NamingContextTombstones> dropped;
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    dropped.swap(m_deletedObjectCache);
}

namespace {

TombstoneRef copyOf(PropertySet* record) {
    return std::make_shared<const TombstoneCopy>(*record, reinterpret_cast<LONG_PTR>(record));
}

}  // namespace

void Revivo::rememberTombstones(const std::u16string& namingContext, const std::vector<PropertySet*>* records) {
    std::vector<TombstoneRef> tombstones;
    if (records) {
        tombstones.reserve(records->size());
        for (PropertySet* record : *records) tombstones.push_back(copyOf(record));
    }
    // The list this one replaces is released outside the lock.
    std::vector<TombstoneRef> replaced;
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    for (NamingContextTombstones& list : m_deletedObjectCache) {
        if (lumivel::EqualsNoCase(list.namingContext, namingContext)) {
            replaced.swap(list.tombstones);
            list.tombstones.swap(tombstones);
            return;
        }
    }
    if (!tombstones.empty()) m_deletedObjectCache.push_back({namingContext, std::move(tombstones)});
}

void Revivo::updateTombstones(const std::u16string& namingContext, const std::vector<PropertySet*>& records,
                              const std::vector<std::u16string>& leftGuids) {
    std::unordered_set<std::u16string> gone;
    for (const std::u16string& guid : leftGuids) gone.insert(lumivel::FoldCase(guid));
    std::vector<TombstoneRef> added;
    for (PropertySet* record : records) {
        gone.insert(lumivel::FoldCase(lumivel::shared::TombstoneGuid(record->getText(u"name"))));
        added.push_back(copyOf(record));
    }
    std::vector<TombstoneRef> dropped;
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    for (NamingContextTombstones& list : m_deletedObjectCache) {
        if (!lumivel::EqualsNoCase(list.namingContext, namingContext)) continue;
        std::erase_if(list.tombstones, [&](const TombstoneRef& copy) {
            if (!gone.count(lumivel::FoldCase(lumivel::shared::TombstoneGuid(copy->name())))) return false;
            dropped.push_back(copy);
            return true;
        });
        list.tombstones.insert(list.tombstones.end(), added.begin(), added.end());
        return;
    }
}

std::vector<TombstoneRef> Revivo::forgetTombstones(const std::vector<std::u16string>& tombstoneNames) {
    std::unordered_set<std::u16string> names;
    for (const std::u16string& name : tombstoneNames) names.insert(lumivel::FoldCase(name));
    std::vector<TombstoneRef> dropped;
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    for (NamingContextTombstones& list : m_deletedObjectCache) {
        std::erase_if(list.tombstones, [&](const TombstoneRef& copy) {
            if (!names.count(lumivel::FoldCase(copy->distinguishedName()))) return false;
            dropped.push_back(copy);
            return true;
        });
    }
    return dropped;
}

LONG_PTR Revivo::forgetTombstone(std::u16string_view tombstoneName) {
    TombstoneRef dropped;
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    for (NamingContextTombstones& list : m_deletedObjectCache) {
        for (auto it = list.tombstones.begin(); it != list.tombstones.end(); ++it) {
            if (lumivel::EqualsNoCase((*it)->distinguishedName(), tombstoneName)) {
                dropped = *it;
                list.tombstones.erase(it);
                return dropped->handedOut();
            }
        }
    }
    return 0;
}

std::vector<TombstoneRef> Revivo::deletedObjectCacheSnapshot() const {
    std::vector<TombstoneRef> all;
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    for (const NamingContextTombstones& list : m_deletedObjectCache)
        all.insert(all.end(), list.tombstones.begin(), list.tombstones.end());
    return all;
}

size_t Revivo::deletedObjectCacheSize() const {
    size_t total = 0;
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    for (const NamingContextTombstones& list : m_deletedObjectCache) total += list.tombstones.size();
    return total;
}

size_t Revivo::deletedObjectCacheSize(std::u16string_view namingContext) const {
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    for (const NamingContextTombstones& list : m_deletedObjectCache)
        if (lumivel::EqualsNoCase(list.namingContext, namingContext)) return list.tombstones.size();
    return 0;
}

// IProviderData: the slots the console calls that this provider answers without doing anything
// (GetDetails and SetConsole are the details pane's, in provider/details/).
STDMETHODIMP Revivo::ActivateObject(HWND, LONG_PTR) { return S_OK; }
STDMETHODIMP Revivo::DeleteObjects(HWND, VARIANT*, VARIANT*) { return S_OK; }
STDMETHODIMP Revivo::ReservedCommand(HWND, VARIANT*, VARIANT*) { return S_OK; }
STDMETHODIMP Revivo::ShowProperties(HWND, VARIANT*, VARIANT*) { return S_OK; }
STDMETHODIMP Revivo::LinkClicked(HWND, VARIANT*, BSTR, VARIANT*) { return S_OK; }

// IProviderCommands: reserved slots.
STDMETHODIMP Revivo::ReservedCommand6(LONG, LONG) { return S_OK; }
STDMETHODIMP Revivo::ReservedCommand7(LONG, LONG, LONG) { return S_OK; }

}  // namespace revivo
