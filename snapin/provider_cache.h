// The providers a node talks to: an ordered list of {CLSID string, provider}. A provider's
// position is its index in menu command ids, so entries are only ever appended.
#pragma once

#include <string>
#include <vector>

#include "lumivel/com_ptr.h"
#include "win/com.h"

namespace snapin {

class ProviderCache {
public:
    struct Entry {
        std::u16string clsid;
        lumivel::ComPtr<IUnknown> provider;
    };

    // The provider for a CLSID string (compared without regard to case), created in-process
    // and appended when not cached yet; null for a null or malformed string or a provider
    // that cannot be created (nothing is cached then).
    IUnknown* findOrCreate(const char16_t* clsid);
    // The cached provider, without creating one.
    IUnknown* find(const std::u16string& clsid) const;
    // Position of a CLSID string, or -1.
    int indexOf(const std::u16string& clsid) const;
    // Appends the entries of `other` with a non-empty CLSID string that are not here yet.
    void copyFrom(const ProviderCache& other);

    const std::vector<Entry>& entries() const { return m_entries; }
    size_t size() const { return m_entries.size(); }
    void clear() { m_entries.clear(); }

private:
    std::vector<Entry> m_entries;
};

}  // namespace snapin
