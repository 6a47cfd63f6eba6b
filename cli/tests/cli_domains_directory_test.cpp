// `lumivel connect` and `domains`, and the DOMAIN every sub-command resolves: stored, unknown,
// unreachable, refused before any bind, or named by an LDAP path.
#include "cli/tests/cli_directory_fixture.h"

#include "tests/support/directory_fixture.h"
#include "tests/support/temporary_directory.h"

namespace lumivel_cli::tests {
namespace {

TEST_F(CommandLineTest, ConnectStoresTheDomainAndReportsFailures) {
    Outcome connected = lumivel({"connect", m_domain});
    EXPECT_EQ(connected.exitCode, 0) << connected.err;
    EXPECT_NE(connected.out.find("Connected to"), std::string::npos);
    Outcome domains = lumivel({"domains"});
    EXPECT_EQ(domains.exitCode, 0);
    EXPECT_NE(domains.out.find(m_domain), std::string::npos);

    Outcome failed = lumivel({"connect", "nowhere-zz9.invalid"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find("Active Directory: "), std::string::npos) << failed.err;
}

TEST_F(CommandLineTest, FailuresNameTheirCause) {
    const std::string nowhere = "nowhere-zz9.invalid";
    for (const std::vector<std::string>& words : {std::vector<std::string>{"list", nowhere},
                                                  {"restore", nowhere, "11111111-2222-3333-4444-555555555555", "--yes"}}) {
        Outcome failed = lumivel(words);
        EXPECT_EQ(failed.exitCode, 1) << words[0];
        EXPECT_TRUE(failed.out.empty()) << failed.out;
        EXPECT_NE(failed.err.find(nowhere + " is not a stored domain"), std::string::npos) << failed.err;
        EXPECT_NE(failed.err.find("The server is not operational."), std::string::npos) << failed.err;
    }
    Outcome unknownContext = lumivel({"list", "DC=nowhere-zz9," + lumivel::testing::TestDirectory().baseDn});
    EXPECT_EQ(unknownContext.exitCode, 1);
    EXPECT_NE(unknownContext.err.find("There is no such object on the server."), std::string::npos) << unknownContext.err;

    // A stored domain without a Kerberos ticket: named as stored, and kinit suggested.
    ASSERT_EQ(lumivel({"connect", m_domain}).exitCode, 0);
    const Environment noTicket = {{"KRB5CCNAME", "FILE:/tmp/lumivel-cli-no-ticket-" + lumivel::testing::UniqueSuffix()}};
    Outcome withoutTicket = lumivelWith(noTicket, {"list", m_domain});
    EXPECT_EQ(withoutTicket.exitCode, 1);
    EXPECT_NE(withoutTicket.err.find(m_domain + " is a stored domain but cannot be bound now"), std::string::npos)
        << withoutTicket.err;
    EXPECT_NE(withoutTicket.err.find("kinit"), std::string::npos);
    Outcome domains = lumivelWith(noTicket, {"domains"});
    EXPECT_EQ(domains.exitCode, 0);
    EXPECT_TRUE(domains.out.empty());
    EXPECT_NE(domains.err.find("stored, but none can be bound now"), std::string::npos) << domains.err;

    // Hives where nothing is registered: the regsvr command and the hive variables are named.
    lumivel::testing::TemporaryDirectory hives("lumivel-cli-hives");
    const Environment fresh = {{"LUMIVEL_MACHINE_HIVE", hives.path() + "/machine.hive"}, {"LUMIVEL_USER_HIVE", hives.path() + "/user.hive"}};
    Outcome unregistered = lumivelWith(fresh, {"list", m_domain});
    EXPECT_EQ(unregistered.exitCode, 1);
    EXPECT_NE(unregistered.err.find("register it with regsvr "), std::string::npos) << unregistered.err;
    EXPECT_NE(unregistered.err.find("/RevivoProvider.so"), std::string::npos);
    EXPECT_NE(unregistered.err.find("LUMIVEL_MACHINE_HIVE=" + hives.path() + "/machine.hive"), std::string::npos);
    std::string registration = ShellQuote(binaryFolder() + "/regsvr") + " /s " + ShellQuote(binaryFolder() + "/RevivoProvider.so");
    ASSERT_EQ(run(registration, fresh).exitCode, 0);
    Outcome none = lumivelWith(fresh, {"domains"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_NE(none.err.find("no domain is stored; store one with lumivel connect DOMAIN"), std::string::npos) << none.err;
}

// Paths refused before any bind still say why; a domain named by an LDAP path is asked on
// the server the path names; output that cannot be written fails the run.
TEST_F(CommandLineTest, RefusedPathsAndServersNamedInPathsAreReported) {
    for (const char* domain : {"%s", "LDAP:///", "<GUID=zz>"}) {
        Outcome failed = lumivel({"connect", domain});
        EXPECT_EQ(failed.exitCode, 1) << domain;
        EXPECT_TRUE(failed.out.empty()) << domain << failed.out;
        ASSERT_FALSE(failed.err.empty()) << domain;
        // Never a heading without its message.
        for (const std::string& line : lines(failed.err)) {
            if (!line.empty()) {
                EXPECT_NE(line.back(), ':') << domain << failed.err;
            }
        }
    }
    Outcome elsewhere = lumivelWith({{"LUMIVEL_LDAP_CONNECT_TIMEOUT", "3"}},
                                    {"list", "LDAP://127.0.0.9/" + lumivel::testing::TestDirectory().baseDn, "--format", "tsv"});
    EXPECT_EQ(elsewhere.exitCode, 1) << elsewhere.out;
    EXPECT_TRUE(elsewhere.out.empty()) << elsewhere.out.substr(0, 300);
    EXPECT_NE(elsewhere.err.find("127.0.0.9"), std::string::npos) << elsewhere.err;
    Outcome there = lumivel({"list", "LDAP://" + lumivel::testing::TestDirectory().server + "/" +
                                         lumivel::testing::TestDirectory().baseDn, "--format", "tsv"});
    EXPECT_EQ(there.exitCode, 0) << there.err;
    EXPECT_GT(lines(there.out).size(), 1u) << there.out;

    Outcome full = run(binaryFolder() + "/lumivel list " + ShellQuote(m_domain) + " >/dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
}

}  // namespace
}  // namespace lumivel_cli::tests
