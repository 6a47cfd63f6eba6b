// The parsed form of a registrar script.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lumivel/registrar.h"
#include "win/winreg.h"

namespace lumivel::com {

struct RegistrarValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;  // as RegSetValueExW takes it (strings with their terminator)
};

struct RegistrarKey {
    enum class Mode { Normal, ForceRemove, NoRemove, Delete };
    Mode mode = Mode::Normal;
    std::u16string name;
    bool hasDefault = false;
    RegistrarValue defaultValue;
    std::vector<std::pair<std::u16string, RegistrarValue>> values;
    std::vector<RegistrarKey> subkeys;
};

struct RegistrarRoot {
    HKEY root;
    std::vector<RegistrarKey> subkeys;
    std::vector<std::pair<std::u16string, RegistrarValue>> values;
};

// Parses the script with its replacements applied; E_INVALIDARG with *error set when it is
// malformed.
HRESULT ParseRegistrarScript(std::u16string_view script, const RegistrarReplacement* replacements, size_t count,
                             std::vector<RegistrarRoot>* roots, std::u16string* error);

}  // namespace lumivel::com
