#include <gtest/gtest.h>

#include <cstring>

#include "win/oleauto.h"

namespace {

TEST(Bstr, LengthPrefixCountsBytesAndEmbeddedNullsSurvive) {
    const OLECHAR text[] = {u'a', 0, u'b', 0, u'c'};
    BSTR s = SysAllocStringLen(text, 5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(SysStringByteLen(s), 10u);
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<BYTE*>(s) - 4, 4);
    EXPECT_EQ(prefix, 10u);
    EXPECT_EQ(std::memcmp(s, text, sizeof(text)), 0);
    EXPECT_EQ(s[5], 0) << "terminator after the counted characters";

    // A copy through a VARIANT keeps every character, including the nulls.
    VARIANT v, copy;
    VariantInit(&v);
    VariantInit(&copy);
    v.vt = VT_BSTR;
    v.bstrVal = s;
    ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
    EXPECT_NE(copy.bstrVal, s);
    EXPECT_EQ(SysStringLen(copy.bstrVal), 5u);
    EXPECT_EQ(std::memcmp(copy.bstrVal, text, sizeof(text)), 0);
    VariantClear(&copy);
    VariantClear(&v);
}

TEST(Bstr, AllocationForms) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);

    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);

    BSTR blank = SysAllocStringLen(nullptr, 3);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(SysStringLen(blank), 3u);
    EXPECT_EQ(blank[0], 0);
    SysFreeString(blank);

    // Odd byte lengths are kept exactly and still end in a whole null character.
    BSTR bytes = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(SysStringLen(bytes), 1u);
    EXPECT_EQ(std::memcmp(bytes, "abc\0\0", 5), 0);
    SysFreeString(bytes);

    EXPECT_EQ(SysAllocStringLen(u"x", 0x80000000u), nullptr) << "byte length beyond the 32-bit prefix";
}

TEST(Bstr, ReallocationFromItsOwnText) {
    BSTR s = SysAllocString(u"hello world");
    // The new text is a tail of the old block; it must be copied before the block goes.
    ASSERT_TRUE(SysReAllocString(&s, s + 6));
    EXPECT_EQ(std::u16string(s, SysStringLen(s)), u"world");
    ASSERT_TRUE(SysReAllocStringLen(&s, s, 3));
    EXPECT_EQ(std::u16string(s, SysStringLen(s)), u"wor");
    ASSERT_TRUE(SysReAllocString(&s, nullptr));
    EXPECT_EQ(s, nullptr);
    EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
}

}  // namespace
