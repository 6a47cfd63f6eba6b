// The lookups of the schema cache against index files in a scratch folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "lumivel/registry_key.h"
#include "schemacache/generator_status_window.h"
#include "schemacache/resource_ids.h"
#include "schemacache/tests/schema_cache_fixture.h"

namespace glossar {
namespace {

using namespace glossar::testing;

const auto* const kHives = ::testing::AddGlobalTestEnvironment(new HivesWithoutDomain);


class SchemaLookups : public ::testing::Test {
protected:
    void SetUp() override {
        WriteIndex(DirectoryOf(m_folder), SampleClasses());
        m_cache = NewCache(DirectoryOf(m_folder));
        ASSERT_EQ(m_cache->InitializeActiveDirectoryIcons(0), S_OK);
        ASSERT_EQ(m_cache->IsInitialized(), S_OK);
    }

    std::pair<HRESULT, std::u16string> Guid(const char16_t* name) {
        BSTR untouched = SysAllocString(u"untouched");
        BSTR guid = untouched;
        const HRESULT result = m_cache->LookupObjectGuid(name ? Text(name).get() : nullptr, &guid);
        const lumivel::UniqueBstr owned(guid, SysStringLen(guid));
        // An out parameter: a found name replaces the string without freeing it.
        if (guid != untouched) SysFreeString(untouched);
        SysFreeString(guid);
        return {result, std::u16string(owned.view())};
    }
    std::pair<HRESULT, std::u16string> Name(const char16_t* guid) {
        lumivel::UniqueBstr name;
        const HRESULT result = m_cache->LookupGuidObject(guid ? Text(guid).get() : nullptr, name.put());
        EXPECT_NE(name.get(), nullptr) << "an empty string, never none";
        return {result, std::u16string(name.view())};
    }

    TemporaryDirectory m_folder;
    lumivel::ComPtr<ISchemaCache> m_cache;
};

TEST_F(SchemaLookups, NamesAndGuidsOfClassesAttributesAndRightsInEitherCase) {
    EXPECT_EQ(Guid(u"user"), std::pair(S_OK, std::u16string(u"{BF967ABA-0DE6-11D0-A285-00AA003049E2}")));
    EXPECT_EQ(Guid(u"USER").second, u"{BF967ABA-0DE6-11D0-A285-00AA003049E2}");
    EXPECT_EQ(Guid(u"cn").second, u"{BF96793F-0DE6-11D0-A285-00AA003049E2}");
    EXPECT_EQ(Guid(u"reset password").second, u"{00299570-246d-11d0-a768-00aa006e0529}");
    EXPECT_EQ(Guid(u"noSuchName"), std::pair(S_FALSE, std::u16string(u"untouched")));
    EXPECT_EQ(Guid(nullptr), std::pair(S_FALSE, std::u16string(u"untouched")));

    EXPECT_EQ(Name(u"{bf967aba-0de6-11d0-a285-00aa003049e2}"), std::pair(S_OK, std::u16string(u"user")));
    EXPECT_EQ(Name(u"{00299570-246D-11D0-A768-00AA006E0529}"), std::pair(S_OK, std::u16string(u"Reset Password")));
    EXPECT_EQ(Name(u"{BF96793F-0DE6-11D0-A285-00AA003049E2}").second, u"cn");
    EXPECT_EQ(Name(u"{01234567-89AB-CDEF-0123-456789ABCDEF}"), std::pair(S_FALSE, std::u16string()));
    EXPECT_EQ(Name(nullptr), std::pair(S_OK, std::u16string()));
    EXPECT_EQ(Name(u""), std::pair(S_OK, std::u16string()));

    LONG isClass = -1;
    EXPECT_EQ(m_cache->IsClass(Text(u"inetorgperson").get(), &isClass), S_OK);
    EXPECT_EQ(isClass, 1);
    EXPECT_EQ(m_cache->IsClass(Text(u"cn").get(), &isClass), S_FALSE) << "an attribute is no class";
    EXPECT_EQ(isClass, 0);
}

TEST_F(SchemaLookups, TheFirstOfTwoEntriesOfOneNameWins) {
    TemporaryDirectory folder;
    auto classes = SampleClasses();
    classes.push_back({u"USER", u"Second User", u"{22222222-2222-2222-2222-222222222222}", false, u"", 0});
    WriteIndex(DirectoryOf(folder), classes,
               {u"CN=A|shared|{AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA}", u"CN=B|shared|{BBBBBBBB-BBBB-BBBB-BBBB-BBBBBBBBBBBB}"});
    auto cache = NewCache(DirectoryOf(folder));
    cache->InitializeActiveDirectoryIcons(0);
    lumivel::UniqueBstr guid;
    EXPECT_EQ(cache->LookupObjectGuid(Text(u"user").get(), guid.put()), S_OK);
    EXPECT_EQ(guid.view(), u"{BF967ABA-0DE6-11D0-A285-00AA003049E2}");
    EXPECT_EQ(cache->LookupObjectGuid(Text(u"shared").get(), guid.put()), S_OK);
    EXPECT_EQ(guid.view(), u"{AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA}");
    // The second entry is still reached by its own GUID.
    lumivel::UniqueBstr name;
    EXPECT_EQ(cache->LookupGuidObject(Text(u"{22222222-2222-2222-2222-222222222222}").get(), name.put()), S_OK);
    EXPECT_EQ(name.view(), u"USER");
}

TEST_F(SchemaLookups, BeforeInitialisationEveryLookupMisses) {
    auto cache = NewCache(DirectoryOf(m_folder));
    EXPECT_EQ(cache->IsInitialized(), S_FALSE);
    lumivel::UniqueBstr text;
    EXPECT_EQ(cache->LookupObjectGuid(Text(u"user").get(), text.put()), S_FALSE);
    EXPECT_EQ(cache->LookupGuidObject(Text(u"{BF967ABA-0DE6-11D0-A285-00AA003049E2}").get(), text.put()), S_FALSE);
    EXPECT_EQ(text.view(), u"");
    EXPECT_EQ(cache->IsClassContainer(Text(u"container").get()), S_FALSE);
    BSTR friendly = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(cache->LookupFriendlyClassName(Text(u"user").get(), &friendly), S_FALSE);
    EXPECT_EQ(friendly, nullptr);
    EXPECT_EQ(IconIndex(cache.get(), u"Query"), -1);
    VARIANT containers;
    VariantInit(&containers);
    EXPECT_EQ(cache->GetSchemaContainers(1, &containers), S_OK);
    EXPECT_EQ(containers.vt, VT_EMPTY);
    // Asked again once initialised, the state classes are there: an early call fixed nothing.
    cache->InitializeActiveDirectoryIcons(0);
    EXPECT_EQ(cache->GetSchemaContainers(1, &containers), S_OK);
    EXPECT_EQ(Strings(containers).size(), 9u);
    VariantClear(&containers);
}

TEST_F(SchemaLookups, ContainersAreTheIndexsContainerClassesInSortedOrder) {
    EXPECT_EQ(m_cache->IsClassContainer(Text(u"ORGANIZATIONALUNIT").get()), S_OK);
    EXPECT_EQ(m_cache->IsClassContainer(Text(u"user").get()), S_FALSE);
    EXPECT_EQ(m_cache->IsClassContainer(nullptr), S_FALSE);
    VARIANT containers;
    VariantInit(&containers);
    ASSERT_EQ(m_cache->GetSchemaContainers(0, &containers), S_OK);
    EXPECT_EQ(Strings(containers), (std::vector<std::u16string>{u"boxWithoutIcon", u"container", u"organizationalUnit"}));
    VariantClear(&containers);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(m_cache->GetSchemaContainers(1, &containers), S_OK);
        EXPECT_EQ(Strings(containers),
                  (std::vector<std::u16string>{u"boxWithoutIcon", u"boxWithoutIconBusy", u"boxWithoutIconControlled",
                                               u"container", u"containerBusy", u"containerControlled",
                                               u"organizationalUnit", u"organizationalUnitBusy",
                                               u"organizationalUnitControlled"}));
        VariantClear(&containers);
    }
    EXPECT_EQ(m_cache->GetSchemaContainers(1, nullptr), S_OK);
}

TEST_F(SchemaLookups, FriendlyNamesAreTheCachesOwnStringsAndAlwaysSFalse) {
    BSTR first = nullptr, second = nullptr;
    EXPECT_EQ(m_cache->LookupFriendlyClassName(Text(u"organizationalunit").get(), &first), S_FALSE);
    EXPECT_EQ(m_cache->LookupFriendlyClassName(Text(u"organizationalUnit").get(), &second), S_FALSE);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::u16string(first, SysStringLen(first)), u"Organizational Unit");
    EXPECT_EQ(first, second) << "the same string, which the caller does not free";
    BSTR none = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(m_cache->LookupFriendlyClassName(Text(u"cn").get(), &none), S_FALSE);
    EXPECT_EQ(none, nullptr);

    lumivel::UniqueBstr friendlyClass, friendlyAttribute;
    EXPECT_EQ(m_cache->LookupFriendlyNames(Text(u"user").get(), Text(u"computer").get(), friendlyClass.put(),
                                           friendlyAttribute.put()),
              S_FALSE);
    EXPECT_EQ(friendlyClass.view(), u"User");
    EXPECT_EQ(friendlyAttribute.view(), u"Computer") << "a class named as attribute gives its friendly name";
    lumivel::UniqueBstr onlyAttribute;
    EXPECT_EQ(m_cache->LookupFriendlyNames(nullptr, Text(u"user").get(), nullptr, onlyAttribute.put()), S_FALSE);
    EXPECT_EQ(onlyAttribute.get(), nullptr) << "the class's name goes out only to a caller that asks for classes";
    EXPECT_EQ(m_cache->LookupFriendlyNames(Text(u"user").get(), Text(u"user").get(), friendlyClass.put(), nullptr),
              S_FALSE);
}

TEST_F(SchemaLookups, PossibleChildrenComeFromThePerUserCacheOnceWorkedOut) {
    VARIANT names, displays;
    VariantInit(&names);
    VariantInit(&displays);
    // Without a container to look at, a class not yet worked out has none and stays so.
    EXPECT_EQ(m_cache->GetPossibleChildren(Text(u"organizationalUnit").get(), nullptr, &names, &displays), S_OK);
    EXPECT_EQ(names.vt, VT_EMPTY);

    lumivel::RegistryKey key;
    const std::u16string path = std::u16string(kGlossarSettingsKey) + u"\\organizationalUnit";
    ASSERT_EQ(key.create(HKEY_CURRENT_USER, path.c_str(), KEY_ALL_ACCESS), ERROR_SUCCESS);
    key.writeString(u"user", u"stale text: the display name is looked up");
    key.writeString(u"noSuchClass", u"");
    ASSERT_EQ(m_cache->GetPossibleChildren(Text(u"organizationalUnit").get(), Text(u"LDAP://nowhere.invalid/OU=x").get(),
                                           &names, &displays),
              S_OK);
    // The values' names in the registry's order; their display names as the cache knows them.
    const auto stored = key.valueNames();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(Strings(names), stored);
    std::vector<std::u16string> expected;
    for (const auto& name : stored) expected.push_back(name == u"user" ? u"User" : u"");
    EXPECT_EQ(Strings(displays), expected);
    VariantClear(&names);
    VariantClear(&displays);

    // A class whose schema object cannot be bound gets none, and no key: a later run tries again.
    EXPECT_EQ(m_cache->GetPossibleChildren(Text(u"container").get(), Text(u"LDAP://nowhere.invalid/CN=x").get(), &names,
                                           &displays),
              S_OK);
    EXPECT_EQ(names.vt, VT_EMPTY);
    lumivel::RegistryKey absent;
    EXPECT_NE(absent.open(HKEY_CURRENT_USER, (std::u16string(kGlossarSettingsKey) + u"\\container").c_str(), KEY_READ),
              ERROR_SUCCESS);
}

TEST_F(SchemaLookups, ScriptsReachTheLookupsByName) {
    lumivel::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(m_cache->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    auto call = [&](const char16_t* method, std::vector<VARIANT> arguments, VARIANT* result) {
        LPOLESTR name = const_cast<LPOLESTR>(method);
        DISPID id = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK) << lumivel::ToUtf8(method);
        std::reverse(arguments.begin(), arguments.end());
        DISPPARAMS parameters{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
        return dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &parameters, result, nullptr, nullptr);
    };
    VARIANT argument, result;
    VariantInit(&result);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(u"computer");
    EXPECT_EQ(call(u"lookupobjectguid", {argument}, &result), S_OK);
    EXPECT_EQ(std::u16string(result.bstrVal), u"{BF967A86-0DE6-11D0-A285-00AA003049E2}");
    VariantClear(&result);

    BSTR friendly = nullptr;
    VARIANT out;
    out.vt = VT_BYREF | VT_BSTR;
    out.pbstrVal = &friendly;
    EXPECT_EQ(call(u"LookupFriendlyClassName", {argument, out}, &result), S_FALSE);
    ASSERT_NE(friendly, nullptr);
    EXPECT_EQ(std::u16string(friendly), u"Computer");
    SysFreeString(friendly);  // a copy: the cache's own string stays valid
    BSTR own = nullptr;
    m_cache->LookupFriendlyClassName(argument.bstrVal, &own);
    EXPECT_EQ(std::u16string(own, SysStringLen(own)), u"Computer");
    VariantClear(&argument);

    EXPECT_EQ(call(u"IsInitialized", {}, &result), S_OK);
    lumivel::ComPtr<IStream> stream;
    EXPECT_EQ(m_cache->QueryInterface(IID_IStream, stream.putVoid()), S_OK);
    BYTE byte = 0;
    ULONG read = 7;
    EXPECT_TRUE(FAILED(stream->Read(&byte, 1, &read)));
    EXPECT_EQ(read, 0u) << "no image-list file is open";
}

// The status window's class, registered first by the test, so that every status window the
// cache opens is seen being made and destroyed.
struct StatusWindows {
    int created = 0;
    int destroyed = 0;
    std::u16string caption;
};
StatusWindows g_statusWindows;

LRESULT CALLBACK WatchStatusWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        ++g_statusWindows.created;
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        g_statusWindows.caption = creation->lpszName ? creation->lpszName : u"";
    }
    if (message == WM_DESTROY) ++g_statusWindows.destroyed;
    return DefWindowProcW(window, message, wParam, lParam);
}

void WatchStatusWindows() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WatchStatusWindow;
    windowClass.lpszClassName = kGeneratorStatusWindowClass;
    ASSERT_NE(RegisterClassExW(&windowClass), 0);
}

std::u16string ResourceText(UINT id) {
    const WCHAR* text = nullptr;
    const int length = LoadStringW(nullptr, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::u16string(text, static_cast<size_t>(length)) : std::u16string();
}

// Without index files the cache starts the generator beside its module and loads what it
// wrote; a generator that writes nothing leaves the cache uninitialised. A caller that wants
// images is shown why it waits; one without images has no windows to show it in.
TEST(SchemaCacheStart, MissingIndexFilesStartTheGenerator) {
    WatchStatusWindows();
    TemporaryDirectory folder;
    std::filesystem::create_directory(folder.path() + "/staged");
    WriteIndex(lumivel::FromUtf8(folder.path() + "/staged/"), SampleClasses());
    std::ofstream(folder.path() + "/Taxonis") << "#!/bin/sh\ncd \"$(dirname \"$0\")\" && cp staged/*.txt .\n";
    chmod((folder.path() + "/Taxonis").c_str(), 0755);
    auto cache = NewCache(DirectoryOf(folder));
    EXPECT_EQ(cache->InitializeActiveDirectoryIcons(0), S_OK);
    EXPECT_EQ(cache->IsInitialized(), S_OK);
    EXPECT_EQ(cache->IsClassContainer(Text(u"organizationalUnit").get()), S_OK);
    EXPECT_EQ(g_statusWindows.created, 0);

    TemporaryDirectory withImages;
    std::filesystem::copy(folder.path() + "/staged", withImages.path() + "/staged");
    std::filesystem::copy(folder.path() + "/Taxonis", withImages.path() + "/Taxonis");
    auto shown = NewCache(DirectoryOf(withImages));
    EXPECT_EQ(shown->InitializeActiveDirectoryIcons(1), S_OK);
    EXPECT_EQ(shown->IsInitialized(), S_OK);
    EXPECT_EQ(g_statusWindows.created, 1);
    EXPECT_EQ(g_statusWindows.destroyed, 1) << "closed once the wait is over";
    EXPECT_EQ(g_statusWindows.caption, ResourceText(IDS_SCHEMA_INDEX_CAPTION));
    EXPECT_FALSE(g_statusWindows.caption.empty());

    TemporaryDirectory idle;
    std::ofstream(idle.path() + "/Taxonis") << "#!/bin/sh\nexit 0\n";
    chmod((idle.path() + "/Taxonis").c_str(), 0755);
    auto empty = NewCache(DirectoryOf(idle));
    EXPECT_EQ(empty->InitializeActiveDirectoryIcons(0), S_OK);
    EXPECT_EQ(empty->IsInitialized(), S_FALSE);
}

}  // namespace
}  // namespace glossar
