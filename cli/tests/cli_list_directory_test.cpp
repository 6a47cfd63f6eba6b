// `lumivel list`: its formats, filters and expiry, hostile names, and an account without rights.
#include "cli/tests/cli_directory_fixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <sstream>

#include "tests/support/directory_fixture.h"
#include "tests/support/pseudo_terminal.h"

namespace lumivel_cli::tests {
namespace {

TEST_F(CommandLineTest, ListPrintsTheSeededTombstonesInEachFormat) {
    // Other tests restore seeded tombstones: one still deleted, whichever ran before.
    std::string seeded;
    for (const lumivel::testing::Fact& fact : lumivel::testing::SeedFacts())
        if (seeded.empty() && fact.get("deleted") == "1" && fact.get("flags") == "-" &&
            !lumivel::testing::TombstoneTimes(fact.get("name")).empty())
            seeded = fact.get("name");
    ASSERT_FALSE(seeded.empty());
    Outcome tsv = lumivel({"list", m_domain, "--format", "tsv"});
    EXPECT_EQ(tsv.exitCode, 0) << tsv.err;
    EXPECT_EQ(tsv.out.rfind("name\tlastKnownParent\tclass\tdateDeleted\tdeletedUtc\tguid\ttombstoneName\ttombstone\t"
                            "expires\texpiresUtc\n", 0),
              0u);
    EXPECT_NE(tsv.out.find("\t" + seeded + "\\nDEL:"), std::string::npos);
    Outcome json = lumivel({"list", m_domain, "--format", "json", "--filter", "CN=" + seeded.substr(0, 3)});
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_EQ(json.out.rfind("[", 0), 0u);
    EXPECT_NE(json.out.find("\"tombstoneName\": \"" + seeded + "\\nDEL:"), std::string::npos);
    EXPECT_EQ(tsv.err.find("Listing deleted objects"), std::string::npos) << "no progress into a file";
    // On a terminal the listing says what it is doing while it runs, and clears the line after.
    std::string listing = ShellQuote(binaryFolder() + "/lumivel") + " list " + ShellQuote(m_domain) + " --format tsv >/dev/null";
    Outcome onTerminal = run("script -qec " + ShellQuote(listing) + " /dev/null");
    EXPECT_EQ(onTerminal.exitCode, 0) << onTerminal.err;
    EXPECT_NE(onTerminal.out.find("Listing deleted objects..."), std::string::npos) << onTerminal.out;
    EXPECT_NE(onTerminal.out.find("\r\033[K"), std::string::npos);
    Outcome table = lumivel({"list", m_domain});
    EXPECT_EQ(table.exitCode, 0);
    EXPECT_NE(table.out.find("Last Known Parent"), std::string::npos);
    // A domain nobody can reach lists nothing (or fails), never somebody else's tombstones.
    Outcome nowhere = lumivel({"list", "nowhere-zz9.invalid", "--format", "tsv"});
    if (nowhere.exitCode == 0) {
        EXPECT_EQ(nowhere.out, "name\tlastKnownParent\tclass\tdateDeleted\tdeletedUtc\tguid\ttombstoneName\ttombstone\texpires\texpiresUtc\n");
    } else {
        EXPECT_EQ(nowhere.exitCode, 1);
    }
}

// --filter takes the beginning of a name as users type it, special characters and all, or an
// LDAP prefix; a filter the directory cannot take is an error, never an empty listing.
TEST_F(CommandLineTest, FilterTakesANameAsTypedOrAnLdapPrefixAndRefusesAMalformedOne) {
    Outcome typed = lumivel({"list", m_domain, "--format", "tsv", "--filter", "Pat (Ops) *"});
    EXPECT_EQ(typed.exitCode, 0) << typed.err;
    // The seeded tombstone, and those of other tests that borrowed its name: all begin so.
    EXPECT_NE(typed.out.find("\tPat (Ops) *lead*\\nDEL:"), std::string::npos) << typed.out;
    std::istringstream lines(typed.out);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) EXPECT_EQ(line.rfind("Pat (Ops) *", 0), 0u) << line;

    Outcome ldap = lumivel({"list", m_domain, "--format", "tsv", "--filter", "CN=Pat \\28Ops"});
    EXPECT_EQ(ldap.exitCode, 0) << ldap.err;
    EXPECT_EQ(ldap.out, typed.out);

    Outcome none = lumivel({"list", m_domain, "--format", "tsv", "--filter", "No such name zz9"});
    EXPECT_EQ(none.exitCode, 0) << none.err;
    EXPECT_EQ(none.out, "name\tlastKnownParent\tclass\tdateDeleted\tdeletedUtc\tguid\ttombstoneName\ttombstone\texpires\texpiresUtc\n");

    Outcome malformed = lumivel({"list", m_domain, "--format", "tsv", "--filter", "CN=x)(cn=y"});
    EXPECT_EQ(malformed.exitCode, 1);
    EXPECT_EQ(malformed.out, "");
    EXPECT_NE(malformed.err.find("cannot list the deleted objects"), std::string::npos) << malformed.err;
}

// A name can hold escape sequences; whoever named the object must not get to drive the
// administrator's terminal through any line the program prints.
TEST_F(CommandLineTest, NamesWithEscapeSequencesNeverReachTheTerminalRaw) {
    std::string suffix = lumivel::testing::UniqueSuffix();
    std::string root = "OU=RevivoCliEsc " + suffix + "," + lumivel::testing::TestDirectory().baseDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(root));
    // With a right-to-left override and an isolate, which would reorder the rest of the line.
    std::string name = "Esc" + suffix + "\x1b]0;owned\x07\x1b[31m\xc2\x9b" "2J \xe2\x80\xae" "exe.txt \xe2\x81\xa7x";
    std::string dn = "CN=" + lumivel::testing::EscapeRdnValue(name) + "," + root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    auto tombstones = lumivel::testing::TombstoneTimes("Esc" + suffix);
    ASSERT_EQ(tombstones.size(), 1u);
    auto raw = [](const std::string& text) {
        return text.find('\x1b') != std::string::npos || text.find('\x07') != std::string::npos ||
               text.find("\xc2\x9b") != std::string::npos || text.find("\xe2\x80\xae") != std::string::npos ||
               text.find("\xe2\x81\xa7") != std::string::npos;
    };
    for (const char* format : {"tsv", "json", "table"}) {
        Outcome listed = lumivel({"list", m_domain, "--format", format, "--filter", "CN=Esc" + suffix});
        EXPECT_EQ(listed.exitCode, 0) << format << listed.err;
        EXPECT_NE(listed.out.find("Esc" + suffix), std::string::npos) << format << listed.out;
        EXPECT_FALSE(raw(listed.out)) << format << listed.out;
    }
    const std::string program = binaryFolder() + "/lumivel";
    const auto limit = std::chrono::seconds(90);
    lumivel::testing::TerminalRun declined =
        lumivel::testing::RunOnTerminal({program, "restore", m_domain, tombstones[0].first}, limit, "n\n");
    EXPECT_NE(declined.output.find("Esc" + suffix), std::string::npos) << declined.output;
    // The progress line's own clearing sequence is the program's, not the name's.
    std::string prompted = declined.output;
    for (size_t at; (at = prompted.find("\x1b[K")) != std::string::npos;) prompted.erase(at, 3);
    EXPECT_FALSE(raw(prompted)) << declined.output;
    EXPECT_FALSE(lumivel::testing::LdapExists(dn));

    Outcome restored = lumivel({"restore", m_domain, tombstones[0].first, "--yes"});
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_NE(restored.out.find("Restored Esc" + suffix), std::string::npos) << restored.out;
    EXPECT_FALSE(raw(restored.out)) << restored.out;
    EXPECT_FALSE(raw(restored.err)) << restored.err;
    lumivel::testing::LdapDeleteTree(root);
}

TEST_F(CommandLineTest, AnAccountWithoutRightsIsToldWhyNothingIsListed) {
    const char* user = std::getenv("TESTDC_USER_NAME");
    const char* password = std::getenv("TESTDC_USER_PASSWORD");
    const char* realm = std::getenv("TESTDC_REALM");
    if (!user || !password || !realm) GTEST_SKIP() << "no non-administrator in this test directory";
    std::string cache = "/tmp/lumivel-cli-reader-" + lumivel::testing::UniqueSuffix();
    std::string kinit = "printf '%s\\n' " + ShellQuote(password) + " | KRB5CCNAME=FILE:" + cache + " kinit " +
                        ShellQuote(std::string(user) + "@" + realm) + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(kinit.c_str()), 0);
    const Environment asReader = {{"KRB5CCNAME", "FILE:" + cache}};

    Outcome listed = lumivelWith(asReader, {"list", m_domain, "--format", "tsv"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(lines(listed.out).size(), 1u) << "the heading alone: " << listed.out;
    EXPECT_NE(listed.err.find("listing Deleted Objects normally needs administrator rights"), std::string::npos) << listed.err;

    std::vector<std::string> administrators = lines(lumivel({"list", m_domain, "--format", "tsv"}).out);
    ASSERT_GE(administrators.size(), 2u);
    std::string guid = fields(administrators[1]).at(5);
    Outcome restore = lumivelWith(asReader, {"restore", m_domain, guid, "--yes"});
    EXPECT_EQ(restore.exitCode, 1);
    EXPECT_EQ(restore.out.rfind("Not found " + guid, 0), 0u) << restore.out;
    EXPECT_NE(restore.err.find("administrator rights"), std::string::npos) << restore.err;
    std::remove(cache.c_str());
}

// The forest's lifetimes, set for one test and put back as they were.
class LifetimeCommandLineTest : public RestoreCommandLineTest {
protected:
    void SetUp() override {
        RestoreCommandLineTest::SetUp();
        if (IsSkipped()) return;
        m_service = "CN=Directory Service,CN=Windows NT,CN=Services,CN=Configuration," +
                    lumivel::testing::TestDirectory().baseDn;
    }
    void TearDown() override {
        if (!m_service.empty()) {
            setLifetime("tombstoneLifetime", "180");
            clearLifetime("msDS-DeletedObjectLifetime");
        }
        RestoreCommandLineTest::TearDown();
    }
    bool setLifetime(const std::string& attribute, const std::string& days) {
        return lumivel::testing::LdapModify("dn: " + m_service + "\nchangetype: modify\nreplace: " + attribute + "\n" +
                                            attribute + ": " + days + "\n");
    }
    void clearLifetime(const std::string& attribute) {
        lumivel::testing::LdapModify("dn: " + m_service + "\nchangetype: modify\nreplace: " + attribute + "\n");
    }
    // The JSON field's text in a one-record listing.
    static std::string jsonField(const std::string& json, const std::string& name) {
        std::smatch match;
        std::regex pattern("\"" + name + "\": \"([^\"]*)\"");
        return std::regex_search(json, match, pattern) ? match[1].str() : std::string();
    }
    static long long isoSeconds(const std::string& iso) {
        std::tm utc{};
        if (!strptime(iso.c_str(), "%Y-%m-%dT%H:%M:%SZ", &utc)) return -1;
        return static_cast<long long>(timegm(&utc));
    }
    std::string m_service;
};

TEST_F(LifetimeCommandLineTest, ExpiryFollowsTheForestsLifetimesAndFiltersTheListing) {
    std::string name = "Expiring " + m_suffix;
    ASSERT_FALSE(deletedUser(name).empty());
    auto listedWith = [&](const std::vector<std::string>& more) {
        std::vector<std::string> words = {"list", m_domain, "--filter", "CN=" + name, "--format", "json"};
        words.insert(words.end(), more.begin(), more.end());
        return lumivel(words);
    };

    ASSERT_TRUE(setLifetime("tombstoneLifetime", "30"));
    Outcome listed = listedWith({});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    long long deleted = isoSeconds(jsonField(listed.out, "deletedUtc"));
    ASSERT_GT(deleted, 0) << listed.out;
    EXPECT_EQ(isoSeconds(jsonField(listed.out, "expiresUtc")) - deleted, 30 * 86400LL) << listed.out;
    EXPECT_NE(occurrences(listedWith({"--expiring-within", "31d"}).out, name), 0u);
    EXPECT_EQ(occurrences(listedWith({"--expiring-within", "29d"}).out, name), 0u);

    // Where the deleted-object lifetime is set, it is the one that counts.
    ASSERT_TRUE(setLifetime("msDS-DeletedObjectLifetime", "10"));
    listed = listedWith({});
    EXPECT_EQ(isoSeconds(jsonField(listed.out, "expiresUtc")) - deleted, 10 * 86400LL) << listed.out;
    EXPECT_NE(occurrences(listedWith({"--expiring-within", "241h"}).out, name), 0u);

    // The table shows it beside the deletion date.
    Outcome table = lumivel({"list", m_domain, "--filter", "CN=" + name});
    EXPECT_NE(table.out.find("Expires"), std::string::npos) << table.out;
    Outcome mistake = listedWith({"--expiring-within", "soon"});
    EXPECT_EQ(mistake.exitCode, 2);
}

}  // namespace
}  // namespace lumivel_cli::tests
