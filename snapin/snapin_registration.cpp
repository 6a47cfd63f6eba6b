#include "snapin/snapin_registration.h"

#include "lumivel/registry_key.h"
#include "snapin/resource_ids.h"
#include "snapin/snapin_module.h"
#include "win/com.h"

namespace snapin {

namespace {

constexpr const char16_t* kSnapinsKey = u"Software\\Microsoft\\MMC\\Snapins\\";

std::u16string ClsidText() {
    LPOLESTR text = nullptr;
    if (FAILED(StringFromCLSID(CLSID_RevivoSnapin, &text))) return {};
    std::u16string copy(text);
    CoTaskMemFree(text);
    return copy;
}

// Runs writes in order and keeps the first failure.
class Writes {
public:
    void operator()(LONG status) {
        if (m_status == ERROR_SUCCESS) m_status = status;
    }
    HRESULT result() const { return m_status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(DWORD(m_status)); }

private:
    LONG m_status = ERROR_SUCCESS;
};

}  // namespace

HRESULT RegisterSnapin() {
    std::u16string name = LoadText(IDS_SNAPIN_NAME);
    if (name.empty()) return S_FALSE;
    auto modulePath = ModulePath();
    if (!modulePath) return SELFREG_E_CLASS;
    std::u16string clsid = ClsidText();
    if (clsid.empty()) return E_OUTOFMEMORY;

    Writes write;
    lumivel::RegistryKey classKey;
    std::u16string classPath = u"CLSID\\" + clsid;
    write(classKey.create(HKEY_CLASSES_ROOT, classPath.c_str(), KEY_READ | KEY_WRITE));
    if (classKey) {
        write(classKey.writeString(nullptr, name));
        DWORD count = classKey.readDword(u"RefCount").value_or(0);
        write(classKey.writeDword(u"RefCount", count + 1));
        lumivel::RegistryKey server;
        write(server.create(classKey.get(), u"InprocServer32", KEY_WRITE));
        if (server) {
            write(server.writeString(nullptr, *modulePath));
            write(server.writeString(u"ThreadingModel", u"Apartment"));
        }
    }
    lumivel::RegistryKey snapinKey;
    std::u16string snapinPath = kSnapinsKey + clsid;
    write(snapinKey.create(HKEY_LOCAL_MACHINE, snapinPath.c_str(), KEY_WRITE));
    if (snapinKey) {
        lumivel::RegistryKey standalone;
        write(standalone.create(snapinKey.get(), u"Standalone", KEY_WRITE));
        write(snapinKey.writeString(nullptr, name));
        write(snapinKey.writeString(u"NameString", name));
        write(snapinKey.writeString(u"About", clsid));
    }
    return write.result();
}

HRESULT UnregisterSnapin() {
    std::u16string clsid = ClsidText();
    if (clsid.empty()) return E_OUTOFMEMORY;
    std::u16string classPath = u"CLSID\\" + clsid;
    HRESULT result = S_OK;
    {
        lumivel::RegistryKey classKey;
        if (classKey.open(HKEY_CLASSES_ROOT, classPath.c_str(), KEY_READ) != ERROR_SUCCESS) result = E_UNEXPECTED;
    }
    LONG classStatus = SHDeleteKeyW(HKEY_CLASSES_ROOT, classPath.c_str());
    std::u16string snapinPath = kSnapinsKey + clsid;
    LONG snapinStatus = SHDeleteKeyW(HKEY_LOCAL_MACHINE, snapinPath.c_str());
    // A key that was there and could not be removed is a failure, not a success.
    for (LONG status : {classStatus, snapinStatus})
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result))
            result = HRESULT_FROM_WIN32(DWORD(status));
    return result;
}

}  // namespace snapin
