#include <gtest/gtest.h>

#include <string>

#include "lumivel/text.h"
#include "lumivel/match_folding.h"
#include "lumivel/wide_string.h"
#include "win/errors.h"
#include "win/strings.h"

namespace {

TEST(MatchFolding, DropsCaseAndAccentsAsAPersonTypingWithoutThemExpects) {
    struct Case {
        const char16_t* text;
        const char16_t* folded;
    } cases[] = {
        {u"\u00C5ngstr\u00F6m", u"angstrom"},        // precomposed
        {u"A\u030Angstro\u0308m", u"angstrom"},      // decomposed: the marks go
        {u"\u01FA", u"a"},                           // A with ring and acute, decomposed twice
        {u"\u00D8resund \u0141\u00F3d\u017A", u"oresund lodz"},
        {u"Cr\u00E8me Br\u00FBl\u00E9e", u"creme brulee"},
        {u"\u0391\u03B8\u03AE\u03BD\u03B1", u"\u03B1\u03B8\u03B7\u03BD\u03B1"},  // Greek tonos
        {u"stra\u00DFe", u"stra\u00DFe"},            // no decomposition, no expansion
        {u"\U0001F600 smile", u"\U0001F600 smile"},  // outside the BMP, kept whole
        {u"\xD800x", u"\xD800x"},                    // an unpaired surrogate is kept
        {u"OU=Payroll\\0ADEL:1", u"ou=payroll\\0adel:1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lumivel::FoldForMatching(c.text), std::u16string(c.folded)) << lumivel::ToUtf8(c.text);
}

TEST(CaseFolding, ComparesWithUnicodeSimpleFolding) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int sign;
    } cases[] = {
        {u"Software", u"SOFTWARE", 0},
        {u"stra\u00DFe", u"STRA\u1E9EE", 0},           // sharp s and capital sharp s
        {u"stra\u00DFe", u"STRASSE", 1},               // simple folding never expands
        {u"\u039F\u03A3", u"\u03BF\u03C2", 0},         // final sigma folds like sigma
        {u"\u00C9cole", u"\u00E9COLE", 0},
        {u"\u0130", u"i", 1},                          // dotted capital I has no simple folding
        {u"\U00010400", u"\U00010428", 0},             // Deseret, outside the BMP
        {u"a", u"B", -1},
        {u"", u"", 0},
        {u"abc", u"ab", 1},
    };
    for (const auto& c : cases) {
        int r = lstrcmpiW(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << lumivel::ToUtf8(c.a);
        EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, c.a, -1, c.b, -1), CSTR_EQUAL + c.sign);
    }
}

TEST(CaseFolding, UnpairedSurrogatesCompareAsThemselves) {
    const WCHAR lone[] = {u'a', 0xD800, 0};
    const WCHAR other[] = {u'A', 0xD800, 0};
    EXPECT_EQ(lstrcmpiW(lone, other), 0);
    EXPECT_NE(lstrcmpiW(lone, u"A"), 0);
}

TEST(CaseFolding, AsciiFlavourFoldsOnlyLatinLetters) {
    EXPECT_EQ(lumivel::AsciiCompareNoCase(u"LDAP", u"ldap"), 0);
    EXPECT_NE(lumivel::AsciiCompareNoCase(u"\u00C9", u"\u00E9"), 0);
    EXPECT_EQ(lumivel::CompareNoCase(u"\u00C9", u"\u00E9"), 0);
    EXPECT_EQ(lumivel::ToUpperCase(std::u16string_view(u"stra\u00DFe \u03C9")), u"STRA\u00DFE \u03A9");
}

TEST(CaseFolding, CaseSensitiveOrderPutsLowerCaseFirstOnlyOnTies) {
    EXPECT_LT(lstrcmpW(u"a", u"A"), 0);
    EXPECT_LT(lstrcmpW(u"a", u"B"), 0);  // code-unit order would put "B" first
    EXPECT_GT(lstrcmpW(u"Zeta", u"alpha"), 0);
    EXPECT_EQ(lstrcmpW(u"Same", u"Same"), 0);
    EXPECT_EQ(CompareStringW(0, 0, u"abc", 2, u"abd", 2), CSTR_EQUAL);
    EXPECT_EQ(CompareStringW(0, 0, nullptr, -1, u"x", -1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(StringFunctions, CopiesTruncateAndTerminate) {
    WCHAR buffer[6];
    EXPECT_EQ(lstrcpynW(buffer, u"abcdefgh", 6), buffer);
    EXPECT_EQ(std::u16string(buffer), u"abcde");
    lstrcpyW(buffer, u"ab");
    lstrcatW(buffer, u"cd");
    EXPECT_EQ(std::u16string(buffer), u"abcd");
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(StrStrIW(u"Revivo_Config.INF", u".inf") - u"Revivo_Config.INF", 0 + 13);
    EXPECT_EQ(StrStrIW(u"abc", u"x"), nullptr);
    EXPECT_EQ(StrCmpNIW(u"CN=Deleted", u"cn=deleted objects", 10), 0);
}

TEST(Wildcards, MatchAsFindFirstFileDoes) {
    struct Case {
        const char16_t* pattern;
        const char16_t* name;
        bool match;
    } cases[] = {
        {u"*.inf", u"A.INF", true},          {u"*.inf", u"a.inf.bak", false}, {u"*.*", u"README", true},
        {u"*", u".hidden", true},            {u"?.txt", u"a.txt", true},      {u"?.txt", u"ab.txt", false},
        {u"Class*.txt", u"classindex.txt", true}, {u"*a*b*c*", u"xxaxxbxxcxx", true}, {u"*a*b*c*", u"cba", false},
        {u"readme.*", u"readme", true},       {u"file?", u"file", true},       {u"\u00C9*", u"\u00E9t\u00E9", true},
        {u"a*****b", u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaac", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lumivel::MatchWildcard(c.pattern, c.name), c.match)
            << lumivel::ToUtf8(c.pattern) << " ~ " << lumivel::ToUtf8(c.name);
}

TEST(CodePages, WideToMultiByteFollowsTheWindowsSizeRules) {
    char buffer[16];
    // Size query, with and without the terminator.
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"h\u00E9", -1, nullptr, 0, nullptr, nullptr), 4);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"h\u00E9", 2, nullptr, 0, nullptr, nullptr), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"h\u00E9", -1, buffer, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\U0001F600", -1, buffer, sizeof(buffer), nullptr, nullptr), 5);
    EXPECT_STREQ(buffer, "\xF0\x9F\x98\x80");

    // An unpaired surrogate: "?" (or the caller's default) in the ANSI page, U+FFFD in UTF-8.
    const WCHAR lone[] = {u'a', 0xD800, u'b', 0};
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, -1, buffer, sizeof(buffer), nullptr, &used), 4);
    EXPECT_STREQ(buffer, "a?b");
    EXPECT_TRUE(used);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, -1, buffer, sizeof(buffer), "#", &used), 4);
    EXPECT_STREQ(buffer, "a#b");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ok", -1, buffer, sizeof(buffer), nullptr, &used), 3);
    EXPECT_FALSE(used);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, buffer, sizeof(buffer), nullptr, nullptr), 6);
    EXPECT_STREQ(buffer, "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, buffer, sizeof(buffer), nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    // Default characters are not allowed with UTF-8.
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"x", -1, buffer, sizeof(buffer), nullptr, &used), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WideCharToMultiByte(1252, 0, u"x", -1, buffer, sizeof(buffer), nullptr, nullptr), 0);
}

TEST(CodePages, MultiByteToWideReplacesOrRejectsBadBytes) {
    WCHAR buffer[16];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "h\xC3\xA9", -1, nullptr, 0), 3);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "h\xC3\xA9", -1, buffer, 16), 3);
    EXPECT_EQ(std::u16string(buffer), u"h\u00E9");
    struct Case {
        const char* bytes;
        std::u16string expected;
    } cases[] = {
        {"\xC3", u"\uFFFD"},                 // truncated sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"},       // overlong form
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"a\xFF" "b", u"a\uFFFD" "b"},
    };
    for (const auto& c : cases) {
        int n = MultiByteToWideChar(CP_UTF8, 0, c.bytes, -1, buffer, 16);
        ASSERT_GT(n, 0);
        EXPECT_EQ(std::u16string(buffer, static_cast<size_t>(n - 1)), c.expected) << c.bytes;
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.bytes, -1, buffer, 16) == 0,
                  c.expected.find(u'\uFFFD') != std::u16string::npos);
    }
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, buffer, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// The platform's own UTF-8 text and the Windows conversions share one rule for broken input,
// so a name read through one and written through the other comes out the same.
TEST(CodePages, PlatformTextAndWindowsConversionsAgreeOnBrokenInput) {
    const std::string cases[] = {
        "plain",          "\xC3",          "\xE2\x82",        "\xE2\x82" "A",   "\xF0\x9F\x98",
        "\xC0\xAF",       "\xED\xA0\x80",   "\xF4\x90\x80\x80", "\xF8\x88\x80\x80", "\x80\x80",
        "\xE4\xB8\xAD\xFF", std::string("a\0b", 3),
    };
    for (const std::string& bytes : cases) {
        WCHAR buffer[32];
        int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), buffer, 32);
        ASSERT_GT(n, 0) << bytes;
        EXPECT_EQ(lumivel::FromUtf8(bytes), std::u16string(buffer, static_cast<size_t>(n))) << bytes;
        bool strict = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                          buffer, 32) > 0;
        EXPECT_EQ(lumivel::IsWellFormedUtf8(bytes), strict) << bytes;
    }
    const std::u16string texts[] = {u"h\u00E9", std::u16string{u'a', 0xDC00}, std::u16string{0xD800, 0xD800, u'x'},
                                    u"\U0001F600"};
    for (const std::u16string& text : texts) {
        char buffer[32];
        int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), buffer, 32, nullptr, nullptr);
        ASSERT_GT(n, 0);
        EXPECT_EQ(lumivel::ToUtf8(text), std::string(buffer, static_cast<size_t>(n)));
    }
}

}  // namespace
