#include "snapin/provider_cache.h"

#include "win/strings.h"

namespace snapin {

int ProviderCache::indexOf(const std::u16string& clsid) const {
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (lstrcmpiW(m_entries[i].clsid.c_str(), clsid.c_str()) == 0) return int(i);
    return -1;
}

IUnknown* ProviderCache::find(const std::u16string& clsid) const {
    int index = indexOf(clsid);
    return index < 0 ? nullptr : m_entries[size_t(index)].provider.get();
}

IUnknown* ProviderCache::findOrCreate(const char16_t* clsid) {
    if (!clsid) return nullptr;
    std::u16string text(clsid);
    if (IUnknown* cached = find(text)) return cached;
    CLSID parsed{};
    if (FAILED(CLSIDFromString(text.c_str(), &parsed))) return nullptr;
    Entry entry{std::move(text), nullptr};
    if (FAILED(CoCreateInstance(parsed, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, entry.provider.putVoid())) ||
        !entry.provider)
        return nullptr;
    m_entries.push_back(std::move(entry));
    return m_entries.back().provider.get();
}

void ProviderCache::copyFrom(const ProviderCache& other) {
    for (const Entry& entry : other.m_entries)
        if (!entry.clsid.empty() && indexOf(entry.clsid) < 0) m_entries.push_back(entry);
}

}  // namespace snapin
