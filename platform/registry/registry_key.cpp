#include "lumivel/registry_key.h"

namespace lumivel {

LONG RegistryKey::open(HKEY parent, LPCWSTR subKey, REGSAM access) {
    return RegOpenKeyExW(parent, subKey, 0, access, put());
}

LONG RegistryKey::create(HKEY parent, LPCWSTR subKey, REGSAM access) {
    return RegCreateKeyExW(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, put(), nullptr);
}

void RegistryKey::reset(HKEY key) {
    if (m_key) RegCloseKey(m_key);
    m_key = key;
}

std::optional<std::u16string> RegistryKey::readString(LPCWSTR valueName) const {
    if (!m_key) return std::nullopt;
    // Another process may change the value between the size query and the read.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0, bytes = 0;
        if (RegQueryValueExW(m_key, valueName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
        std::u16string data(bytes / sizeof(WCHAR) + 1, u'\0');
        DWORD size = bytes;
        LONG status = RegQueryValueExW(m_key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
        data.resize(size / sizeof(WCHAR));
        // Stored strings may or may not carry their terminator; nothing after a null belongs
        // to the string.
        size_t end = data.find(u'\0');
        if (end != std::u16string::npos) data.resize(end);
        return data;
    }
    return std::nullopt;
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
