// The schema cache against the test domain: Glossar.so registered from a copy beside a copy of
// the generator, initialised by the generator's walk of the domain's schema, asked for
// possible children through the creation check, and used by the provider for the friendly
// class names of its listing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <memory>

#include "lumivel/directory_icons.h"
#include "lumivel/gdi_objects.h"
#include "provider/revivo.h"
#include "lumivel/com_ptr.h"
#include "lumivel/unique_bstr.h"
#include "shared/object_list.h"
#include "lumivel/registry_key.h"
#include "schemacache/tests/schema_cache_fixture.h"
#include "shared/schema_cache_interface.h"
#include "win/commctrl.h"
#include "win/dsclient.h"
#include "win/processes.h"

namespace {

using lumivel::ComPtr;
using lumivel::UniqueBstr;
using glossar::testing::Strings;

constexpr char16_t kChildrenKey[] = u"Software\\Tarvo Software\\Tarvo Halcyra\\Glossar\\organizationalUnit";

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string g_installation;  // with its final "/"

// For the whole program: private hives, and the installation folder.
class Installation : public lumivel::testing::PrivateHives {
public:
    void SetUp() override {
        PrivateHives::SetUp();
        g_installation = folder() + "/install/";
        std::filesystem::create_directory(g_installation);
        const std::string bin = Variable("LUMIVEL_BIN_DIR");
        for (const char* file : {"Glossar.so", "Taxonis"})
            std::filesystem::copy_file(bin + "/" + file, g_installation + file);
        ASSERT_EQ(std::system((bin + "/regsvr /s '" + g_installation + "Glossar.so'").c_str()), 0);
    }
};

const auto* const kInstallation = ::testing::AddGlobalTestEnvironment(new Installation);

std::u16string Text(BSTR text) { return text ? std::u16string(text, SysStringLen(text)) : std::u16string(); }


class GlossarDirectory : public ::testing::Test {
protected:
    // The first test initialises the process's one cache; it takes the generator's walk.
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        s_cache = new ComPtr<ISchemaCache>;
        if (FAILED(CoCreateInstance(CLSID_SchemaCache, nullptr, CLSCTX_INPROC_SERVER, IID_ISchemaCache, s_cache->putVoid())))
            return;
        (*s_cache)->InitializeActiveDirectoryIcons(1);
    }
    static void TearDownTestSuite() {
        delete s_cache;
        s_cache = nullptr;
        CoUninitialize();
    }
    void SetUp() override {
        ASSERT_TRUE(*s_cache) << "Glossar.so could not be created";
        ASSERT_EQ((*s_cache)->IsInitialized(), S_OK) << "the generator's index could not be loaded";
        m_cache = s_cache->get();
    }
    std::u16string Friendly(const char16_t* className) {
        UniqueBstr name(className);
        BSTR friendly = nullptr;
        EXPECT_EQ(m_cache->LookupFriendlyClassName(name.get(), &friendly), S_FALSE);
        return Text(friendly);
    }

    static inline ComPtr<ISchemaCache>* s_cache = nullptr;
    ISchemaCache* m_cache = nullptr;
};

TEST_F(GlossarDirectory, InitialisedFromTheIndexTheGeneratorWroteBesideIt) {
    EXPECT_TRUE(std::filesystem::exists(g_installation + "ClassIndex.txt"));
    EXPECT_TRUE(std::filesystem::exists(g_installation + "AttributeIndex.txt"));
    EXPECT_TRUE(std::filesystem::exists(g_installation + "SmallImages.iml"));

    // Friendly names are the display specifiers' for every seeded class.
    ComPtr<IDsDisplaySpecifier> specifiers;
    ASSERT_EQ(CoCreateInstance(CLSID_DsDisplaySpecifier, nullptr, CLSCTX_INPROC_SERVER, IID_IDsDisplaySpecifier,
                               specifiers.putVoid()),
              S_OK);
    for (const char16_t* name : {u"user", u"group", u"computer", u"contact", u"organizationalUnit", u"container",
                                 u"inetOrgPerson", u"domainDNS"}) {
        WCHAR expected[260] = {};
        specifiers->GetFriendlyClassName(name, expected, 260);
        EXPECT_EQ(Friendly(name), expected) << lumivel::ToUtf8(name);
        EXPECT_FALSE(Friendly(name).empty());
    }
    UniqueBstr guid, back;
    ASSERT_EQ(m_cache->LookupObjectGuid(UniqueBstr(u"organizationalUnit").get(), guid.put()), S_OK);
    EXPECT_EQ(guid.length(), 38u);
    ASSERT_EQ(m_cache->LookupGuidObject(guid.get(), back.put()), S_OK);
    EXPECT_EQ(back.view(), u"organizationalUnit");
    // An extended right by its display name, its GUID as the directory stores it.
    ASSERT_EQ(m_cache->LookupObjectGuid(UniqueBstr(u"user force change password").get(), guid.put()), S_OK);
    EXPECT_EQ(guid.view(), u"{00299570-246d-11d0-a768-00aa006e0529}");

    EXPECT_EQ(m_cache->IsClassContainer(UniqueBstr(u"organizationalUnit").get()), S_OK);
    EXPECT_EQ(m_cache->IsClassContainer(UniqueBstr(u"container").get()), S_OK);
    EXPECT_EQ(m_cache->IsClassContainer(UniqueBstr(u"user").get()), S_FALSE);
    EXPECT_EQ(m_cache->IsClassContainer(UniqueBstr(u"group").get()), S_FALSE);

    // The domain's classes show our own pictures.
    LONG user = -1;
    ASSERT_EQ(m_cache->GetIconIndex(UniqueBstr(u"user").get(), &user), S_OK);
    LONG_PTR large = 0;
    m_cache->GetLargeImageList(&large);
    HMODULE icons = LoadLibraryExW(lumivel::directory::BuiltInIconModule().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(icons, nullptr);
    EXPECT_EQ(lumivel::gfx::ImageListImage(reinterpret_cast<HIMAGELIST>(large), user),
              lumivel::gfx::IconImage(LoadIconW(icons, MAKEINTRESOURCEW(4100)), 32));
    FreeLibrary(icons);
    ImageList_Destroy(reinterpret_cast<HIMAGELIST>(large));
}

TEST_F(GlossarDirectory, PossibleChildrenOfAnOrganizationalUnitComeFromTheCreationCheck) {
    const std::u16string path = lumivel::FromUtf8("LDAP://" + Variable("TESTDC_DC") + "/OU=Lumivel Corp," +
                                                  Variable("TESTDC_BASEDN"));
    VARIANT names, displays;
    VariantInit(&names);
    VariantInit(&displays);
    ASSERT_EQ(m_cache->GetPossibleChildren(UniqueBstr(u"organizationalUnit").get(), UniqueBstr(path.c_str()).get(),
                                           &names, &displays),
              S_OK);
    const auto children = Strings(names), shown = Strings(displays);
    VariantClear(&names);
    VariantClear(&displays);
    ASSERT_EQ(children.size(), shown.size());
    for (const char16_t* expected : {u"user", u"group", u"computer", u"contact", u"organizationalUnit", u"inetOrgPerson"}) {
        const auto found = std::find(children.begin(), children.end(), expected);
        ASSERT_NE(found, children.end()) << lumivel::ToUtf8(expected);
        EXPECT_EQ(shown[size_t(found - children.begin())], Friendly(expected));
    }
    EXPECT_EQ(std::find(children.begin(), children.end(), u"domainDNS"), children.end())
        << "the schema lets an OU hold no domain";
    // Kept for the user: the next console reads them without asking the directory.
    lumivel::RegistryKey key;
    ASSERT_EQ(key.open(HKEY_CURRENT_USER, kChildrenKey, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(key.readString(u"user"), Friendly(u"user"));
    EXPECT_EQ(key.valueNames().size(), children.size());
}

TEST_F(GlossarDirectory, TheProvidersListingCarriesFriendlyClassNames) {
    ComPtr<IRevivo> provider;
    ASSERT_EQ(revivo::Revivo::CreateInstance(nullptr, IID_IRevivo, provider.putVoid()), S_OK);
    ASSERT_NE(static_cast<revivo::Revivo*>(provider.get())->schemaCache(), nullptr) << "the provider found the cache";
    VARIANT list;
    VariantInit(&list);
    ASSERT_EQ(provider->EnumDeletedObjects(0, nullptr, &list), S_OK);
    const auto records = lumivel::shared::ReadObjectList(&list);
    ASSERT_FALSE(records.empty());
    size_t users = 0;
    for (PropertySet* record : records) {
        const std::u16string className = Text(record->className());
        const std::u16string expected = Friendly(className.c_str());
        ASSERT_FALSE(expected.empty()) << lumivel::ToUtf8(className);
        EXPECT_EQ(record->getText(u"FriendlyClassName"), expected) << lumivel::ToUtf8(className);
        users += className == u"user";
    }
    EXPECT_GT(users, 0u);
    EXPECT_EQ(Friendly(u"user"), u"User");
    lumivel::shared::FreeObjectListRecords(&list);
}

}  // namespace
