// Filter and DN value escaping: hostile values survive a round trip and come out in the
// forms the directory expects.
#include <gtest/gtest.h>

#include "lumivel/ldap_escape.h"
#include "lumivel/text.h"

using namespace lumivel::ldap;

namespace {

const std::u16string kHostile[] = {
    u"plain",
    u"Smith, John",
    u"Pat (Ops) *lead*",
    u"Back\\slash",
    u"C++ Developers",
    u"Say \"Hi\" Again",
    u"#Hash Lead",
    u" leading and trailing ",
    u"Semi; Colon <Angle> = Equals",
    u"line\nfeed\nDEL:0123",
    std::u16string(u"nul\0inside", 10),
    u"Zoë Ångström",
    u"Анна Иванова",
    u"王小明",
    u"\U00020BB7野 Taro",
    u"a/b",
    u"",
};

TEST(Escape, HostileValuesRoundTrip) {
    for (const auto& value : kHostile) {
        SCOPED_TRACE(lumivel::ToUtf8(value));
        const std::u16string filter = EscapeFilterValue(value);
        EXPECT_EQ(filter.find_first_of(u"()*"), std::u16string::npos);
        EXPECT_EQ(filter.find(u'\0'), std::u16string::npos);
        EXPECT_EQ(UnescapeFilterValue(filter), value);
        const std::u16string dn = EscapeDnValue(value);
        EXPECT_EQ(UnescapeDnValue(dn), value);
    }
}

TEST(Escape, Forms) {
    EXPECT_EQ(EscapeFilterValue(u"a(b)*c\\"), u"a\\28b\\29\\2ac\\5c");
    EXPECT_EQ(EscapeDnValue(u"Smith, John"), u"Smith\\, John");
    EXPECT_EQ(EscapeDnValue(u"#x y "), u"\\#x y\\ ");
    EXPECT_EQ(EscapeDnValue(u" x"), u"\\ x");
    EXPECT_EQ(EscapeDnValue(u"a#b"), u"a#b");
    EXPECT_EQ(EscapeDnValue(u"name\nDEL:1"), u"name\\0ADEL:1");
    EXPECT_EQ(EscapeDnValue(u"a+b=c;d<e>f\"g"), u"a\\+b\\=c\\;d\\<e\\>f\\\"g");
    // Hex pairs that spell UTF-8 decode to the character; the directory writes both forms.
    EXPECT_EQ(UnescapeDnValue(u"Z\\C3\\B6e"), u"Zöe");
    EXPECT_EQ(UnescapeDnValue(u"Semi\\3B \\3D"), u"Semi; =");
    EXPECT_EQ(UnescapeFilterValue(u"\\e7\\8e\\8b"), u"王");
    // Slashes are escaped only inside ADsPaths; an escaped backslash before one stays whole.
    EXPECT_EQ(AdsPathDn(u"OU=Sales/Marketing,DC=x"), u"OU=Sales\\/Marketing,DC=x");
    EXPECT_EQ(AdsPathDn(u"CN=a\\\\/b,DC=x"), u"CN=a\\\\\\/b,DC=x");
    for (const char16_t* dn : {u"OU=Sales/Marketing,DC=x", u"CN=a\\\\/b,DC=x", u"CN=\\#1 /\\, x,DC=y"})
        EXPECT_EQ(LdapDnOfAdsPath(AdsPathDn(dn)), dn);
}

TEST(Escape, MalformedEscapesAreRejected) {
    EXPECT_FALSE(UnescapeDnValue(u"dangling\\"));
    EXPECT_FALSE(UnescapeDnValue(u"\\C3"));       // half a UTF-8 sequence
    EXPECT_FALSE(UnescapeDnValue(u"\\FF\\FE"));   // not UTF-8 at all
    EXPECT_FALSE(UnescapeFilterValue(u"\\2"));
    EXPECT_FALSE(UnescapeFilterValue(u"\\zz"));
    EXPECT_FALSE(UnescapeFilterValue(u"\\("));    // filters know only hex escapes
}

}  // namespace
