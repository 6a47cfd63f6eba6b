// COM plumbing of the provider object: identity, aggregation, lifetime and the slots that do
// nothing by design.
#include "provider/revivo.h"

#include <unordered_set>

namespace revivo {

// The kit counts the object for DllCanUnloadNow from construction to destruction.
Revivo::Revivo() {
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

TombstoneCopy::TombstoneCopy(const std::u16string_view (&fields)[kFieldCount], LONG_PTR handedOut)
    : m_handedOut(handedOut) {
    size_t total = 0;
    for (std::u16string_view text : fields) total += text.size();
    m_text.reserve(total);
    for (int i = 0; i < kFieldCount; ++i) {
        m_starts[i] = static_cast<uint32_t>(m_text.size());
        m_text += fields[i];
    }
    m_starts[kFieldCount] = static_cast<uint32_t>(m_text.size());
}

void Revivo::clearDeletedObjectCache() {
    std::vector<TombstoneRef> dropped;
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    dropped.swap(m_deletedObjectCache);
}

void Revivo::forgetTombstones(const std::vector<std::u16string>& tombstoneNames) {
    std::unordered_set<std::u16string_view> names(tombstoneNames.begin(), tombstoneNames.end());
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    std::erase_if(m_deletedObjectCache,
                  [&](const TombstoneRef& copy) { return names.count(copy->distinguishedName()) != 0; });
}

void Revivo::forgetTombstone(std::u16string_view tombstoneName) {
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    for (auto it = m_deletedObjectCache.begin(); it != m_deletedObjectCache.end(); ++it) {
        if ((*it)->distinguishedName() == tombstoneName) {
            m_deletedObjectCache.erase(it);
            return;
        }
    }
}

std::vector<TombstoneRef> Revivo::deletedObjectCacheSnapshot() const {
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    return m_deletedObjectCache;
}

size_t Revivo::deletedObjectCacheSize() const {
    std::lock_guard<std::mutex> guard(m_deletedObjectCacheLock);
    return m_deletedObjectCache.size();
}

// IProviderData: the slots the console calls that this provider answers without doing anything.
STDMETHODIMP Revivo::ActivateObject(HWND, LONG_PTR) { return S_OK; }
STDMETHODIMP Revivo::SetConsole(IUnknown*) { return S_OK; }
STDMETHODIMP Revivo::DeleteObjects(HWND, VARIANT*, VARIANT*) { return S_OK; }
STDMETHODIMP Revivo::ReservedCommand(HWND, VARIANT*, VARIANT*) { return S_OK; }
STDMETHODIMP Revivo::ShowProperties(HWND, VARIANT*, VARIANT*) { return S_OK; }
STDMETHODIMP Revivo::GetDetails(VARIANT*, LONG*, VARIANT*) { return S_OK; }
STDMETHODIMP Revivo::LinkClicked(HWND, VARIANT*, BSTR, VARIANT*) { return S_OK; }

// IProviderCommands: reserved slots.
STDMETHODIMP Revivo::ReservedCommand6(LONG, LONG) { return S_OK; }
STDMETHODIMP Revivo::ReservedCommand7(LONG, LONG, LONG) { return S_OK; }

}  // namespace revivo
