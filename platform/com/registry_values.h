// Registry readers and writers by path, for the COM runtime's class, ProgID, registrar and
// type library entries.
#pragma once

#include <optional>
#include <string>

#include "lumivel/registry_key.h"

namespace lumivel::com {

// The string data (REG_SZ or REG_EXPAND_SZ, up to its first null) of a value of root\subkey;
// name null means the default value. Nothing when the key or value is missing or not a string.
std::optional<std::u16string> ReadStringValue(HKEY root, const std::u16string& subkey, LPCWSTR name);

// Creates root\subkey when missing and sets a REG_SZ value (name null: the default value),
// stored with its terminating null as Windows stores strings.
LSTATUS WriteStringValue(HKEY root, const std::u16string& subkey, LPCWSTR name, const std::u16string& text);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as StringFromGUID2 writes it.
std::u16string GuidText(REFGUID guid);

}  // namespace lumivel::com
