// The locator in a domain of two sites: dc2 alone in a branch site whose subnet holds this
// client's address (testdc second-site on). dc2's SRV records carry a lower preference than
// dc1's, so only the site can make the locator choose it; with dc2 stopped it falls back to
// the domain's list. Needs testdc up --dcs 2; skipped in a domain of one DC.
#include <gtest/gtest.h>

#include <thread>

#include "../client_site.h"
#include "../dc_locator.h"
#include "lumivel/com_ptr.h"
#include "lumivel/text.h"
#include "lumivel/variant_holder.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"
#include "win/adsi.h"
#include "win/com.h"
#include "win/dsapi.h"

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

constexpr char kBranchSite[] = "Second-Site";

std::string Lower(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The server a serverless ADSI bind of the domain went to, bound on a thread of its own so
// that no connection an earlier bind left in the thread's cache answers instead.
std::string ServerOfServerlessBind(const std::string& baseDn) {
    std::string server;
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            lumivel::ComPtr<IADs> object;
            lumivel::ComPtr<IADsObjectOptions> options;
            lumivel::VariantHolder name;
            const std::u16string path = u"LDAP://" + lumivel::FromUtf8(baseDn);
            if (SUCCEEDED(ADsGetObject(path.c_str(), IID_IADs, object.putVoid())) &&
                SUCCEEDED(object.queryInterface(IID_IADsObjectOptions, &options)) &&
                SUCCEEDED(options->GetOption(ADS_OPTION_SERVERNAME, name.get())) && name.get()->vt == VT_BSTR)
                server = Lower(lumivel::ToUtf8(name.get()->bstrVal));
        }
        CoUninitialize();
    }).join();
    return server;
}

class LocatorSitesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { lumivel::testing::SecondSiteForSuite::Split(); }
    static void TearDownTestSuite() { lumivel::testing::SecondSiteForSuite::Join(); }
    void SetUp() override {
        lumivel::testing::SecondSiteForSuite::Require();
        if (IsSkipped() || HasFatalFailure()) return;
        lumivel::directory::ForgetClientSites();
        m_domain = lumivel::testing::TestDirectory().domain;
        m_dc1 = Lower(lumivel::testing::TestDirectory().server);
        m_dc2 = Lower(lumivel::testing::SecondDc());
    }
    std::string m_domain, m_dc1, m_dc2;
};

TEST_F(LocatorSitesTest, TheBranchSitesDcComesFirst) {
    // The netlogon ping over UDP: a DC puts this client into the branch site.
    LPWSTR site = nullptr;
    ASSERT_EQ(DsGetSiteNameW(nullptr, &site), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(lumivel::ToUtf8(site), kBranchSite);
    NetApiBufferFree(site);

    const auto order = lumivel::directory::LocateDomainControllers(m_domain);
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(Lower(order[0].target), m_dc2);
    EXPECT_EQ(Lower(order[1].target), m_dc1);

    PDOMAIN_CONTROLLER_INFOW info = nullptr;
    ASSERT_EQ(DsGetDcNameW(nullptr, lumivel::FromUtf8(m_domain).c_str(), nullptr, nullptr, DS_RETURN_DNS_NAME, &info),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Lower(lumivel::ToUtf8(info->DomainControllerName)), "\\\\" + m_dc2);
    EXPECT_EQ(lumivel::ToUtf8(info->DomainControllerAddress), "\\\\127.0.0.2");
    EXPECT_EQ(lumivel::ToUtf8(info->ClientSiteName), kBranchSite);
    EXPECT_EQ(lumivel::ToUtf8(info->DcSiteName), kBranchSite);
    EXPECT_EQ(Lower(lumivel::ToUtf8(info->DnsForestName)), m_domain);
    EXPECT_TRUE(info->Flags & DS_CLOSEST_FLAG);
    EXPECT_TRUE(info->Flags & DS_DS_FLAG);
    NetApiBufferFree(info);

    // Asked for the home site instead, dc1 is the one; a catalog in the branch wins likewise.
    ASSERT_EQ(DsGetDcNameW(nullptr, lumivel::FromUtf8(m_domain).c_str(), nullptr, u"Default-First-Site-Name",
                           DS_RETURN_DNS_NAME, &info),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Lower(lumivel::ToUtf8(info->DomainControllerName)), "\\\\" + m_dc1);
    EXPECT_FALSE(info->Flags & DS_CLOSEST_FLAG);
    NetApiBufferFree(info);

    // What every serverless bind of the product rests on.
    EXPECT_EQ(ServerOfServerlessBind(lumivel::testing::TestDirectory().baseDn), m_dc2);
}

TEST_F(LocatorSitesTest, WithTheSitesDcDownTheDomainsListServes) {
    ASSERT_TRUE(lumivel::testing::Harness("stop-dc dc2"));
    const std::string server = ServerOfServerlessBind(lumivel::testing::TestDirectory().baseDn);
    PDOMAIN_CONTROLLER_INFOW info = nullptr;
    const DWORD located =
        DsGetDcNameW(nullptr, lumivel::FromUtf8(m_domain).c_str(), nullptr, nullptr, DS_FORCE_REDISCOVERY, &info);
    std::string chosen = located == ERROR_SUCCESS ? Lower(lumivel::ToUtf8(info->DomainControllerName)) : std::string();
    if (info) NetApiBufferFree(info);
    const bool started = lumivel::testing::Harness("start-dc dc2");
    EXPECT_EQ(server, m_dc1);
    EXPECT_EQ(located, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(chosen, "\\\\" + m_dc1);
    ASSERT_TRUE(started);
}

}  // namespace
