// The ADsPath grammar and DN handling as conformance tables.
#include <gtest/gtest.h>

#include "../ads_path.h"
#include "../dn.h"
#include "lumivel/text.h"
#include "win/dserror.h"

using namespace lumivel::directory;

namespace {

struct PathCase {
    const char16_t* path;
    HRESULT result;
    Provider provider;
    const char16_t* server;
    uint16_t port;
    ObjectForm form;
    const char16_t* object;
};

constexpr auto L = Provider::Ldap;
constexpr auto G = Provider::GlobalCatalog;
constexpr auto DN = ObjectForm::DistinguishedName;

const PathCase kPaths[] = {
    {u"LDAP://DC=lumivel,DC=test", S_OK, L, u"", 0, DN, u"DC=lumivel,DC=test"},
    {u"LDAP://dc1.lumivel.test/DC=lumivel,DC=test", S_OK, L, u"dc1.lumivel.test", 0, DN, u"DC=lumivel,DC=test"},
    {u"LDAP://dc1:389/CN=a,DC=x", S_OK, L, u"dc1", 389, DN, u"CN=a,DC=x"},
    {u"GC://DC=lumivel,DC=test", S_OK, G, u"", 0, DN, u"DC=lumivel,DC=test"},
    {u"GC://gc.lumivel.test/CN=x,DC=y", S_OK, G, u"gc.lumivel.test", 0, DN, u"CN=x,DC=y"},
    {u"LDAP://rootDSE", S_OK, L, u"", 0, ObjectForm::RootDse, u""},
    {u"LDAP://RootDSE", S_OK, L, u"", 0, ObjectForm::RootDse, u""},
    {u"LDAP://lumivel.test/rootdse", S_OK, L, u"lumivel.test", 0, ObjectForm::RootDse, u""},
    {u"LDAP://<GUID=0123456789abcdef0123456789ABCDEF>", S_OK, L, u"", 0, ObjectForm::Guid,
     u"<GUID=0123456789abcdef0123456789ABCDEF>"},
    {u"LDAP://lumivel.test/<GUID=0123456789abcdef0123456789abcdef>", S_OK, L, u"lumivel.test", 0, ObjectForm::Guid,
     u"<GUID=0123456789abcdef0123456789abcdef>"},
    {u"LDAP://<GUID={01234567-89ab-cdef-0123-456789abcdef}>", S_OK, L, u"", 0, ObjectForm::Guid,
     u"<GUID={01234567-89ab-cdef-0123-456789abcdef}>"},
    {u"LDAP://<WKGUID=18e2ea80684f11d2b9aa00c04f79f805,DC=lumivel,DC=test>", S_OK, L, u"", 0,
     ObjectForm::WellKnownGuid, u"<WKGUID=18e2ea80684f11d2b9aa00c04f79f805,DC=lumivel,DC=test>"},
    {u"LDAP://organizationalUnit,schema", S_OK, L, u"", 0, ObjectForm::SchemaClass, u"organizationalUnit"},
    {u"LDAP://schema/user", S_OK, L, u"", 0, ObjectForm::SchemaClass, u"user"},
    {u"LDAP://dc1.lumivel.test", S_OK, L, u"dc1.lumivel.test", 0, ObjectForm::DefaultNamingContext, u""},
    {u"LDAP://lumivel.test/", S_OK, L, u"lumivel.test", 0, ObjectForm::DefaultNamingContext, u""},
    // A slash inside a name: escaped in ADsPaths, and a head with "=" is never a server.
    {u"LDAP://CN=a\\/b,DC=x", S_OK, L, u"", 0, DN, u"CN=a\\/b,DC=x"},
    {u"LDAP://CN=a/b,DC=x", S_OK, L, u"", 0, DN, u"CN=a/b,DC=x"},
    {u"LDAP://srv/CN=a/b,DC=x", S_OK, L, u"srv", 0, DN, u"CN=a/b,DC=x"},
    // Escaped and hostile names stay as written.
    {u"LDAP://CN=Smith\\, John,OU=x,DC=y", S_OK, L, u"", 0, DN, u"CN=Smith\\, John,OU=x,DC=y"},
    {u"LDAP://CN=name\\0ADEL:0123,CN=Deleted Objects,DC=y", S_OK, L, u"", 0, DN,
     u"CN=name\\0ADEL:0123,CN=Deleted Objects,DC=y"},
    {u"LDAP://CN=Say \"Hi\",DC=y", S_OK, L, u"", 0, DN, u"CN=Say \"Hi\",DC=y"},
    {u"LDAP://CN=Анна,DC=y", S_OK, L, u"", 0, DN, u"CN=Анна,DC=y"},
    // Failures.
    {u"ldap://DC=x", MK_E_SYNTAX, L, u"", 0, DN, u""},
    {u"WinNT://x", MK_E_SYNTAX, L, u"", 0, DN, u""},
    {u"", MK_E_SYNTAX, L, u"", 0, DN, u""},
    {u"LDAP:", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://CN=a,,DC=x", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://CN=a,DC", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://CN=a\\", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://CN=\"open,DC=x", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://=value,DC=x", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://bad host/DC=x", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://host:0/DC=x", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://host:70000/DC=x", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://host\"quote/DC=x", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://<GUID=1234>", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://<GUID=0123456789abcdef0123456789abcdeg>", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://<WKGUID=18e2ea80684f11d2b9aa00c04f79f805>", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
    {u"LDAP://<SID=S-1-5-32>", E_ADS_BAD_PATHNAME, L, u"", 0, DN, u""},
};

TEST(AdsPath, ConformanceTable) {
    for (const auto& c : kPaths) {
        SCOPED_TRACE(lumivel::ToUtf8(c.path));
        AdsPath parsed;
        ASSERT_EQ(ParseAdsPath(c.path, &parsed), c.result);
        if (c.result != S_OK) continue;
        EXPECT_EQ(parsed.provider, c.provider);
        EXPECT_EQ(parsed.server, c.server);
        EXPECT_EQ(parsed.port, c.port);
        EXPECT_EQ(parsed.form, c.form);
        EXPECT_EQ(parsed.object, c.object);
    }
}

TEST(AdsPath, FormattingRoundTrips) {
    EXPECT_EQ(FormatAdsPath(Provider::Ldap, u"", 0, u"CN=a\\/b,DC=x"), u"LDAP://CN=a\\/b,DC=x");
    EXPECT_EQ(FormatAdsPath(Provider::GlobalCatalog, u"gc", 3268, u"DC=x"), u"GC://gc:3268/DC=x");
    AdsPath parsed;
    ASSERT_EQ(ParseAdsPath(FormatAdsPath(Provider::Ldap, u"dc1", 0, LdapToAdsDn(u"CN=a/b,DC=x")), &parsed), S_OK);
    EXPECT_EQ(AdsToLdapDn(parsed.object), u"CN=a/b,DC=x");
    EXPECT_EQ(EffectivePort(parsed), 389);
}

TEST(Dn, SplitKeepsEscapesAndRejectsMalformedNames) {
    auto rdns = SplitDn(u"CN=Smith\\, John , OU=a\\+b,DC=x");
    ASSERT_TRUE(rdns);
    ASSERT_EQ(rdns->size(), 3u);
    EXPECT_EQ((*rdns)[0], u"CN=Smith\\, John");
    EXPECT_EQ((*rdns)[1], u"OU=a\\+b");
    EXPECT_EQ(RdnType((*rdns)[0]), u"CN");
    EXPECT_EQ(RdnValue((*rdns)[0]), u"Smith\\, John");
    EXPECT_EQ(SplitDn(u"CN=Trailing\\ ,DC=x")->front(), u"CN=Trailing\\ ");
    EXPECT_EQ(SplitDn(u"CN=\"quoted, value\",DC=x")->size(), 2u);
    EXPECT_EQ(SplitDn(u"1.2.3=x,DC=y")->size(), 2u);
    EXPECT_TRUE(SplitDn(u"")->empty());
    EXPECT_FALSE(SplitDn(u"CN=a,"));
    EXPECT_FALSE(SplitDn(u"CN"));
    EXPECT_FALSE(SplitDn(u"C N=a"));
    EXPECT_EQ(ParentDn(u"CN=a\\,b,OU=c,DC=d"), u"OU=c,DC=d");
    EXPECT_EQ(ParentDn(u"DC=d"), u"");
    EXPECT_EQ(DnToDnsName(u"DC=lumivel,DC=test"), u"lumivel.test");
    EXPECT_EQ(DnsNameToDn(u"lumivel.test."), u"DC=lumivel,DC=test");
    EXPECT_EQ(LdapToAdsDn(u"CN=a/b\\,c"), u"CN=a\\/b\\,c");
    EXPECT_EQ(AdsToLdapDn(u"CN=a\\/b\\,c"), u"CN=a/b\\,c");
}

}  // namespace
