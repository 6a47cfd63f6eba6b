#include "shared/registry_key.h"

namespace lumivel {

LONG RegistryKey::open(HKEY parent, LPCWSTR subKey, REGSAM access) {
    close();
    return RegOpenKeyExW(parent, subKey, 0, access, &m_key);
}

LONG RegistryKey::create(HKEY parent, LPCWSTR subKey, REGSAM access) {
    close();
    return RegCreateKeyExW(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &m_key, nullptr);
}

void RegistryKey::close() {
    if (m_key) RegCloseKey(m_key);
    m_key = nullptr;
}

std::optional<std::u16string> RegistryKey::readString(LPCWSTR valueName) const {
    if (!m_key) return std::nullopt;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(m_key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::u16string data(size / sizeof(WCHAR) + 1, u'\0');
    DWORD read = static_cast<DWORD>(data.size() * sizeof(WCHAR));
    if (RegQueryValueExW(m_key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &read) !=
        ERROR_SUCCESS)
        return std::nullopt;
    data.resize(read / sizeof(WCHAR));
    // Stored strings may or may not carry their terminating null.
    while (!data.empty() && data.back() == u'\0') data.pop_back();
    return data;
}

std::optional<DWORD> RegistryKey::readDword(LPCWSTR valueName) const {
    if (!m_key) return std::nullopt;
    DWORD type = 0, data = 0, size = sizeof data;
    if (RegQueryValueExW(m_key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_DWORD || size != sizeof data) return std::nullopt;
    return data;
}

LONG RegistryKey::writeString(LPCWSTR valueName, std::u16string_view data, StoreNull storeNull) const {
    if (!m_key) return ERROR_INVALID_HANDLE;
    std::u16string text(data);
    size_t bytes = (text.size() + (storeNull == StoreNull::Yes ? 1 : 0)) * sizeof(WCHAR);
    return RegSetValueExW(m_key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(bytes));
}

LONG RegistryKey::writeDword(LPCWSTR valueName, DWORD data) const {
    if (!m_key) return ERROR_INVALID_HANDLE;
    return RegSetValueExW(m_key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

LONG RegistryKey::deleteValue(LPCWSTR valueName) const {
    if (!m_key) return ERROR_INVALID_HANDLE;
    return RegDeleteValueW(m_key, valueName);
}

std::vector<std::u16string> RegistryKey::valueNames() const {
    std::vector<std::u16string> names;
    if (!m_key) return names;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(m_key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    std::u16string buffer(longest + 1, u'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (RegEnumValueW(m_key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(buffer.data(), length);
    }
    return names;
}

}  // namespace lumivel
