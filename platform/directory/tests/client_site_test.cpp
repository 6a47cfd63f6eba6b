// The client's site: asked of the domain's DCs, kept for a while, overridden by configuration.
#include <gtest/gtest.h>

#include "../client_site.h"

using namespace lumivel::directory;

namespace {

struct FakeNetwork {
    std::vector<PingAnswer> answers;
    int pings = 0;
    std::string configured;
    std::chrono::steady_clock::time_point clock{};

    ClientSiteSources Sources() {
        ClientSiteSources s;
        s.configuredSite = [this] { return configured; };
        s.ping = [this](const std::string&, const std::vector<std::string>&) {
            ++pings;
            return answers;
        };
        s.now = [this] { return clock; };
        return s;
    }
};

PingAnswer Answer(const std::string& host, const std::string& dcSite, const std::string& clientSite) {
    PingAnswer a;
    a.host = host;
    a.reply.dcSiteName = dcSite;
    a.reply.clientSiteName = clientSite;
    return a;
}

class ClientSiteTest : public ::testing::Test {
protected:
    void SetUp() override { ForgetClientSites(); }
    void TearDown() override { ForgetClientSites(); }
};

TEST_F(ClientSiteTest, TheFirstAnswerNamesTheSiteAndIsKeptAWhile) {
    FakeNetwork net;
    net.answers = {Answer("dc1.corp.test", "Main", "Branch")};
    ClientSite site = ClientSiteOf("corp.test", {"dc1.corp.test"}, net.Sources());
    EXPECT_EQ(site.site, "Branch");
    EXPECT_EQ(site.dcSite, "Main");
    EXPECT_EQ(site.answeredBy, "dc1.corp.test");
    EXPECT_TRUE(site.asked);

    // Kept per domain, whatever the case of its name, for a quarter of an hour.
    EXPECT_FALSE(site.kept);
    net.clock += std::chrono::minutes(14);
    ClientSite again = ClientSiteOf("CORP.test", {"dc1.corp.test"}, net.Sources());
    EXPECT_EQ(again.site, "Branch");
    EXPECT_EQ(again.answeredBy, "dc1.corp.test");
    EXPECT_TRUE(again.kept);
    EXPECT_EQ(net.pings, 1);
    net.answers = {Answer("dc1.corp.test", "Main", "Moved")};
    net.clock += std::chrono::minutes(2);
    EXPECT_EQ(ClientSiteOf("corp.test", {"dc1.corp.test"}, net.Sources()).site, "Moved");
    EXPECT_EQ(net.pings, 2);

    // Another domain is asked on its own.
    EXPECT_EQ(ClientSiteOf("other.test", {"dc1.other.test"}, net.Sources()).site, "Moved");
    EXPECT_EQ(net.pings, 3);
}

TEST_F(ClientSiteTest, SilenceIsNotKept) {
    FakeNetwork net;
    ClientSite site = ClientSiteOf("corp.test", {"dc1.corp.test"}, net.Sources());
    EXPECT_FALSE(site.asked);
    EXPECT_TRUE(site.site.empty());
    net.answers = {Answer("dc1.corp.test", "Main", "Branch")};
    EXPECT_EQ(ClientSiteOf("corp.test", {"dc1.corp.test"}, net.Sources()).site, "Branch");
    EXPECT_EQ(net.pings, 2);
    // Without DCs to ask nobody is pinged.
    EXPECT_FALSE(ClientSiteOf("none.test", {}, net.Sources()).asked);
    EXPECT_EQ(net.pings, 2);
}

TEST_F(ClientSiteTest, ConfigurationWinsAndNoneTurnsThePingOff) {
    FakeNetwork net;
    net.answers = {Answer("dc1.corp.test", "Main", "Branch")};
    net.configured = "Head-Office";
    ClientSite site = ClientSiteOf("corp.test", {"dc1.corp.test"}, net.Sources());
    EXPECT_EQ(site.site, "Head-Office");
    EXPECT_TRUE(site.configured);
    net.configured = "None";
    EXPECT_TRUE(ClientSiteOf("corp.test", {"dc1.corp.test"}, net.Sources()).site.empty());
    EXPECT_EQ(net.pings, 0);
}

TEST_F(ClientSiteTest, ASiteThatIsNoDnsLabelIsNotUsed) {
    FakeNetwork net;
    net.answers = {Answer("dc1.corp.test", "Main\x1b[2J", "Branch.evil")};
    ClientSite site = ClientSiteOf("corp.test", {"dc1.corp.test"}, net.Sources());
    EXPECT_TRUE(site.asked);
    EXPECT_TRUE(site.site.empty());
    EXPECT_TRUE(site.dcSite.empty());
}

}  // namespace
