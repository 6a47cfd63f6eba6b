// Glossar.so as COM sees it: registered from a copy in a folder of its own (its index files
// beside it), one object per process, and its registry entries written and removed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "schemacache/collectors_entry.h"
#include "schemacache/tests/schema_cache_fixture.h"
#include "lumivel/registry_key.h"
#include "win/com.h"
#include "win/processes.h"

namespace glossar {
namespace {

using namespace glossar::testing;

const auto* const kHives = ::testing::AddGlobalTestEnvironment(new HivesWithoutDomain);

constexpr char16_t kClassKey[] = u"CLSID\\{459B8D62-B2BF-47C9-A02A-23DAAB17D0ED}";

std::string BinaryFolder() {
    const char* folder = std::getenv("LUMIVEL_BIN_DIR");
    return folder ? folder : ".";
}

std::optional<std::u16string> Value(HKEY root, const std::u16string& key, LPCWSTR name = nullptr) {
    lumivel::RegistryKey opened;
    if (opened.open(root, key.c_str(), KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    return opened.readString(name);
}

class GlossarModule : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = m_folder.path() + "/Glossar.so";
        std::filesystem::copy_file(BinaryFolder() + "/Glossar.so", m_module);
        WriteIndex(DirectoryOf(m_folder), SampleClasses());
        ASSERT_EQ(Regsvr(""), 0);
    }
    void TearDown() override { Regsvr("/u"); }
    int Regsvr(const std::string& options) {
        return std::system((BinaryFolder() + "/regsvr /s " + options + " '" + m_module + "'").c_str());
    }

    TemporaryDirectory m_folder;
    std::string m_module;
};

TEST_F(GlossarModule, RegistrationWritesTheClassItsNamesTypeLibraryAndCollectorsEntry) {
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"Glossar.SchemaCache.1"), u"SchemaCache Class");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"Glossar.SchemaCache\\CurVer"), u"Glossar.SchemaCache.1");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, kClassKey), u"SchemaCache Class");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, std::u16string(kClassKey) + u"\\InprocServer32"), lumivel::FromUtf8(m_module));
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, std::u16string(kClassKey) + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, std::u16string(kClassKey) + u"\\TypeLib"), u"{65F36BDA-9674-4289-AED8-7D0FF283D3E9}");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"TypeLib\\{65F36BDA-9674-4289-AED8-7D0FF283D3E9}\\1.0"), u"Glossar 1.0 Type Library");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"Interface\\{230C4321-7FEE-4C59-8D09-B2AEBFF5FC5E}"), u"ISchemaCache");
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kCollectorsKey, u"Glossar.so"), lumivel::FromUtf8(m_folder.path()));
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kCollectorsKey, u"Taxonis"), lumivel::FromUtf8(m_folder.path()));

    ASSERT_EQ(Regsvr("/u"), 0);
    EXPECT_FALSE(Value(HKEY_CLASSES_ROOT, u"Glossar.SchemaCache.1"));
    EXPECT_FALSE(Value(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(Value(HKEY_LOCAL_MACHINE, kCollectorsKey, u"Glossar.so"));
}

TEST_F(GlossarModule, EveryCreationInTheProcessGetsTheOneObject) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(u"Glossar.SchemaCache", &clsid), S_OK);
        lumivel::ComPtr<ISchemaCache> first, second;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ISchemaCache, first.putVoid()), S_OK);
        ASSERT_EQ(first->InitializeActiveDirectoryIcons(0), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_SchemaCache, nullptr, CLSCTX_INPROC_SERVER, IID_ISchemaCache, second.putVoid()),
                  S_OK);
        EXPECT_EQ(first.get(), second.get());
        EXPECT_EQ(second->IsInitialized(), S_OK) << "initialised through the first, with the index beside the module";
        lumivel::UniqueBstr guid;
        EXPECT_EQ(second->LookupObjectGuid(Text(u"user").get(), guid.put()), S_OK);

        lumivel::ComPtr<IStream> stream;
        EXPECT_EQ(first->QueryInterface(IID_IStream, stream.putVoid()), S_OK);
        lumivel::ComPtr<IUnknown> aggregated;
        EXPECT_EQ(CoCreateInstance(CLSID_SchemaCache, first.get(), CLSCTX_INPROC_SERVER, IID_IUnknown, aggregated.putVoid()),
                  CLASS_E_NOAGGREGATION);

        HMODULE module = GetModuleHandleW(lumivel::FromUtf8(m_module).c_str());
        ASSERT_NE(module, nullptr);
        auto canUnload = reinterpret_cast<HRESULT (*)()>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
        ASSERT_NE(canUnload, nullptr);
        EXPECT_EQ(canUnload(), S_FALSE) << "held by the test";
        first.reset();
        second.reset();
        stream.reset();
        EXPECT_EQ(canUnload(), S_OK) << "nothing outside holds the object";
        lumivel::ComPtr<ISchemaCache> fresh;
        ASSERT_EQ(CoCreateInstance(CLSID_SchemaCache, nullptr, CLSCTX_INPROC_SERVER, IID_ISchemaCache, fresh.putVoid()),
                  S_OK);
        EXPECT_EQ(fresh->IsInitialized(), S_FALSE) << "the object went with the module's last use";
    }
    CoUninitialize();
}

}  // namespace
}  // namespace glossar
