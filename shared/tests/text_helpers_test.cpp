// The shared text helpers sit beside the platform's comparisons in one translation unit, and
// an empty or null-backed view never compares equal to text.
#include "shared/text_helpers.h"

#include <gtest/gtest.h>

#include "lumivel/wide_string.h"

namespace {

using lumivel::shared::FindTextNoCase;
using lumivel::shared::StartsWithNoCase;
using lumivel::shared::ViewOf;

TEST(TextHelpersTest, EmptyAndNullViewsOrderBeforeText) {
    const std::u16string_view none = ViewOf(nullptr);
    EXPECT_LT(lumivel::CompareNoCase(none, u"Users"), 0);
    EXPECT_GT(lumivel::CompareNoCase(u"Users", none), 0);
    EXPECT_FALSE(lumivel::EqualsNoCase(none, u"x"));
    EXPECT_EQ(lumivel::CompareNoCase(none, u""), 0);
    // Text past an embedded null still counts: "a\0b" is not "a\0c".
    EXPECT_NE(lumivel::CompareNoCase(std::u16string_view(u"a\0b", 3), std::u16string_view(u"A\0C", 3)), 0);
}

TEST(TextHelpersTest, PrefixAndSearchIgnoreCaseBeyondAscii) {
    EXPECT_TRUE(StartsWithNoCase(u"ÉCOLE des Lumières", u"école"));
    EXPECT_FALSE(StartsWithNoCase(u"éc", u"école"));
    EXPECT_FALSE(StartsWithNoCase(ViewOf(nullptr), u"a"));
    EXPECT_EQ(FindTextNoCase(u"CN=Пётр,OU=Deleted", u"пЁТР"), 3u);
    EXPECT_EQ(FindTextNoCase(ViewOf(nullptr), u"a"), std::u16string_view::npos);
    EXPECT_EQ(FindTextNoCase(u"abc", ViewOf(nullptr)), 0u);
}

}  // namespace
