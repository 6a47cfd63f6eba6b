// Registration of the snap-in, the provider and the schema cache through regsvr: every key written and removed,
// "RefCount" counting, module paths of any length, and failures that regsvr reports.
#include <sys/stat.h>

#include <filesystem>

#include "lumivel/registry_key.h"
#include "lumivel/text.h"
#include "snapin_test_support.h"
#include "tests/support/private_hives.h"
#include "tests/support/temporary_directory.h"

namespace {

using namespace snapin_test;

const auto* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

const std::u16string kClassKey = std::u16string(u"CLSID\\") + kSnapinClsid;
const std::u16string kSnapinKey = std::u16string(u"Software\\Microsoft\\MMC\\Snapins\\") + kSnapinClsid;

std::string Snapin() { return BinDir() + "/RevivoSnapin.so"; }

bool KeyExists(HKEY root, const std::u16string& path) {
    lumivel::RegistryKey key;
    return key.open(root, path.c_str(), KEY_READ) == ERROR_SUCCESS;
}

std::optional<std::u16string> Value(HKEY root, const std::u16string& path, const char16_t* name) {
    lumivel::RegistryKey key;
    if (key.open(root, path.c_str(), KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    return key.readString(name);
}

TEST(SnapinRegistration, WritesEveryKeyCountsAndRemovesBothTrees) {
    ASSERT_EQ(Regsvr("/s \"" + Snapin() + "\""), 0u);
    ASSERT_EQ(Regsvr("/s \"" + Snapin() + "\""), 0u);
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, kClassKey, nullptr), u"Tarvo Lumivel");
    lumivel::RegistryKey classKey;
    ASSERT_EQ(classKey.open(HKEY_CLASSES_ROOT, kClassKey.c_str(), KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(classKey.readDword(u"RefCount"), 2u);
    std::u16string server = kClassKey + u"\\InprocServer32";
    auto registered = Value(HKEY_CLASSES_ROOT, server, nullptr);
    ASSERT_TRUE(registered);
    EXPECT_EQ(std::filesystem::canonical(lumivel::ToUtf8(*registered)), std::filesystem::canonical(Snapin()));
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, server, u"ThreadingModel"), u"Apartment");
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kSnapinKey, nullptr), u"Tarvo Lumivel");
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kSnapinKey, u"NameString"), u"Tarvo Lumivel");
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kSnapinKey, u"About"), kSnapinClsid);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kSnapinKey + u"\\Standalone"));

    // One unregistration removes everything, whatever the count says.
    EXPECT_EQ(Regsvr("/s /u \"" + Snapin() + "\""), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSnapinKey));
    // Unregistering what is not registered is reported.
    EXPECT_EQ(Regsvr("/s /u \"" + Snapin() + "\""), 1u);
}

TEST(SnapinRegistration, LongModulePathsAreWrittenWhole) {
    lumivel::testing::TemporaryDirectory folder;
    std::filesystem::path deep = folder.path();
    while (deep.string().size() < 2200) deep /= std::string(60, 'd');
    std::filesystem::create_directories(deep);
    std::filesystem::path copy = deep / "RevivoSnapin.so";
    std::filesystem::copy_file(Snapin(), copy);
    for (const char* beside : {"libplatform.so"}) {
        std::error_code ignored;
        std::filesystem::create_symlink(std::filesystem::canonical(BinDir() + "/" + beside), deep / beside, ignored);
    }
    ASSERT_EQ(Regsvr("/s \"" + copy.string() + "\""), 0u);
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, kClassKey + u"\\InprocServer32", nullptr), lumivel::FromUtf8(copy.string()));
    EXPECT_EQ(Regsvr("/s /u \"" + copy.string() + "\""), 0u);
}

TEST(SnapinRegistration, AReadOnlyMachineHiveMakesRegsvrFail) {
    const char* hive = std::getenv("LUMIVEL_MACHINE_HIVE");
    ASSERT_NE(hive, nullptr);
    // A first write creates the hive file, so that there is something to make read-only.
    ASSERT_EQ(Regsvr("/s \"" + Snapin() + "\""), 0u);
    ASSERT_EQ(Regsvr("/s /u \"" + Snapin() + "\""), 0u);
    struct stat before {};
    ASSERT_EQ(stat(hive, &before), 0);
    ASSERT_EQ(chmod(hive, 0444), 0);
    DWORD snapinStatus = Regsvr("/s \"" + Snapin() + "\"");
    DWORD providerStatus = Regsvr("/s \"" + BinDir() + "/RevivoProvider.so\"");
    chmod(hive, before.st_mode & 07777);
    EXPECT_EQ(snapinStatus, 1u) << "a key that could not be written is no success";
    EXPECT_EQ(providerStatus, 1u);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSnapinKey));
}

struct ScriptedServer {
    const char* module;
    const char16_t* clsid;
    const char16_t* className;
    const char16_t* progId;
    const char16_t* typeLibrary;
};

TEST(ScriptedRegistration, EachServerWritesItsClassAndProgIdsAndRemovesThem) {
    const ScriptedServer servers[] = {
        {"RevivoProvider.so", kDefaultProviderClsid, u"Revivo Class", u"RevivoProvider.Revivo",
         u"{D8814FC8-5778-4A96-8C1B-A0D63425AFDA}"},
        {"Glossar.so", kSchemaCacheClsid, u"SchemaCache Class", u"Glossar.SchemaCache",
         u"{65F36BDA-9674-4289-AED8-7D0FF283D3E9}"},
    };
    for (const ScriptedServer& server : servers) {
        SCOPED_TRACE(server.module);
        std::string module = BinDir() + "/" + server.module;
        ASSERT_EQ(Regsvr("/s \"" + module + "\""), 0u);
        std::u16string clsidKey = std::u16string(u"CLSID\\") + server.clsid;
        std::u16string progId = server.progId;
        std::u16string versioned = progId + u".1";
        EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsidKey, nullptr), server.className);
        EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsidKey + u"\\ProgID", nullptr), versioned);
        EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsidKey + u"\\VersionIndependentProgID", nullptr), progId);
        EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsidKey + u"\\TypeLib", nullptr), server.typeLibrary);
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, clsidKey + u"\\Programmable"));
        EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsidKey + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
        EXPECT_EQ(Value(HKEY_CLASSES_ROOT, versioned + u"\\CLSID", nullptr), server.clsid);
        EXPECT_EQ(Value(HKEY_CLASSES_ROOT, progId + u"\\CurVer", nullptr), versioned);
        ASSERT_EQ(Regsvr("/s /u \"" + module + "\""), 0u);
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsidKey));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, progId));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, versioned));
    }
}

TEST(ScriptedRegistration, TheProviderAnnouncesItselfToTheProductFamily) {
    std::string provider = BinDir() + "/RevivoProvider.so";
    ASSERT_EQ(Regsvr("/s \"" + provider + "\""), 0u);
    for (const char16_t* family : {u"AD", u"Exchange"}) {
        std::u16string key = std::u16string(u"SOFTWARE\\Tarvo Software\\Tarvo Halcyra\\") + family + u"\\Interfaces";
        EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, key, kDefaultProviderClsid), u"");
    }
    ASSERT_EQ(Regsvr("/s /u \"" + provider + "\""), 0u);
}

}  // namespace
