// Registrar scripts: the registry entries of a COM server as readable text, applied by
// DllRegisterServer and reversed by DllUnregisterServer (internal platform interface).
//
// The format follows the classic .rgs scripts. Tokens are separated by white space; names and
// texts with spaces go in single quotes ('' is a quote inside them); "//" starts a comment.
//
//     HKCR
//     {
//         Glossar.SchemaCache.1 = s 'SchemaCache Class'
//         {
//             CLSID = s '{459B8D62-B2BF-47C9-A02A-23DAAB17D0ED}'
//         }
//         NoRemove CLSID
//         {
//             ForceRemove {459B8D62-B2BF-47C9-A02A-23DAAB17D0ED} = s 'SchemaCache Class'
//             {
//                 InprocServer32 = s '%MODULE%'
//                 {
//                     val ThreadingModel = s 'Apartment'
//                 }
//             }
//         }
//     }
//
// Roots: HKCR, HKCU, HKLM, HKU (or their HKEY_ names). A key is one name (no backslash),
// optionally "= <value>" for its default value, optionally a block of subkeys and
// "val <name> = <value>" lines. Values: s 'text' (REG_SZ), e 'text' (REG_EXPAND_SZ),
// d 123 or d 0x7B (REG_DWORD), b 'A0FF' (REG_BINARY). %NAME% is replaced in names and texts
// (%% is a percent sign); an unknown replacement is an error.
//
// Register creates every key and value; ForceRemove first deletes the key with everything
// below it; Delete deletes the key and creates nothing. Unregister deletes every key the script
// names with everything below it, except NoRemove keys (and the roots), of which only the
// named values go, and Delete keys, which are left alone. A registration that fails half-way
// is undone by unregistering the same script.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel::com {

struct RegistrarReplacement {
    const WCHAR* name;  // without the percent signs: u"MODULE"
    const WCHAR* value;
};

enum class RegistrarAction { Register, Unregister };

// Applies the script. Syntax errors give E_INVALIDARG and registry failures their
// HRESULT_FROM_WIN32 code; *error (when given) then says what went wrong and on which line.
LUMIVEL_EXPORT HRESULT ApplyRegistrarScript(std::u16string_view script, const RegistrarReplacement* replacements,
                                            size_t replacementCount, RegistrarAction action,
                                            std::u16string* error = nullptr);

// DllRegisterServer/DllUnregisterServer helpers: %MODULE% is the full path of `module` (the
// ELF load base of the calling module), followed by the given replacements. The script comes
// from the module's resource of type "REGISTRY" (UTF-8, or UTF-16LE with its byte-order mark)
// or is given as text. Any failure gives SELFREG_E_CLASS.
LUMIVEL_EXPORT HRESULT UpdateRegistryFromResource(HMODULE module, LPCWSTR resourceName, RegistrarAction action,
                                                  const RegistrarReplacement* replacements = nullptr,
                                                  size_t replacementCount = 0);
LUMIVEL_EXPORT HRESULT UpdateRegistryFromScript(HMODULE module, std::u16string_view script, RegistrarAction action,
                                                const RegistrarReplacement* replacements = nullptr,
                                                size_t replacementCount = 0);

}  // namespace lumivel::com
