#include "lumivel/snapin_catalog.h"

#include "lumivel/registry_key.h"
#include "win/guid.h"

namespace lumivel::console {

namespace {

constexpr const char16_t* kSnapinsKey = u"Software\\Microsoft\\MMC\\Snapins";
// The console's own per-user settings, beside the snap-in registrations it reads.
constexpr const char16_t* kConsoleKey = u"Software\\Microsoft\\MMC\\Console";
constexpr const char16_t* kSnapinValue = u"Snapin";
constexpr const char16_t* kLayoutValue = u"Layout";
// A layout is a few hundred bytes; anything far larger is not ours.
constexpr DWORD kMaxLayoutBytes = 64 * 1024;

}  // namespace

std::vector<RegisteredSnapin> StandaloneSnapins() {
    std::vector<RegisteredSnapin> found;
    RegistryKey snapins;
    if (snapins.open(HKEY_LOCAL_MACHINE, kSnapinsKey, KEY_READ) != ERROR_SUCCESS) return found;
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD length = ARRAYSIZE(name);
        LONG status = RegEnumKeyExW(snapins.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;  // no CLSID is that long
        if (status != ERROR_SUCCESS) break;
        RegisteredSnapin snapin;
        snapin.clsidText.assign(name, length);
        if (FAILED(CLSIDFromString(snapin.clsidText.c_str(), &snapin.clsid))) continue;
        RegistryKey entry, standalone;
        if (entry.open(snapins.get(), snapin.clsidText.c_str(), KEY_READ) != ERROR_SUCCESS) continue;
        if (standalone.open(entry.get(), u"Standalone", KEY_READ) != ERROR_SUCCESS) continue;
        if (auto text = entry.readString(u"NameString"); text && !text->empty())
            snapin.name = *text;
        else if (auto fallback = entry.readString(nullptr); fallback && !fallback->empty())
            snapin.name = *fallback;
        else
            snapin.name = snapin.clsidText;
        found.push_back(std::move(snapin));
    }
    return found;
}

std::optional<CLSID> RememberedSnapin() {
    RegistryKey key;
    if (key.open(HKEY_CURRENT_USER, kConsoleKey, KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    auto text = key.readString(kSnapinValue);
    CLSID clsid{};
    if (!text || FAILED(CLSIDFromString(text->c_str(), &clsid))) return std::nullopt;
    return clsid;
}

void RememberSnapin(const CLSID& clsid) {
    RegistryKey key;
    if (key.create(HKEY_CURRENT_USER, kConsoleKey, KEY_WRITE) != ERROR_SUCCESS) return;
    WCHAR text[40];
    if (StringFromGUID2(clsid, text, ARRAYSIZE(text))) key.writeString(kSnapinValue, text);
}

std::string RememberedLayout() {
    RegistryKey key;
    if (key.open(HKEY_CURRENT_USER, kConsoleKey, KEY_READ) != ERROR_SUCCESS) return {};
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), kLayoutValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_BINARY || size == 0 || size > kMaxLayoutBytes)
        return {};
    std::string bytes(size, '\0');
    if (RegQueryValueExW(key.get(), kLayoutValue, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size) !=
        ERROR_SUCCESS)
        return {};
    bytes.resize(size);
    return bytes;
}

void RememberLayout(const std::string& layout) {
    if (layout.size() > kMaxLayoutBytes) return;
    RegistryKey key;
    if (key.create(HKEY_CURRENT_USER, kConsoleKey, KEY_WRITE) != ERROR_SUCCESS) return;
    RegSetValueExW(key.get(), kLayoutValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(layout.data()),
                   DWORD(layout.size()));
}

}  // namespace lumivel::console
