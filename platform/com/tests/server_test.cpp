#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "lumivel/com_object.h"
#include "lumivel/text.h"
#include "tests/support/child_process.h"
#include "tests/support/private_hives.h"
#include "test_server/test_widget.h"
#include "win/objidl.h"
#include "win/winreg.h"

namespace {

const ::testing::Environment* const kHives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

std::string BinDir() {
    const char* dir = std::getenv("LUMIVEL_BIN_DIR");
    return dir ? dir : ".";
}
std::string ServerPath() { return BinDir() + "/com_test_server.so"; }

struct RunResult {
    int exitCode;
    std::string output;
};

// Runs regsvr with the arguments; output is stdout and stderr together.
RunResult Regsvr(const std::string& arguments, const lumivel::testing::ShellOptions& options = {}) {
    lumivel::testing::ChildResult run = lumivel::testing::RunShell(BinDir() + "/regsvr " + arguments, options);
    return RunResult{static_cast<int>(run.exitCode), run.output};
}

std::string ReadString(HKEY root, const char16_t* path, const char16_t* name = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    WCHAR data[1024];
    DWORD size = sizeof(data), type = 0;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return "<no value>";
    return lumivel::ToUtf8(std::u16string_view(data, size / 2 ? size / 2 - 1 : 0));
}

bool KeyExists(HKEY root, const char16_t* path) { return ReadString(root, path) != "<no key>"; }

bool IsLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

HRESULT CallMultiply(IDispatch* dispatch, const char16_t* a, LONG b, LONG* product) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"multiply")};
    DISPID id = 0;
    HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    if (FAILED(hr)) return hr;
    VARIANT args[2];
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(a);
    args[0].vt = VT_I4;
    args[0].lVal = b;
    DISPPARAMS params = {args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    hr = dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    VariantClear(&args[1]);
    *product = result.lVal;
    return hr;
}

const char16_t* const kClsidKey = u"CLSID\\{7C0D5E21-3B9A-4F6E-A1D2-5E8B0C4F9A10}";

class ComServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        RunResult registered = Regsvr(ServerPath());
        ASSERT_EQ(registered.exitCode, 0) << registered.output;
        EXPECT_EQ(registered.output, "DllRegisterServer in " + ServerPath() + " succeeded.\n");
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        RunResult unregistered = Regsvr("/u " + ServerPath());
        EXPECT_EQ(unregistered.exitCode, 0) << unregistered.output;
        CoUninitialize();
    }
};

TEST_F(ComServer, RegistrationWritesTheScriptAndTypeLibrary) {
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClsidKey), "Widget Class");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, (std::u16string(kClsidKey) + u"\\InprocServer32").c_str()), ServerPath());
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, (std::u16string(kClsidKey) + u"\\InprocServer32").c_str(),
                         u"ThreadingModel"),
              "Apartment");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, (std::u16string(kClsidKey) + u"\\Programmable").c_str()));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, u"TypeLib\\{7C0D5E23-3B9A-4F6E-A1D2-5E8B0C4F9A10}\\1.0"),
              "TestWidget 1.0 Type Library");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, u"Interface\\{7C0D5E22-3B9A-4F6E-A1D2-5E8B0C4F9A10}"), "ITestWidget");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, u"Interface\\{7C0D5E22-3B9A-4F6E-A1D2-5E8B0C4F9A10}\\TypeLib"),
              "{7C0D5E23-3B9A-4F6E-A1D2-5E8B0C4F9A10}");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Lumivel Test", u"{7C0D5E21-3B9A-4F6E-A1D2-5E8B0C4F9A10}"),
              "");

    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestWidget, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"LumivelTest.Widget.1");
    CoTaskMemFree(progId);

    // Unregistering removes what registering made, but keeps the NoRemove keys.
    RunResult unregistered = Regsvr("/u " + ServerPath());
    ASSERT_EQ(unregistered.exitCode, 0) << unregistered.output;
    EXPECT_EQ(unregistered.output, "DllUnregisterServer in " + ServerPath() + " succeeded.\n");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClsidKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"LumivelTest.Widget"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"TypeLib\\{7C0D5E23-3B9A-4F6E-A1D2-5E8B0C4F9A10}"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Interface\\{7C0D5E22-3B9A-4F6E-A1D2-5E8B0C4F9A10}"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Lumivel Test"));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Lumivel Test", u"{7C0D5E21-3B9A-4F6E-A1D2-5E8B0C4F9A10}"),
              "<no value>");
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(u"LumivelTest.Widget", &clsid), CO_E_CLASSSTRING);
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    // Registering again for TearDown's unregistration.
    ASSERT_EQ(Regsvr(ServerPath()).exitCode, 0);
}

TEST_F(ComServer, CreatedByClsidAndProgIdFromASecondModule) {
    void* client = dlopen((BinDir() + "/com_test_client.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(client, nullptr) << dlerror();
    using Create = HRESULT (*)(LPCOLESTR, REFCLSID, REFIID, void**);
    auto create = reinterpret_cast<Create>(dlsym(client, "TestClientCreate"));
    ASSERT_NE(create, nullptr);

    IDispatch* byClsid = nullptr;
    ASSERT_EQ(create(nullptr, CLSID_TestWidget, IID_IDispatch, reinterpret_cast<void**>(&byClsid)), S_OK);
    LONG product = 0;
    EXPECT_EQ(CallMultiply(byClsid, u"6", 7, &product), S_OK) << "a text argument coerced to long";
    EXPECT_EQ(product, 42);

    // The version-independent ProgID reaches the class through CurVer; both load one module.
    IDispatch* byProgId = nullptr;
    ASSERT_EQ(create(u"LumivelTest.Widget", GUID_NULL, IID_IDispatch, reinterpret_cast<void**>(&byProgId)), S_OK);
    ITestWidget* widget = nullptr;
    ASSERT_EQ(byProgId->QueryInterface(IID_ITestWidget, reinterpret_cast<void**>(&widget)), S_OK);
    BSTR description = nullptr;
    BSTR text = SysAllocString(u"hello");
    ASSERT_EQ(widget->Describe(text, &description), S_OK);
    EXPECT_EQ(std::u16string(description), u"hello from com_test_server.so");
    SysFreeString(text);
    SysFreeString(description);
    widget->Release();
    byProgId->Release();
    byClsid->Release();
    dlclose(client);

    EXPECT_TRUE(IsLoaded(ServerPath()));
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded(ServerPath())) << "nothing alive: the module is unloaded";
}

TEST_F(ComServer, LiveObjectsAndLocksKeepTheModuleLoaded) {
    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLoaded(ServerPath())) << "an object is alive";
    object->Release();

    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_TestWidget, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    factory->LockServer(TRUE);
    IClassFactory* keep = factory;
    keep->AddRef();
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLoaded(ServerPath()));
    keep->LockServer(FALSE);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLoaded(ServerPath())) << "the class object itself is still referenced";
    keep->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded(ServerPath()));

    // Loaded again on demand.
    ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    object->Release();
}

// An outer object that aggregates the widget.
class Outer : public lumivel::com::ComObject<Outer, IPersist> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<Outer, IPersist>(IID_IPersist)};
    IUnknown* inner = nullptr;
    HRESULT FinalConstruct() override {
        return CoCreateInstance(CLSID_TestWidget, ControllingUnknown(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&inner));
    }
    ~Outer() override {
        if (inner) inner->Release();
    }
    void* FindInterface(REFIID riid) override {
        if (void* own = lumivel::com::FindInTable(kInterfaces, this, riid)) return own;
        void* delegated = nullptr;
        if (riid == IID_ITestWidget && SUCCEEDED(inner->QueryInterface(riid, &delegated))) {
            static_cast<IUnknown*>(delegated)->Release();
            return delegated;
        }
        return nullptr;
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
        *clsid = GUID_NULL;
        return S_OK;
    }
};

TEST_F(ComServer, TheServerClassCanBeAggregated) {
    IPersist* outer = nullptr;
    ASSERT_EQ((lumivel::com::CreateComObject<Outer>(nullptr, IID_IPersist, reinterpret_cast<void**>(&outer))), S_OK);
    ITestWidget* widget = nullptr;
    ASSERT_EQ(outer->QueryInterface(IID_ITestWidget, reinterpret_cast<void**>(&widget)), S_OK);
    LONG product = 0;
    EXPECT_EQ(widget->Multiply(3, 4, &product), S_OK);
    EXPECT_EQ(product, 12);
    IPersist* back = nullptr;
    ASSERT_EQ(widget->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&back)), S_OK) << "delegated to the outer";
    EXPECT_EQ(back, outer);
    back->Release();
    void* refused = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, outer, CLSCTX_INPROC_SERVER, IID_ITestWidget, &refused),
              CLASS_E_NOAGGREGATION)
        << "an aggregated object hands out only its inner IUnknown";
    outer->Release();
    EXPECT_EQ(widget->Release(), 0u) << "the widget's references counted on the outer object";
}

TEST_F(ComServer, CreationFailuresAsWindowsReportsThem) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(IID_ITestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IStream, &object), E_NOINTERFACE);

    // Point the class at a missing file, then at a library without DllGetClassObject.
    std::u16string inproc = std::u16string(kClsidKey) + u"\\InprocServer32";
    auto point = [&](const std::string& path) {
        std::u16string wide = lumivel::FromUtf8(path);
        HKEY key = nullptr;
        RegOpenKeyExW(HKEY_CLASSES_ROOT, inproc.c_str(), 0, KEY_WRITE, &key);
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                       DWORD((wide.size() + 1) * 2));
        RegCloseKey(key);
    };
    point(BinDir() + "/no-such-module.so");
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    point(BinDir() + "/libplatform.so");
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_ERRORINDLL);
    point(BinDir());
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    point(ServerPath());

    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(u"No.Such.Class", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"CLSID\\{7C0D5E21-3B9A-4F6E-A1D2-5E8B0C4F9A10}", &clsid), CO_E_CLASSSTRING)
        << "a backslash must not reach into other keys";
    EXPECT_EQ(CLSIDFromProgID(u"", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);

    // Two ProgIDs naming each other as CurVer end in an error, not a hang.
    for (auto [name, next] : {std::pair{u"Loop.A", u"Loop.B"}, std::pair{u"Loop.B", u"Loop.A"}}) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::u16string(name) + u"\\CurVer").c_str(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr);
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(next), 14);
        RegCloseKey(key);
    }
    EXPECT_EQ(CLSIDFromProgID(u"Loop.A", &clsid), CO_E_CLASSSTRING);
    SHDeleteKeyW(HKEY_CLASSES_ROOT, u"Loop.A");
    SHDeleteKeyW(HKEY_CLASSES_ROOT, u"Loop.B");

    LPOLESTR progId = nullptr;
    EXPECT_EQ(ProgIDFromCLSID(IID_ITestWidget, &progId), REGDB_E_CLASSNOTREG);
}

TEST(Regsvr, ReportsEachFailureInOneLine) {
    RunResult usage = Regsvr("");
    EXPECT_EQ(usage.exitCode, 1);
    EXPECT_EQ(usage.output, "Usage: regsvr [/u] [/s] <module.so>\n");
    EXPECT_EQ(Regsvr("/x " + ServerPath()).exitCode, 1);

    std::string missing = BinDir() + "/no-such-module.so";
    RunResult notFound = Regsvr(missing);
    EXPECT_EQ(notFound.exitCode, 1);
    EXPECT_EQ(notFound.output, "The module \"" + missing + "\" failed to load: The specified module could not be found.\n");

    std::string noEntry = BinDir() + "/libplatform.so";
    RunResult entry = Regsvr("/u " + noEntry);
    EXPECT_EQ(entry.exitCode, 1);
    EXPECT_EQ(entry.output,
              "The module \"" + noEntry + "\" was loaded but the entry-point DllUnregisterServer was not found.\n");

    lumivel::testing::ShellOptions failingServer;
    failingServer.environment = {{"LUMIVEL_TEST_SERVER_FAIL", "1"}};
    RunResult failing = Regsvr(ServerPath(), failingServer);
    EXPECT_EQ(failing.exitCode, 1);
    EXPECT_EQ(failing.output.rfind("The module \"" + ServerPath() +
                                       "\" was loaded but the call to DllRegisterServer failed with error code "
                                       "0x80040201",
                                   0),
              0u)
        << failing.output;
    EXPECT_EQ(std::count(failing.output.begin(), failing.output.end(), '\n'), 1);

    RunResult silent = Regsvr("/s " + missing);
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_EQ(silent.output, "");
}

}  // namespace

namespace {

// Registered from a relative path, the server must still be found from any directory later.
TEST(Regsvr, RelativeModulePathIsRegisteredInFull) {
    std::string command = "cd '" + BinDir() + "' && ./regsvr /s ./com_test_server.so";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::u16string inproc = u"CLSID\\{7C0D5E21-3B9A-4F6E-A1D2-5E8B0C4F9A10}\\InprocServer32";
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, inproc.c_str()), ServerPath());
    command = "cd '" + BinDir() + "' && ./regsvr /s /u ./com_test_server.so";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

}  // namespace
