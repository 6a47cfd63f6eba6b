// Resource lookup and the string table, over the resources compiled into this test program.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "win/errors.h"
#include "lumivel/resource_lookup.h"
#include "win/resources.h"
#include "win/winerror.h"

namespace {

std::u16string LoadString16(UINT id, int buffer = 256) {
    std::u16string text(size_t(buffer), u'\xFFFF');
    int n = LoadStringW(nullptr, id, text.data(), buffer);
    text.resize(size_t(n));
    return text;
}

struct StringCase {
    UINT id;
    const char16_t* expected;  // null: no string
};

TEST(StringTable, ConformanceTable) {
    const StringCase cases[] = {
        {1, u"Tarvo Lumivel"},
        {2, u"Quote \" and backslash \\ and tab\t"},
        {3, nullptr},   // empty entry counts as missing
        {4, nullptr},   // missing entry in an existing block
        {17, u"second block"},
        {42, u"named id"},
        {100, u"Gr\u00fc\u00dfe \U0001F600 joined"},
        {65535, u"last id"},
        {999, nullptr},  // missing block
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        WCHAR buffer[64];
        buffer[0] = u'x';
        int n = LoadStringW(nullptr, c.id, buffer, 64);
        if (c.expected == nullptr) {
            EXPECT_EQ(n, 0);
            EXPECT_EQ(buffer[0], 0) << "a missing string leaves an empty buffer";
        } else {
            EXPECT_EQ(std::u16string(buffer, size_t(n)), c.expected);
            EXPECT_EQ(buffer[n], 0);
        }
    }
}

TEST(StringTable, ZeroBufferGivesReadOnlyPointerIntoResource) {
    const WCHAR* text = nullptr;
    int n = LoadStringW(nullptr, 1, reinterpret_cast<LPWSTR>(&text), 0);
    ASSERT_EQ(n, 13);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text, size_t(n)), u"Tarvo Lumivel");

    // The pointer lies inside the string block resource itself.
    HRSRC block = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_STRING);
    ASSERT_NE(block, nullptr);
    auto begin = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, block)));
    auto address = reinterpret_cast<const BYTE*>(text);
    EXPECT_GE(address, begin);
    EXPECT_LT(address, begin + SizeofResource(nullptr, block));

    const WCHAR* untouched = reinterpret_cast<const WCHAR*>(0x1234);
    EXPECT_EQ(LoadStringW(nullptr, 3, reinterpret_cast<LPWSTR>(&untouched), 0), 0) << "empty string";
    EXPECT_EQ(LoadStringW(nullptr, 4, reinterpret_cast<LPWSTR>(&untouched), 0), 0) << "missing string";
}

TEST(StringTable, TruncatesToBufferAndRefusesNull) {
    EXPECT_EQ(LoadString16(1, 6), u"Tarvo");
    EXPECT_EQ(LoadString16(1, 1), u"");
    EXPECT_EQ(LoadString16(100, 8), u"Gr\u00fc\u00dfe \xD83D") << "cut in UTF-16 units, as Windows does";
    SetLastError(0);
    EXPECT_EQ(LoadStringW(nullptr, 1, nullptr, 10), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(FindResource, NamesNumbersAndErrors) {
    struct Case {
        LPCWSTR name;
        LPCWSTR type;
        DWORD error;  // 0: found
    };
    const Case cases[] = {
        {MAKEINTRESOURCEW(202), RT_MENU, 0},
        {u"#202", RT_MENU, 0},
        {MAKEINTRESOURCEW(201), RT_DIALOG, 0},
        {MAKEINTRESOURCEW(101), RT_GROUP_ICON, 0},
        {MAKEINTRESOURCEW(102), RT_BITMAP, 0},
        {MAKEINTRESOURCEW(1), u"REGISTRY", 0},
        {MAKEINTRESOURCEW(1), u"registry", 0},
        {u"script", u"Text", 0},
        {u"#0202", RT_MENU, 0},
        {MAKEINTRESOURCEW(203), RT_MENU, ERROR_RESOURCE_NAME_NOT_FOUND},
        {u"#abc", RT_MENU, ERROR_RESOURCE_NAME_NOT_FOUND},
        {u"#99999", RT_MENU, ERROR_RESOURCE_NAME_NOT_FOUND},
        {MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(77), ERROR_RESOURCE_TYPE_NOT_FOUND},
        {nullptr, RT_MENU, ERROR_RESOURCE_NAME_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        HRSRC found = FindResourceW(nullptr, c.name, c.type);
        if (c.error == 0) {
            EXPECT_NE(found, nullptr);
        } else {
            EXPECT_EQ(found, nullptr);
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
}

TEST(FindResource, MainProgramIsTheNullModuleAndItsBase) {
    HMODULE self = lumivel::MainProgramHandle();
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(FindResourceW(self, MAKEINTRESOURCEW(202), RT_MENU), FindResourceW(nullptr, MAKEINTRESOURCEW(202), RT_MENU));

    // A module without resources (the C library) and an arbitrary address have none.
    SetLastError(0);
    EXPECT_EQ(FindResourceW(reinterpret_cast<HMODULE>(0x1000), MAKEINTRESOURCEW(202), RT_MENU), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
}

TEST(FindResource, FileResourceCarriesTheFileBytes) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), u"REGISTRY");
    ASSERT_NE(found, nullptr);
    DWORD size = SizeofResource(nullptr, found);
    auto data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data, size), "HKCR\n{\n    NoRemove CLSID\n}\n");
    EXPECT_TRUE(FreeResource(LoadResource(nullptr, found)) == FALSE);
}

TEST(FindResource, ForeignHandleIsRefused) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(202), RT_MENU);
    ASSERT_NE(found, nullptr);
    auto shifted = reinterpret_cast<HRSRC>(reinterpret_cast<BYTE*>(found) + 1);
    SetLastError(0);
    EXPECT_EQ(SizeofResource(nullptr, shifted), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LoadResource(nullptr, reinterpret_cast<HRSRC>(&found)), nullptr);
    EXPECT_EQ(SizeofResource(reinterpret_cast<HMODULE>(0x1000), found), 0u) << "handle of another module";
}

}  // namespace
