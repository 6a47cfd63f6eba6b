// The COM classes of the directory layer, created through CoCreateInstance as the product
// creates them: the Pathname class splitting DNs as the reanimation does (escaped names kept
// intact) and the LargeInteger class.
#include <gtest/gtest.h>

#include <string>

#include "lumivel/unique_bstr.h"
#include "tests/support/private_hives.h"
#include "win/adsi.h"
#include "win/com.h"

namespace {

using lumivel::BstrText;
using lumivel::UniqueBstr;

// The built-in classes never reach the registry; the hives still point at a scratch folder so
// that a fault could not touch the user's own.
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(
    new lumivel::testing::PrivateHives(lumivel::testing::PrivateHives::Com::Initialize));

IADsPathname* NewPathname() {
    IADsPathname* p = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Pathname, nullptr, CLSCTX_INPROC_SERVER, IID_IADsPathname,
                               reinterpret_cast<void**>(&p)),
              S_OK);
    return p;
}

TEST(Pathname, SplitsLeafAndParentWithEscapesIntact) {
    struct Case {
        const char16_t* dn;
        const char16_t* leaf;
        const char16_t* parent;
        LONG count;
    };
    const Case cases[] = {
        {u"OU=Archive,OU=Apollo\\, Phase 2,OU=Projects,DC=lumivel,DC=test", u"OU=Archive",
         u"OU=Apollo\\, Phase 2,OU=Projects,DC=lumivel,DC=test", 5},
        {u"CN=Smith\\, John,DC=x", u"CN=Smith\\, John", u"DC=x", 2},
        {u"CN=name\\0ADEL:1234,CN=Deleted Objects,DC=x", u"CN=name\\0ADEL:1234", u"CN=Deleted Objects,DC=x", 3},
        {u"CN=\\#Hash\\ ,DC=x", u"CN=\\#Hash\\ ", u"DC=x", 2},
        {u"CN=Анна,DC=x", u"CN=Анна", u"DC=x", 2},
        {u"DC=x", u"DC=x", u"", 1},
    };
    for (const auto& c : cases) {
        IADsPathname* p = NewPathname();
        ASSERT_EQ(p->Set(UniqueBstr(c.dn).get(), ADS_SETTYPE_DN), S_OK);
        LONG count = 0;
        ASSERT_EQ(p->GetNumElements(&count), S_OK);
        EXPECT_EQ(count, c.count);
        UniqueBstr leaf, parent;
        ASSERT_EQ(p->GetElement(0, leaf.put()), S_OK);
        EXPECT_EQ(BstrText(leaf.get()), c.leaf);
        ASSERT_EQ(p->RemoveLeafElement(), S_OK);
        ASSERT_EQ(p->Retrieve(ADS_FORMAT_X500_DN, parent.put()), S_OK);
        EXPECT_EQ(BstrText(parent.get()), c.parent);
        p->Release();
    }
}

TEST(Pathname, FullPathsAndOtherFormats) {
    IADsPathname* p = NewPathname();
    ASSERT_EQ(p->Set(UniqueBstr(u"LDAP://dc1.lumivel.test/CN=a\\/b,OU=x,DC=y").get(), ADS_SETTYPE_FULL), S_OK);
    UniqueBstr out;
    ASSERT_EQ(p->Retrieve(ADS_FORMAT_SERVER, out.put()), S_OK);
    EXPECT_EQ(BstrText(out.get()), u"dc1.lumivel.test");
    ASSERT_EQ(p->Retrieve(ADS_FORMAT_X500, out.put()), S_OK);
    EXPECT_EQ(BstrText(out.get()), u"LDAP://dc1.lumivel.test/CN=a\\/b,OU=x,DC=y");
    ASSERT_EQ(p->Retrieve(ADS_FORMAT_X500_PARENT, out.put()), S_OK);
    EXPECT_EQ(BstrText(out.get()), u"LDAP://dc1.lumivel.test/OU=x,DC=y");
    ASSERT_EQ(p->Retrieve(ADS_FORMAT_WINDOWS_DN, out.put()), S_OK);
    EXPECT_EQ(BstrText(out.get()), u"DC=y/OU=x/CN=a\\/b");
    ASSERT_EQ(p->AddLeafElement(UniqueBstr(u"CN=new\\, leaf").get()), S_OK);
    ASSERT_EQ(p->Retrieve(ADS_FORMAT_LEAF, out.put()), S_OK);
    EXPECT_EQ(BstrText(out.get()), u"CN=new\\, leaf");
    ASSERT_EQ(p->SetDisplayType(ADS_DISPLAY_VALUE_ONLY), S_OK);
    ASSERT_EQ(p->put_EscapedMode(ADS_ESCAPEDMODE_OFF_EX), S_OK);
    ASSERT_EQ(p->GetElement(0, out.put()), S_OK);
    EXPECT_EQ(BstrText(out.get()), u"new, leaf");
    ASSERT_EQ(p->GetEscapedElement(0, UniqueBstr(u"CN=Smith, John/Jr").get(), out.put()), S_OK);
    EXPECT_EQ(BstrText(out.get()), u"CN=Smith\\, John\\/Jr");
    EXPECT_EQ(p->AddLeafElement(UniqueBstr(u"CN=a,CN=b").get()), E_ADS_BAD_PATHNAME);
    EXPECT_EQ(p->Set(UniqueBstr(u"CN=a,,DC=x").get(), ADS_SETTYPE_DN), E_ADS_BAD_PATHNAME);
    EXPECT_EQ(p->GetElement(99, out.put()), E_ADS_BAD_PARAMETER);
    p->Release();

    IADsPathname* empty = NewPathname();
    ASSERT_EQ(empty->Set(UniqueBstr(u"DC=x").get(), ADS_SETTYPE_DN), S_OK);
    ASSERT_EQ(empty->RemoveLeafElement(), S_OK);
    EXPECT_EQ(empty->RemoveLeafElement(), E_ADS_BAD_PARAMETER);
    IUnknown* aggregated = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Pathname, empty, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&aggregated)),
              CLASS_E_NOAGGREGATION);
    empty->Release();
}

TEST(LargeInteger, HalvesMakeTheSigned64BitValue) {
    IADsLargeInteger* large = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_LargeInteger, nullptr, CLSCTX_INPROC_SERVER, IID_IADsLargeInteger,
                               reinterpret_cast<void**>(&large)),
              S_OK);
    LONG high = -1, low = -1;
    ASSERT_EQ(large->get_HighPart(&high), S_OK);
    ASSERT_EQ(large->get_LowPart(&low), S_OK);
    EXPECT_EQ(high, 0);
    EXPECT_EQ(low, 0);
    // -2: all ones above, ...FE below; each half is set without disturbing the other.
    ASSERT_EQ(large->put_LowPart(-2), S_OK);
    ASSERT_EQ(large->put_HighPart(-1), S_OK);
    large->get_HighPart(&high);
    large->get_LowPart(&low);
    EXPECT_EQ(high, -1);
    EXPECT_EQ(low, -2);
    ASSERT_EQ(large->put_HighPart(0x7FFFFFFF), S_OK);
    large->get_LowPart(&low);
    EXPECT_EQ(low, -2);
    IDispatch* dispatch = nullptr;
    EXPECT_EQ(large->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    if (dispatch) dispatch->Release();
    EXPECT_EQ(large->get_HighPart(nullptr), E_POINTER);
    large->Release();
}

}  // namespace
