// The COM classes of the directory layer, created through CoCreateInstance as the product
// creates them: the Pathname class splitting DNs as the reanimation does (escaped names kept
// intact) and the LargeInteger class.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "win/adsi.h"
#include "win/com.h"

namespace {

// The built-in classes never reach the registry; the hives still point at a scratch folder so
// that a fault could not touch the user's own.
class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        char folder[] = "/tmp/lumivel-directory-classes-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        setenv("LUMIVEL_MACHINE_HIVE", (m_folder + "/machine.db").c_str(), 1);
        setenv("LUMIVEL_USER_HIVE", (m_folder + "/user.db").c_str(), 1);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override {
        CoUninitialize();
        std::system(("rm -rf '" + m_folder + "'").c_str());
    }

private:
    std::string m_folder;
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

struct Bstr {
    BSTR b = nullptr;
    explicit Bstr(const char16_t* text = nullptr) : b(text ? SysAllocString(text) : nullptr) {}
    ~Bstr() { SysFreeString(b); }
    BSTR* put() { SysFreeString(b); b = nullptr; return &b; }
    std::u16string text() const { return b ? std::u16string(b, SysStringLen(b)) : u""; }
};

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
        ASSERT_EQ(p->Set(Bstr(c.dn).b, ADS_SETTYPE_DN), S_OK);
        LONG count = 0;
        ASSERT_EQ(p->GetNumElements(&count), S_OK);
        EXPECT_EQ(count, c.count);
        Bstr leaf, parent;
        ASSERT_EQ(p->GetElement(0, leaf.put()), S_OK);
        EXPECT_EQ(leaf.text(), c.leaf);
        ASSERT_EQ(p->RemoveLeafElement(), S_OK);
        ASSERT_EQ(p->Retrieve(ADS_FORMAT_X500_DN, parent.put()), S_OK);
        EXPECT_EQ(parent.text(), c.parent);
        p->Release();
    }
}

TEST(Pathname, FullPathsAndOtherFormats) {
    IADsPathname* p = NewPathname();
    ASSERT_EQ(p->Set(Bstr(u"LDAP://dc1.lumivel.test/CN=a\\/b,OU=x,DC=y").b, ADS_SETTYPE_FULL), S_OK);
    Bstr out;
    ASSERT_EQ(p->Retrieve(ADS_FORMAT_SERVER, out.put()), S_OK);
    EXPECT_EQ(out.text(), u"dc1.lumivel.test");
    ASSERT_EQ(p->Retrieve(ADS_FORMAT_X500, out.put()), S_OK);
    EXPECT_EQ(out.text(), u"LDAP://dc1.lumivel.test/CN=a\\/b,OU=x,DC=y");
    ASSERT_EQ(p->Retrieve(ADS_FORMAT_X500_PARENT, out.put()), S_OK);
    EXPECT_EQ(out.text(), u"LDAP://dc1.lumivel.test/OU=x,DC=y");
    ASSERT_EQ(p->Retrieve(ADS_FORMAT_WINDOWS_DN, out.put()), S_OK);
    EXPECT_EQ(out.text(), u"DC=y/OU=x/CN=a\\/b");
    ASSERT_EQ(p->AddLeafElement(Bstr(u"CN=new\\, leaf").b), S_OK);
    ASSERT_EQ(p->Retrieve(ADS_FORMAT_LEAF, out.put()), S_OK);
    EXPECT_EQ(out.text(), u"CN=new\\, leaf");
    ASSERT_EQ(p->SetDisplayType(ADS_DISPLAY_VALUE_ONLY), S_OK);
    ASSERT_EQ(p->put_EscapedMode(ADS_ESCAPEDMODE_OFF_EX), S_OK);
    ASSERT_EQ(p->GetElement(0, out.put()), S_OK);
    EXPECT_EQ(out.text(), u"new, leaf");
    ASSERT_EQ(p->GetEscapedElement(0, Bstr(u"CN=Smith, John/Jr").b, out.put()), S_OK);
    EXPECT_EQ(out.text(), u"CN=Smith\\, John\\/Jr");
    EXPECT_EQ(p->AddLeafElement(Bstr(u"CN=a,CN=b").b), E_ADS_BAD_PATHNAME);
    EXPECT_EQ(p->Set(Bstr(u"CN=a,,DC=x").b, ADS_SETTYPE_DN), E_ADS_BAD_PATHNAME);
    EXPECT_EQ(p->GetElement(99, out.put()), E_ADS_BAD_PARAMETER);
    p->Release();

    IADsPathname* empty = NewPathname();
    ASSERT_EQ(empty->Set(Bstr(u"DC=x").b, ADS_SETTYPE_DN), S_OK);
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
