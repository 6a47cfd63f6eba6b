// Registry entries of a type library and its dual interfaces. There is no type-library file
// on this platform; the entries say where the library lives and tie each interface to the
// automation marshaller, so that tools and callers that look them up find what Windows has.
#include <cstdio>

#include "lumivel/dispatch_table.h"
#include "registry_values.h"

namespace lumivel::com {

namespace {

// The automation proxy/stub class that dual interfaces name.
constexpr const char16_t* kAutomationProxyStub = u"{00020424-0000-0000-C000-000000000046}";

std::u16string VersionText(const TypeLibraryInfo& library) {
    char buffer[16];
    // Windows writes the version numbers in hexadecimal.
    std::snprintf(buffer, sizeof(buffer), "%x.%x", library.majorVersion, library.minorVersion);
    return std::u16string(buffer, buffer + std::char_traits<char>::length(buffer));
}

std::u16string DirectoryOf(const std::u16string& path) {
    size_t cut = path.find_last_of(u"/\\");
    return cut == std::u16string::npos ? std::u16string() : path.substr(0, cut + 1);
}

HRESULT FromStatus(LSTATUS status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(DWORD(status)); }

bool HasSubkeys(HKEY root, const std::u16string& subkey) {
    RegistryKey key;
    if (key.open(root, subkey.c_str(), KEY_READ) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return true;  // when in doubt, keep it
    return subkeys > 0;
}

}  // namespace

HRESULT RegisterTypeLibraryEntries(const TypeLibraryInfo& library, LPCWSTR modulePath) {
    if (!library.libid || !modulePath) return E_INVALIDARG;
    std::u16string module(modulePath);
    std::u16string libid = GuidText(*library.libid);
    std::u16string version = u"TypeLib\\" + libid + u"\\" + VersionText(library);
    const WCHAR* title = library.helpString && *library.helpString ? library.helpString : library.name;
    HRESULT hr = FromStatus(WriteStringValue(HKEY_CLASSES_ROOT, version, nullptr, title ? title : u""));
    if (SUCCEEDED(hr)) hr = FromStatus(WriteStringValue(HKEY_CLASSES_ROOT, version + u"\\0\\linux64", nullptr, module));
    if (SUCCEEDED(hr)) hr = FromStatus(WriteStringValue(HKEY_CLASSES_ROOT, version + u"\\FLAGS", nullptr, u"0"));
    if (SUCCEEDED(hr))
        hr = FromStatus(WriteStringValue(HKEY_CLASSES_ROOT, version + u"\\HELPDIR", nullptr, DirectoryOf(module)));
    for (size_t i = 0; SUCCEEDED(hr) && i < library.interfaceCount; ++i) {
        const DispatchInterface& dual = *library.interfaces[i];
        std::u16string key = u"Interface\\" + GuidText(*dual.iid);
        hr = FromStatus(WriteStringValue(HKEY_CLASSES_ROOT, key, nullptr, dual.name ? dual.name : u""));
        if (SUCCEEDED(hr))
            hr = FromStatus(WriteStringValue(HKEY_CLASSES_ROOT, key + u"\\ProxyStubClsid32", nullptr, kAutomationProxyStub));
        if (SUCCEEDED(hr))
            hr = FromStatus(WriteStringValue(HKEY_CLASSES_ROOT, key + u"\\ProxyStubClsid", nullptr, kAutomationProxyStub));
        if (SUCCEEDED(hr)) hr = FromStatus(WriteStringValue(HKEY_CLASSES_ROOT, key + u"\\TypeLib", nullptr, libid));
        if (SUCCEEDED(hr))
            hr = FromStatus(WriteStringValue(HKEY_CLASSES_ROOT, key + u"\\TypeLib", u"Version", VersionText(library)));
    }
    return hr;
}

HRESULT UnregisterTypeLibraryEntries(const TypeLibraryInfo& library) {
    if (!library.libid) return E_INVALIDARG;
    std::u16string libid = u"TypeLib\\" + GuidText(*library.libid);
    HRESULT result = S_OK;
    auto remove = [&](const std::u16string& key) {
        LSTATUS status = SHDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result))
            result = HRESULT_FROM_WIN32(DWORD(status));
    };
    remove(libid + u"\\" + VersionText(library));
    // Other versions of the same library keep the library's key.
    if (!HasSubkeys(HKEY_CLASSES_ROOT, libid)) remove(libid);
    for (size_t i = 0; i < library.interfaceCount; ++i) remove(u"Interface\\" + GuidText(*library.interfaces[i]->iid));
    return result;
}

}  // namespace lumivel::com
