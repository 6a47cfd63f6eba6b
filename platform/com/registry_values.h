// Small registry readers for the COM runtime (class, ProgID and registrar lookups).
#pragma once

#include <optional>
#include <string>

#include "win/winreg.h"

namespace lumivel::com {

// Closes the key when it goes out of scope.
class RegistryKey {
public:
    RegistryKey() = default;
    explicit RegistryKey(HKEY key) : m_key(key) {}
    RegistryKey(RegistryKey&& other) noexcept : m_key(other.release()) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        reset(other.release());
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { reset(); }

    HKEY get() const { return m_key; }
    HKEY* put() {
        reset();
        return &m_key;
    }
    HKEY release() {
        HKEY key = m_key;
        m_key = nullptr;
        return key;
    }
    void reset(HKEY key = nullptr) {
        if (m_key) RegCloseKey(m_key);
        m_key = key;
    }
    explicit operator bool() const { return m_key != nullptr; }

private:
    HKEY m_key = nullptr;
};

// Opens root\subkey for reading; the registry's error code on failure.
LSTATUS OpenKeyForReading(HKEY root, const std::u16string& subkey, RegistryKey* key);

// The string data (REG_SZ or REG_EXPAND_SZ, without its terminator) of a value of root\subkey;
// name null means the default value. Nothing when the key or value is missing or not a string.
std::optional<std::u16string> ReadStringValue(HKEY root, const std::u16string& subkey, LPCWSTR name);

// Creates root\subkey when missing and sets a REG_SZ value (name null: the default value),
// stored with its terminating null as Windows stores strings.
LSTATUS WriteStringValue(HKEY root, const std::u16string& subkey, LPCWSTR name, const std::u16string& text);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as StringFromGUID2 writes it.
std::u16string GuidText(REFGUID guid);

}  // namespace lumivel::com
