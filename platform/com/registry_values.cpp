// Registry readers used by class lookup and ProgID resolution.
#include "registry_values.h"

#include "win/guid.h"

namespace lumivel::com {

std::optional<std::u16string> ReadStringValue(HKEY root, const std::u16string& subkey, LPCWSTR name) {
    RegistryKey key;
    if (key.open(root, subkey.c_str(), KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    return key.readString(name);
}

LSTATUS WriteStringValue(HKEY root, const std::u16string& subkey, LPCWSTR name, const std::u16string& text) {
    RegistryKey key;
    LSTATUS status = key.create(root, subkey.c_str(), KEY_WRITE);
    if (status != ERROR_SUCCESS) return status;
    return key.writeString(name, text);
}

std::u16string GuidText(REFGUID guid) {
    WCHAR text[40] = {};
    int length = StringFromGUID2(guid, text, 40);
    return std::u16string(text, length > 0 ? size_t(length - 1) : 0);
}

}  // namespace lumivel::com
