// ProgID <-> CLSID through HKEY_CLASSES_ROOT.
#include <cstring>

#include "registry_values.h"
#include "win/com.h"

using namespace lumivel::com;

namespace {

// Versioned ProgIDs point at each other through CurVer; a loop must not hang the caller.
constexpr int kMaxCurVerHops = 8;

bool IsUsableProgId(const std::u16string& name) {
    // A backslash would walk into subkeys of another entry.
    return !name.empty() && name.find(u'\\') == std::u16string::npos;
}

}  // namespace

extern "C" {

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpszProgID || !lpclsid) return E_INVALIDARG;
    std::u16string progId(lpszProgID);
    for (int hop = 0; hop <= kMaxCurVerHops && IsUsableProgId(progId); ++hop) {
        if (std::optional<std::u16string> text = ReadStringValue(HKEY_CLASSES_ROOT, progId + u"\\CLSID", nullptr)) {
            CLSID clsid;
            if (FAILED(CLSIDFromString(text->c_str(), &clsid))) return CO_E_CLASSSTRING;
            *lpclsid = clsid;
            return S_OK;
        }
        // A version-independent ProgID without its own CLSID names its current version.
        std::optional<std::u16string> current = ReadStringValue(HKEY_CLASSES_ROOT, progId + u"\\CurVer", nullptr);
        if (!current) break;
        progId = *current;
    }
    *lpclsid = GUID_NULL;
    return CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID) return E_INVALIDARG;
    *lplpszProgID = nullptr;
    std::optional<std::u16string> progId =
        ReadStringValue(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidText(clsid) + u"\\ProgID", nullptr);
    if (!progId || progId->empty()) return REGDB_E_CLASSNOTREG;
    size_t bytes = (progId->size() + 1) * sizeof(WCHAR);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy, progId->c_str(), bytes);
    *lplpszProgID = copy;
    return S_OK;
}

}  // extern "C"
