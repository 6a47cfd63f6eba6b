// Registry readers used by class lookup and ProgID resolution.
#include "registry_values.h"

#include <vector>

#include "win/guid.h"
#include "win/winerror.h"

namespace lumivel::com {

LSTATUS OpenKeyForReading(HKEY root, const std::u16string& subkey, RegistryKey* key) {
    return RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key->put());
}

std::optional<std::u16string> ReadStringValue(HKEY root, const std::u16string& subkey, LPCWSTR name) {
    RegistryKey key;
    if (OpenKeyForReading(root, subkey, &key) != ERROR_SUCCESS) return std::nullopt;
    // Values may change between the size query and the read; retry a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0, bytes = 0;
        if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
        std::vector<BYTE> data(bytes + sizeof(WCHAR));
        DWORD size = bytes;
        LSTATUS status = RegQueryValueExW(key.get(), name, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return std::nullopt;
        std::u16string text(reinterpret_cast<const WCHAR*>(data.data()), size / sizeof(WCHAR));
        // Stored strings normally carry their terminator; anything after the first null is not
        // part of the string.
        size_t end = text.find(u'\0');
        if (end != std::u16string::npos) text.resize(end);
        return text;
    }
    return std::nullopt;
}

LSTATUS WriteStringValue(HKEY root, const std::u16string& subkey, LPCWSTR name, const std::u16string& text) {
    RegistryKey key;
    LSTATUS status = RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                                     key.put(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD((text.size() + 1) * sizeof(WCHAR)));
}

std::u16string GuidText(REFGUID guid) {
    WCHAR text[40] = {};
    int length = StringFromGUID2(guid, text, 40);
    return std::u16string(text, length > 0 ? size_t(length - 1) : 0);
}

}  // namespace lumivel::com
