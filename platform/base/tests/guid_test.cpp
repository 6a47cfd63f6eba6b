#include <gtest/gtest.h>

#include <set>
#include <string>

#include "win/com.h"
#include "win/guid.h"

namespace {

const GUID kProvider = {0x499BFD0C, 0xBB2D, 0x4ACC, {0x9F, 0xD2, 0xC5, 0x2C, 0x1D, 0x8C, 0x22, 0x36}};

TEST(Guid, TextFormRoundTripsInUpperCase) {
    WCHAR text[40];
    EXPECT_EQ(StringFromGUID2(kProvider, text, 40), 39);
    EXPECT_EQ(std::u16string(text), u"{499BFD0C-BB2D-4ACC-9FD2-C52C1D8C2236}");
    EXPECT_EQ(StringFromGUID2(kProvider, text, 38), 0);  // no room for the terminator
    LPOLESTR allocated = nullptr;
    ASSERT_EQ(StringFromCLSID(kProvider, &allocated), S_OK);
    EXPECT_EQ(std::u16string(allocated), u"{499BFD0C-BB2D-4ACC-9FD2-C52C1D8C2236}");
    CoTaskMemFree(allocated);
    CLSID parsed{};
    EXPECT_EQ(CLSIDFromString(u"{499bfd0c-bb2d-4acc-9fd2-c52c1d8c2236}", &parsed), S_OK);
    EXPECT_TRUE(IsEqualGUID(parsed, kProvider));
    EXPECT_EQ(IIDFromString(u"{499BFD0C-bb2d-4ACC-9fd2-C52C1D8C2236}", &parsed), S_OK);
    EXPECT_TRUE(IsEqualGUID(parsed, kProvider));
    EXPECT_EQ(CLSIDFromString(nullptr, &parsed), S_OK);
    EXPECT_TRUE(IsEqualGUID(parsed, GUID{}));
}

TEST(Guid, MalformedTextIsRejected) {
    const char16_t* rejected[] = {
        u"499BFD0C-BB2D-4ACC-9FD2-C52C1D8C2236",     // no braces
        u"{499BFD0C-BB2D-4ACC-9FD2-C52C1D8C2236",    // no closing brace
        u"{499BFD0C-BB2D-4ACC-9FD2-C52C1D8C22360}",  // one digit too many
        u"{499BFD0C-BB2D-4ACC-9FD2-C52C1D8C223}",    // one digit short
        u"{499BFD0CXBB2D-4ACC-9FD2-C52C1D8C2236}",   // wrong separator
        u"{499BFD0G-BB2D-4ACC-9FD2-C52C1D8C2236}",   // not a hex digit
        u"{ 99BFD0C-BB2D-4ACC-9FD2-C52C1D8C2236}",
        u"",
    };
    for (const char16_t* text : rejected) {
        CLSID clsid = kProvider;
        EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING);
        EXPECT_TRUE(IsEqualGUID(clsid, GUID{}));
        IID iid;
        EXPECT_EQ(IIDFromString(text, &iid), E_INVALIDARG);
    }
}

TEST(Guid, CreatedGuidsAreRandomVersionFour) {
    std::set<std::u16string> seen;
    for (int i = 0; i < 200; ++i) {
        GUID g;
        ASSERT_EQ(CoCreateGuid(&g), S_OK);
        EXPECT_EQ(g.Data3 >> 12, 4);
        EXPECT_EQ(g.Data4[0] & 0xC0, 0x80);
        WCHAR text[40];
        StringFromGUID2(g, text, 40);
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 200u);
}

}  // namespace
