// A scriptable COM class for the script host's tests: Record appends its text and a line end
// to the file $LUMIVEL_SCRIPT_PROBE_FILE, Refuse fails with E_ACCESSDENIED, Credentials appends
// the process's status (its IDs, groups, capabilities and no-new-privs) to the file, Exhaust
// allocates memory until there is none.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "lumivel/com_object.h"
#include "lumivel/dispatch_table.h"
#include "lumivel/module_loading.h"
#include "lumivel/registrar.h"
#include "lumivel/text.h"

namespace {

using namespace lumivel::com;

// {5B0E7C11-6A2D-4C3B-9E4F-1A2B3C4D5E61}
constexpr CLSID CLSID_ScriptProbe = {0x5B0E7C11, 0x6A2D, 0x4C3B, {0x9E, 0x4F, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x61}};
// {5B0E7C12-6A2D-4C3B-9E4F-1A2B3C4D5E61}
constexpr IID IID_IScriptProbe = {0x5B0E7C12, 0x6A2D, 0x4C3B, {0x9E, 0x4F, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x61}};

struct IScriptProbe : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Record(BSTR text) = 0;
    virtual HRESULT STDMETHODCALLTYPE Refuse(BSTR text) = 0;
    virtual HRESULT STDMETHODCALLTYPE Credentials(BSTR text) = 0;
    virtual HRESULT STDMETHODCALLTYPE Exhaust(BSTR text) = 0;
};

constexpr DispatchParam kTextParam[] = {{u"text", VT_BSTR}};
constexpr DispatchMember kProbeMembers[] = {
    {u"Record", 1, DISPATCH_METHOD, kTextParam, 1, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) { return static_cast<IScriptProbe*>(self)->Record(args[0].bstrVal); },
     u"method Record"},
    {u"Refuse", 2, DISPATCH_METHOD, kTextParam, 1, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) { return static_cast<IScriptProbe*>(self)->Refuse(args[0].bstrVal); },
     u"method Refuse"},
    {u"Credentials", 3, DISPATCH_METHOD, kTextParam, 1, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) { return static_cast<IScriptProbe*>(self)->Credentials(args[0].bstrVal); },
     u"method Credentials"},
    {u"Exhaust", 4, DISPATCH_METHOD, kTextParam, 1, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) { return static_cast<IScriptProbe*>(self)->Exhaust(args[0].bstrVal); },
     u"method Exhaust"},
};
constexpr DispatchInterface kProbeTable = {&IID_IScriptProbe, u"IScriptProbe", u"IScriptProbe Interface", kProbeMembers,
                                           std::size(kProbeMembers)};


class Probe : public ComObject<Probe, DispatchFromTable<IScriptProbe, kProbeTable>> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {InterfaceOf<Probe, IScriptProbe>(IID_IScriptProbe),
                                                     InterfaceOf<Probe, IScriptProbe>(IID_IDispatch)};
    HRESULT STDMETHODCALLTYPE Record(BSTR text) override {
        const char* path = std::getenv("LUMIVEL_SCRIPT_PROBE_FILE");
        FILE* file = path ? std::fopen(path, "a") : nullptr;
        if (!file) return E_FAIL;
        std::fprintf(file, "%s\n", lumivel::ToUtf8(text ? text : u"").c_str());
        std::fclose(file);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Refuse(BSTR) override { return E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Credentials(BSTR) override {
        std::ifstream status("/proc/self/status");
        std::stringstream text;
        text << status.rdbuf();
        return Record(lumivel::FromUtf8(text.str()).data());
    }
    HRESULT STDMETHODCALLTYPE Exhaust(BSTR) override {
        std::vector<std::unique_ptr<char[]>> held;
        for (;;) held.emplace_back(new char[16 << 20]);
    }
};

constexpr ClassEntry kClasses[] = {{&CLSID_ScriptProbe, CreateComObject<Probe>}};

}  // namespace

extern "C" {

LUMIVEL_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return GetClassObjectFromTable(kClasses, rclsid, riid, ppv);
}

LUMIVEL_EXPORT HRESULT DllCanUnloadNow() { return CanUnloadThisModule(); }

LUMIVEL_EXPORT HRESULT DllRegisterServer() {
    return UpdateRegistryFromResource(ThisModuleHandle(), MAKEINTRESOURCEW(1), RegistrarAction::Register);
}

LUMIVEL_EXPORT HRESULT DllUnregisterServer() {
    return UpdateRegistryFromResource(ThisModuleHandle(), MAKEINTRESOURCEW(1), RegistrarAction::Unregister);
}

}  // extern "C"
