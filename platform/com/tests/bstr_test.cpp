#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "lumivel/interned_bstr.h"
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

// A kept copy reads as any BSTR, is the same one for the same text, and outlives every free;
// what cannot be kept is allocated as before.
TEST(Bstr, KeptCopiesAreSharedAndSurviveFrees) {
    BSTR kept = lumivel::InternedBstr(u"distinguishedName");
    ASSERT_NE(kept, nullptr);
    EXPECT_TRUE(lumivel::IsInternedBstr(kept));
    EXPECT_EQ(lumivel::InternedBstr(u"distinguishedName"), kept);
    EXPECT_EQ(SysStringLen(kept), 17u);
    EXPECT_EQ(std::u16string(kept), u"distinguishedName");
    EXPECT_EQ(kept[17], 0);
    SysFreeString(kept);
    SysFreeString(kept);
    EXPECT_EQ(std::u16string(kept, SysStringLen(kept)), u"distinguishedName");

    // Embedded nulls and the empty text are texts of their own.
    const char16_t withNull[] = {u'a', 0, u'b'};
    BSTR nulls = lumivel::InternedBstr(std::u16string_view(withNull, 3));
    ASSERT_NE(nulls, nullptr);
    EXPECT_NE(nulls, lumivel::InternedBstr(u"a"));
    EXPECT_EQ(SysStringLen(nulls), 3u);
    BSTR empty = lumivel::InternedBstr(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);

    // A copy through a VARIANT is the caller's own.
    VARIANT v, copy;
    VariantInit(&copy);
    v.vt = VT_BSTR;
    v.bstrVal = kept;
    ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
    EXPECT_FALSE(lumivel::IsInternedBstr(copy.bstrVal));
    VariantClear(&copy);
    VariantClear(&v);

    BSTR fresh = SysAllocString(u"distinguishedName");
    EXPECT_FALSE(lumivel::IsInternedBstr(fresh));
    SysFreeString(fresh);

    // Too long to keep: the caller allocates.
    const std::u16string longText(65, u'x');
    EXPECT_EQ(lumivel::InternedBstr(longText), nullptr);
    BSTR shared = lumivel::SharedOrNewBstr(longText);
    ASSERT_NE(shared, nullptr);
    EXPECT_FALSE(lumivel::IsInternedBstr(shared));
    SysFreeString(shared);
}

// The room is bounded: texts no one can predict (a hostile directory's class names) fill it,
// and then every text is allocated per caller, the ones kept before staying kept.
TEST(Bstr, KeptCopiesStopAtTheirRoom) {
    BSTR before = lumivel::InternedBstr(u"class");
    ASSERT_NE(before, nullptr);
    size_t kept = 0;
    bool full = false;
    for (int i = 0; i < 100000 && !full; ++i) {
        std::string digits = std::to_string(i);
        std::u16string name = u"hostile-class-name-number-" + std::u16string(digits.begin(), digits.end());
        if (lumivel::InternedBstr(name))
            ++kept;
        else
            full = true;
    }
    EXPECT_TRUE(full) << "the room never ran out";
    EXPECT_GT(kept, 1000u);
    EXPECT_EQ(lumivel::InternedBstr(u"class"), before);
    BSTR fallback = lumivel::SharedOrNewBstr(u"a text never asked for before, after the room ran out");
    ASSERT_NE(fallback, nullptr);
    EXPECT_FALSE(lumivel::IsInternedBstr(fallback));
    SysFreeString(fallback);
}

// A shared BSTR is one block with several owners: each frees it, the text lives until the last
// has (ASan's leak and use-after-free checks see the rest), and reallocating through one owner
// leaves the others' text alone.
TEST(Bstr, SharedTextsLiveUntilTheirLastOwnerFreesThem) {
    EXPECT_EQ(lumivel::ShareBstr(nullptr), nullptr);
    BSTR kept = lumivel::InternedBstr(u"class");
    EXPECT_EQ(lumivel::ShareBstr(kept), kept);

    const char16_t withNull[] = {u'C', u'N', 0, u'x'};
    BSTR first = SysAllocStringLen(withNull, 4);
    ASSERT_NE(first, nullptr);
    BSTR second = lumivel::ShareBstr(first);
    BSTR third = lumivel::ShareBstr(second);
    EXPECT_EQ(second, first);
    EXPECT_EQ(third, first);
    SysFreeString(first);
    SysFreeString(second);
    EXPECT_EQ(std::u16string_view(third, SysStringLen(third)), std::u16string_view(withNull, 4));
    EXPECT_EQ(third[4], 0);

    BSTR other = lumivel::ShareBstr(third);
    ASSERT_TRUE(SysReAllocString(&other, u"changed"));
    EXPECT_EQ(std::u16string(other), u"changed");
    EXPECT_EQ(std::u16string_view(third, SysStringLen(third)), std::u16string_view(withNull, 4));
    SysFreeString(other);
    SysFreeString(third);

    // A byte string of odd length shares as well.
    BSTR bytes = SysAllocStringByteLen("abc", 3);
    BSTR alsoBytes = lumivel::ShareBstr(bytes);
    SysFreeString(bytes);
    EXPECT_EQ(SysStringByteLen(alsoBytes), 3u);
    EXPECT_EQ(std::memcmp(alsoBytes, "abc", 3), 0);
    SysFreeString(alsoBytes);
}

// Owners on several threads take and drop their shares at once; the count must not lose one
// (a lost decrement leaks, a lost increment frees the text under its last owner).
TEST(Bstr, SharesTakenAndDroppedOnManyThreadsAtOnce) {
    BSTR text = SysAllocString(u"CN=Ann\\0ADEL:1,CN=Deleted Objects,DC=lumivel,DC=test");
    ASSERT_NE(text, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([text] {
            for (int i = 0; i < 20000; ++i) {
                BSTR mine = lumivel::ShareBstr(text);
                if (mine[0] != u'C') std::abort();
                SysFreeString(mine);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(std::u16string(text), u"CN=Ann\\0ADEL:1,CN=Deleted Objects,DC=lumivel,DC=test");
    SysFreeString(text);
}

}  // namespace
