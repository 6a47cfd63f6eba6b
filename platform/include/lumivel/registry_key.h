// An owned registry key and the value readers and writers that platform and product code
// share. Errors are the Win32 codes the registry functions give.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "win/winerror.h"
#include "win/winreg.h"

namespace lumivel {

class LUMIVEL_EXPORT RegistryKey {
public:
    RegistryKey() = default;
    // Takes over an open key.
    explicit RegistryKey(HKEY key) : m_key(key) {}
    RegistryKey(RegistryKey&& other) noexcept : m_key(other.detach()) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) reset(other.detach());
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { reset(); }

    LONG open(HKEY parent, LPCWSTR subKey, REGSAM access);
    LONG create(HKEY parent, LPCWSTR subKey, REGSAM access);
    void close() { reset(); }

    HKEY get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }
    // For functions that open a key into an out-parameter.
    HKEY* put() {
        reset();
        return &m_key;
    }
    HKEY detach() { return std::exchange(m_key, nullptr); }
    void reset(HKEY key = nullptr);

    // A REG_SZ or REG_EXPAND_SZ value up to its first null; none when absent or of another type.
    std::optional<std::u16string> readString(LPCWSTR valueName) const;
    std::optional<DWORD> readDword(LPCWSTR valueName) const;
    // Writes a REG_SZ; the terminating null is stored unless asked not to.
    enum class StoreNull { Yes, No };
    LONG writeString(LPCWSTR valueName, std::u16string_view data, StoreNull storeNull = StoreNull::Yes) const;
    LONG writeDword(LPCWSTR valueName, DWORD data) const;
    LONG deleteValue(LPCWSTR valueName) const;
    // Value names from index 0 until the enumeration fails, with buffers sized from the
    // key's longest value name.
    std::vector<std::u16string> valueNames() const;

private:
    HKEY m_key = nullptr;
};

}  // namespace lumivel
