// An owned registry key and the value helpers the provider, snap-in and control share.
#pragma once

#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "win/winerror.h"
#include "win/winreg.h"

namespace lumivel {

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { close(); }
    RegistryKey(RegistryKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) {
            close();
            m_key = std::exchange(other.m_key, nullptr);
        }
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Win32 error codes, as the registry functions give them.
    LONG open(HKEY parent, LPCWSTR subKey, REGSAM access);
    LONG create(HKEY parent, LPCWSTR subKey, REGSAM access);
    void close();

    HKEY get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }

    // A REG_SZ or REG_EXPAND_SZ value without its terminating null; none when absent.
    std::optional<std::u16string> readString(LPCWSTR valueName) const;
    std::optional<DWORD> readDword(LPCWSTR valueName) const;
    // Writes a REG_SZ; the terminating null is stored when asked.
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
