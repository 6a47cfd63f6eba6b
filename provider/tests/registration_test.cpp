// RevivoProvider.so registered with regsvr into private hives: exactly its keys are written
// and removed, and the registered class is created by CLSID and ProgID and scripted by name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "lumivel/com_ptr.h"
#include "lumivel/registry_key.h"
#include "tests/support/private_hives.h"
#include "shared/provider_interfaces.h"
#include "win/com.h"

using lumivel::ComPtr;
using lumivel::RegistryKey;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

constexpr const char16_t* kClsid = u"{499BFD0C-BB2D-4ACC-9FD2-C52C1D8C2236}";

std::string binaryFolder() {
    const char* folder = std::getenv("LUMIVEL_BIN_DIR");
    return folder ? folder : ".";
}

int regsvr(const std::string& options) {
    std::string command = binaryFolder() + "/regsvr /s " + options + " " + binaryFolder() + "/RevivoProvider.so";
    return std::system(command.c_str());
}

std::optional<std::u16string> value(HKEY root, const std::u16string& key, LPCWSTR name = nullptr) {
    RegistryKey opened;
    if (opened.open(root, key.c_str(), KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    return opened.readString(name);
}

bool keyExists(HKEY root, const std::u16string& key) {
    RegistryKey opened;
    return opened.open(root, key.c_str(), KEY_READ) == ERROR_SUCCESS;
}

const std::u16string kClassKey = std::u16string(u"CLSID\\") + kClsid;
const std::u16string kAnnouncements[] = {u"SOFTWARE\\Tarvo Software\\Tarvo Halcyra\\AD\\Interfaces",
                                         u"SOFTWARE\\Tarvo Software\\Tarvo Halcyra\\Exchange\\Interfaces"};

TEST(RegistrationTest, RegsvrWritesAndRemovesExactlyTheProvidersKeys) {
    ASSERT_EQ(regsvr(""), 0);
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, u"RevivoProvider.Revivo.1"), u"Revivo Class");
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, u"RevivoProvider.Revivo.1\\CLSID"), kClsid);
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, u"RevivoProvider.Revivo"), u"Revivo Class");
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, u"RevivoProvider.Revivo\\CLSID"), kClsid);
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, u"RevivoProvider.Revivo\\CurVer"), u"RevivoProvider.Revivo.1");
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey), u"Revivo Class");
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + u"\\ProgID"), u"RevivoProvider.Revivo.1");
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + u"\\VersionIndependentProgID"), u"RevivoProvider.Revivo");
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, kClassKey + u"\\Programmable"));
    std::optional<std::u16string> module = value(HKEY_CLASSES_ROOT, kClassKey + u"\\InprocServer32");
    ASSERT_TRUE(module.has_value());
    const std::u16string moduleName = u"/RevivoProvider.so";
    EXPECT_TRUE(module->size() > moduleName.size() && module->substr(module->size() - moduleName.size()) == moduleName);
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, kClassKey + u"\\TypeLib"), u"{D8814FC8-5778-4A96-8C1B-A0D63425AFDA}");
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, u"TypeLib\\{D8814FC8-5778-4A96-8C1B-A0D63425AFDA}\\1.0"),
              u"RevivoProvider 1.0 Type Library");
    for (const std::u16string& key : kAnnouncements) EXPECT_EQ(value(HKEY_LOCAL_MACHINE, key, kClsid), u"") << "announced";

    ASSERT_EQ(regsvr("/u"), 0);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, u"RevivoProvider.Revivo.1"));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, u"RevivoProvider.Revivo"));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, u"CLSID"));
    for (const std::u16string& key : kAnnouncements) {
        EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, key)) << "announcement keys stay";
        EXPECT_FALSE(value(HKEY_LOCAL_MACHINE, key, kClsid).has_value()) << "announcement values go";
    }
}

TEST(RegistrationTest, RegisteredClassIsCreatedByNameAndScriptedByName) {
    ASSERT_EQ(regsvr(""), 0);
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(u"RevivoProvider.Revivo", &clsid), S_OK);
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Revivo));
        ComPtr<IDispatch> script;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, script.putVoid()), S_OK);
        ComPtr<IProviderCommands> commands;
        EXPECT_EQ(script.queryInterface(IID_IProviderCommands, &commands), S_OK);

        struct Name {
            const char16_t* name;
            DISPID id;
        } names[] = {{u"EnumDeletedObjects", 1}, {u"backupobjects", 2}};
        for (const Name& row : names) {
            LPOLESTR text = const_cast<LPOLESTR>(row.name);
            DISPID id = -1;
            EXPECT_EQ(script->GetIDsOfNames(GUID_NULL, &text, 1, 0, &id), S_OK);
            EXPECT_EQ(id, row.id);
        }
        LPOLESTR unknown = const_cast<LPOLESTR>(u"RestoreEverything");
        DISPID id = 0;
        EXPECT_EQ(script->GetIDsOfNames(GUID_NULL, &unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);

        // What a scheduled backup script does: BackupObjects with one distinguished name.
        VARIANT argument;
        argument.vt = VT_BSTR;
        argument.bstrVal = SysAllocString(u"CN=Nobody,DC=nowhere,DC=invalid");
        DISPPARAMS parameters{&argument, nullptr, 1, 0};
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(script->Invoke(2, GUID_NULL, 0, DISPATCH_METHOD, &parameters, &result, nullptr, nullptr), S_OK);
        VariantClear(&argument);

        // A script's EnumDeletedObjects(0, ""): the plain number reaches the method, which
        // reports its own failure (no directory here), not an argument mismatch.
        VARIANT arguments[2];
        arguments[0].vt = VT_BSTR;  // last argument first
        arguments[0].bstrVal = SysAllocString(u"");
        arguments[1].vt = VT_I4;
        arguments[1].lVal = 0;
        DISPPARAMS listing{arguments, nullptr, 2, 0};
        EXCEPINFO exception{};
        UINT badArgument = 99;
        HRESULT invoked = script->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, &listing, &result, &exception, &badArgument);
        EXPECT_NE(invoked, DISP_E_TYPEMISMATCH);
        EXPECT_NE(invoked, DISP_E_BADPARAMCOUNT);
        if (invoked == DISP_E_EXCEPTION) {
            EXPECT_TRUE(FAILED(exception.scode));
        }
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        VariantClear(&arguments[0]);
        VariantClear(&result);
    }
    CoUninitialize();
    regsvr("/u");
}

}  // namespace
