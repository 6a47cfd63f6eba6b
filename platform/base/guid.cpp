// GUID creation and the registry text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
//
// What each parser accepts (as Windows does):
//   text                                     CLSIDFromString        IIDFromString
//   null                                     S_OK, CLSID_NULL       S_OK, IID_NULL
//   "{...}" 38 characters, any letter case   S_OK                   S_OK
//   without braces, wrong length, bad digit  CO_E_CLASSSTRING       E_INVALIDARG
//   a registered ProgID                      its CLSID (HKCR)       E_INVALIDARG
#include <sys/random.h>

#include <cerrno>
#include <string>

#include "win/com.h"
#include "win/errors.h"
#include "win/guid.h"
#include "win/winreg.h"

namespace {

constexpr int kGuidTextLength = 38;

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool ParseHex(const char16_t* text, int digits, uint64_t* value) {
    uint64_t v = 0;
    for (int i = 0; i < digits; ++i) {
        int d = HexValue(text[i]);
        if (d < 0) return false;
        v = (v << 4) | static_cast<uint64_t>(d);
    }
    *value = v;
    return true;
}

bool ParseBraced(LPCOLESTR text, GUID* guid) {
    size_t length = 0;
    while (length <= kGuidTextLength && text[length]) ++length;
    if (length != kGuidTextLength || text[0] != u'{' || text[37] != u'}' || text[9] != u'-' || text[14] != u'-' ||
        text[19] != u'-' || text[24] != u'-')
        return false;
    uint64_t v;
    GUID g{};
    if (!ParseHex(text + 1, 8, &v)) return false;
    g.Data1 = static_cast<uint32_t>(v);
    if (!ParseHex(text + 10, 4, &v)) return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!ParseHex(text + 15, 4, &v)) return false;
    g.Data3 = static_cast<uint16_t>(v);
    static constexpr int kByteOffsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ParseHex(text + kByteOffsets[i], 2, &v)) return false;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    *guid = g;
    return true;
}

// HKCR\<ProgID>\CLSID holds the class's braced CLSID as its default value.
bool LookupProgId(LPCOLESTR progId, CLSID* clsid) {
    if (!progId[0]) return false;
    std::u16string path = std::u16string(progId) + u"\\CLSID";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    WCHAR buffer[kGuidTextLength + 2] = {};
    DWORD size = sizeof(buffer) - sizeof(WCHAR), type = 0;
    LSTATUS status = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ && ParseBraced(buffer, clsid);
}

}  // namespace

extern "C" {

HRESULT CoCreateGuid(GUID* pguid) {
    if (!pguid) return E_INVALIDARG;
    uint8_t bytes[16];
    size_t got = 0;
    while (got < sizeof(bytes)) {
        ssize_t n = getrandom(bytes + got, sizeof(bytes) - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);
        }
        got += static_cast<size_t>(n);
    }
    std::memcpy(pguid, bytes, sizeof(GUID));
    // A random (version 4, RFC 4122 variant) GUID, as Windows makes them.
    pguid->Data3 = static_cast<uint16_t>((pguid->Data3 & 0x0FFF) | 0x4000);
    pguid->Data4[0] = static_cast<uint8_t>((pguid->Data4[0] & 0x3F) | 0x80);
    return S_OK;
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < kGuidTextLength + 1) return 0;
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    auto put = [&](int at, uint64_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value >>= 4) lpsz[at + i] = kDigits[value & 0xF];
    };
    lpsz[0] = u'{';
    put(1, rguid.Data1, 8);
    lpsz[9] = u'-';
    put(10, rguid.Data2, 4);
    lpsz[14] = u'-';
    put(15, rguid.Data3, 4);
    lpsz[19] = u'-';
    put(20, rguid.Data4[0], 2);
    put(22, rguid.Data4[1], 2);
    lpsz[24] = u'-';
    for (int i = 0; i < 6; ++i) put(25 + 2 * i, rguid.Data4[2 + i], 2);
    lpsz[37] = u'}';
    lpsz[38] = 0;
    return kGuidTextLength + 1;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    if (!lplpsz) return E_INVALIDARG;
    auto* text = static_cast<LPOLESTR>(CoTaskMemAlloc((kGuidTextLength + 1) * sizeof(OLECHAR)));
    *lplpsz = text;
    if (!text) return E_OUTOFMEMORY;
    StringFromGUID2(rclsid, text, kGuidTextLength + 1);
    return S_OK;
}

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) { return StringFromCLSID(rclsid, lplpsz); }

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (!pclsid) return E_INVALIDARG;
    if (!lpsz) {
        *pclsid = GUID{};
        return S_OK;
    }
    if (lpsz[0] == u'{') {
        if (ParseBraced(lpsz, pclsid)) return S_OK;
        *pclsid = GUID{};
        return CO_E_CLASSSTRING;
    }
    if (LookupProgId(lpsz, pclsid)) return S_OK;
    *pclsid = GUID{};
    return CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    if (!lpiid) return E_INVALIDARG;
    if (!lpsz) {
        *lpiid = GUID{};
        return S_OK;
    }
    if (ParseBraced(lpsz, lpiid)) return S_OK;
    *lpiid = GUID{};
    return E_INVALIDARG;
}

}  // extern "C"
