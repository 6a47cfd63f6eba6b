#include <gtest/gtest.h>

#include <string>

#include "lumivel/text.h"
#include "win/wformat.h"

namespace {

template <class... Args>
std::u16string Format(const char16_t* format, Args... args) {
    WCHAR buffer[256];
    int n = swprintf_s(buffer, 256, format, args...);
    return n < 0 ? u"<error>" : std::u16string(buffer, static_cast<size_t>(n));
}

TEST(WideFormat, ConformsToTheMicrosoftDialect) {
    EXPECT_EQ(Format(u"%.2i/%.2i/%.2i - %.2i:%.2i", 3, 7, 2004, 14, 5), u"03/07/2004 - 14:05");
    EXPECT_EQ(Format(u"%i|%d|%u|%x|%X", -5, 42, 4000000000u, 255, 255), u"-5|42|4000000000|ff|FF");
    EXPECT_EQ(Format(u"%02d|%5d|%-5d|%05d|%+d", 7, 42, 42, -42, 3), u"07|   42|42   |-0042|+3");
    EXPECT_EQ(Format(u"%I64i|%I64d|%lld|%I64u", -9000000000LL, 9000000000LL, -1LL, 18446744073709551615ULL),
              u"-9000000000|9000000000|-1|18446744073709551615");
    // LONG is 32-bit: %ld reads 32 bits, as on Windows.
    EXPECT_EQ(Format(u"%ld %lu %lx", LONG(-1), ULONG(4294967295u), ULONG(0xBEEF)), u"-1 4294967295 beef");
    EXPECT_EQ(Format(u"%s|%ls|%ws|%S|%hs", u"wide", u"long", u"ws", "narrow \xC3\xA9", "h"),
              u"wide|long|ws|narrow \u00E9|h");
    EXPECT_EQ(Format(u"%c%C%%", u'\u00E9', 'x'), u"\u00E9x%");
    EXPECT_EQ(Format(u"[%5s][%-5s][%.2s]", u"ab", u"ab", u"abcdef"), u"[   ab][ab   ][ab]");
    EXPECT_EQ(Format(u"%s", static_cast<const WCHAR*>(nullptr)), u"(null)");
    EXPECT_EQ(Format(u"%#x %#o %.0d", 255, 8, 0), u"0xff 010 ");
    EXPECT_EQ(Format(u"%p", reinterpret_cast<void*>(0x12FF7C)), u"000000000012FF7C");
    EXPECT_EQ(Format(u"%*d|%.*d", 4, 1, 3, 2), u"   1|002");
    EXPECT_EQ(Format(u"%.3f|%g", 3.14159, 0.5), u"3.142|0.5");
    EXPECT_EQ(Format(u"%hd|%hu", 70000, 70000), u"4464|4464");
}

TEST(WideFormat, OverflowAndBadFormatsAreRefusedSafely) {
    WCHAR small[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(swprintf_s(small, 4, u"%s", u"abcd"), -1);
    EXPECT_EQ(small[0], 0);
    EXPECT_EQ(swprintf_s(small, 4, u"%n", nullptr), -1);
    EXPECT_EQ(_snwprintf_s(small, 4, _TRUNCATE, u"%s", u"abcdef"), -1);
    EXPECT_EQ(std::u16string(small), u"abc");
    EXPECT_EQ(_snwprintf_s(small, 4, 2, u"%s", u"abcdef"), -1);
    EXPECT_EQ(std::u16string(small), u"ab");
    EXPECT_EQ(_snwprintf_s(small, 4, 3, u"%d", 12), 2);
    EXPECT_EQ(_scwprintf(u"%d-%s", 123, u"ab"), 6);

    WCHAR big[2048];
    std::u16string longText(3000, u'a');
    EXPECT_EQ(wsprintfW(big, u"%s", longText.c_str()), 1023);  // wsprintfW stops at 1024 characters
    EXPECT_EQ(wsprintfW(big, u"%d%%%q", 5), 4);                   // unknown conversions stay as text
    EXPECT_EQ(std::u16string(big), u"5%%q");
}

}  // namespace
