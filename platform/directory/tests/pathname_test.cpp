// The Pathname class: splitting DNs as the reanimation does, escaped names kept intact.
#include <gtest/gtest.h>

#include "lumivel/directory_classes.h"
#include "win/adsi.h"

namespace {

struct Bstr {
    BSTR b = nullptr;
    explicit Bstr(const char16_t* text = nullptr) : b(text ? SysAllocString(text) : nullptr) {}
    ~Bstr() { SysFreeString(b); }
    BSTR* put() { SysFreeString(b); b = nullptr; return &b; }
    std::u16string text() const { return b ? std::u16string(b, SysStringLen(b)) : u""; }
};

IADsPathname* NewPathname() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(LumivelDirectoryGetClassObject(CLSID_Pathname, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    IADsPathname* p = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IADsPathname, reinterpret_cast<void**>(&p)), S_OK);
    factory->Release();
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
    empty->Release();
    void* none = nullptr;
    EXPECT_EQ(LumivelDirectoryGetClassObject(IID_IADs, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
}

}  // namespace
