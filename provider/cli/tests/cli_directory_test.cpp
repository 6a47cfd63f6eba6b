// The `lumivel` program against the test directory, judged by its exit codes and output. The
// provider is registered with regsvr into private hives that the program inherits.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "provider/tests/directory_fixture.h"
#include "provider/tests/test_environment.h"

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new revivo_test::PrivateHives);

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

std::string binaryFolder() {
    const char* folder = std::getenv("LUMIVEL_BIN_DIR");
    return folder ? folder : ".";
}

std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs a shell command, stdin from /dev/null.
Outcome run(std::string command) {
    std::string errPath = "/tmp/lumivel-cli-test-" + revivo_test::UniqueSuffix();
    command += " </dev/null 2>" + errPath;
    FILE* pipe = popen(command.c_str(), "r");
    Outcome outcome{-1, {}, {}};
    if (!pipe) return outcome;
    char buffer[4096];
    size_t read;
    while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.out.append(buffer, read);
    int status = pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.err = readFile(errPath);
    std::remove(errPath.c_str());
    return outcome;
}

// Runs lumivel with the words.
Outcome lumivel(const std::vector<std::string>& words) {
    std::string command = binaryFolder() + "/lumivel";
    for (const std::string& word : words) command += " " + quote(word);
    return run(command);
}

class CommandLineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string command = binaryFolder() + "/regsvr /s " + quote(binaryFolder() + "/RevivoProvider.so");
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    void SetUp() override {
        if (revivo_test::TestDirectory().server.empty()) GTEST_SKIP() << "not inside testdc exec";
        m_domain = revivo_test::TestDirectory().domain;
    }
    std::string m_domain;
};

TEST_F(CommandLineTest, UsageAndMistakes) {
    Outcome help = lumivel({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: lumivel"), std::string::npos);
    for (const char* command : {"domains", "connect", "list", "restore"}) {
        Outcome usage = lumivel({command, "--help"});
        EXPECT_EQ(usage.exitCode, 0) << command;
        EXPECT_EQ(usage.out.rfind(std::string("usage: lumivel ") + command, 0), 0u) << command << usage.out;
        EXPECT_TRUE(usage.err.empty()) << command;
    }
    Outcome missing = lumivel({"list"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_NE(missing.err.find("list takes one DOMAIN"), std::string::npos) << missing.err;
    Outcome wrong = lumivel({"purge", m_domain});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("unknown command"), std::string::npos);
    EXPECT_TRUE(wrong.out.empty());
}

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

TEST_F(CommandLineTest, ListPrintsTheSeededTombstonesInEachFormat) {
    std::string seeded;
    for (const revivo_test::Fact& fact : revivo_test::SeedFacts())
        if (fact.get("deleted") == "1" && fact.get("flags") == "-") seeded = fact.get("name");
    ASSERT_FALSE(seeded.empty());
    Outcome tsv = lumivel({"list", m_domain, "--format", "tsv"});
    EXPECT_EQ(tsv.exitCode, 0) << tsv.err;
    EXPECT_EQ(tsv.out.rfind("name\tlastKnownParent\tclass\tdateDeleted\ttombstone\n", 0), 0u);
    EXPECT_NE(tsv.out.find("\n" + seeded + "\\nDEL:"), std::string::npos);
    Outcome json = lumivel({"list", m_domain, "--format", "json", "--filter", "CN=" + seeded.substr(0, 3)});
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_EQ(json.out.rfind("[", 0), 0u);
    EXPECT_NE(json.out.find("\"name\": \"" + seeded + "\\nDEL:"), std::string::npos);
    EXPECT_EQ(tsv.err.find("Listing deleted objects"), std::string::npos) << "no progress into a file";
    // On a terminal the listing says what it is doing while it runs, and clears the line after.
    std::string listing = quote(binaryFolder() + "/lumivel") + " list " + quote(m_domain) + " --format tsv >/dev/null";
    Outcome onTerminal = run("script -qec " + quote(listing) + " /dev/null");
    EXPECT_EQ(onTerminal.exitCode, 0) << onTerminal.err;
    EXPECT_NE(onTerminal.out.find("Listing deleted objects..."), std::string::npos) << onTerminal.out;
    EXPECT_NE(onTerminal.out.find("\r\033[K"), std::string::npos);
    Outcome table = lumivel({"list", m_domain});
    EXPECT_EQ(table.exitCode, 0);
    EXPECT_NE(table.out.find("Last Known Parent"), std::string::npos);
    // A domain nobody can reach lists nothing (or fails), never somebody else's tombstones.
    Outcome nowhere = lumivel({"list", "nowhere-zz9.invalid", "--format", "tsv"});
    if (nowhere.exitCode == 0) {
        EXPECT_EQ(nowhere.out, "name\tlastKnownParent\tclass\tdateDeleted\ttombstone\n");
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
    EXPECT_NE(typed.out.find("\nPat (Ops) *lead*\\nDEL:"), std::string::npos) << typed.out;
    std::istringstream lines(typed.out);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) EXPECT_EQ(line.rfind("Pat (Ops) *", 0), 0u) << line;

    Outcome ldap = lumivel({"list", m_domain, "--format", "tsv", "--filter", "CN=Pat \\28Ops"});
    EXPECT_EQ(ldap.exitCode, 0) << ldap.err;
    EXPECT_EQ(ldap.out, typed.out);

    Outcome none = lumivel({"list", m_domain, "--format", "tsv", "--filter", "No such name zz9"});
    EXPECT_EQ(none.exitCode, 0) << none.err;
    EXPECT_EQ(none.out, "name\tlastKnownParent\tclass\tdateDeleted\ttombstone\n");

    Outcome malformed = lumivel({"list", m_domain, "--format", "tsv", "--filter", "CN=x)(cn=y"});
    EXPECT_EQ(malformed.exitCode, 1);
    EXPECT_EQ(malformed.out, "");
    EXPECT_NE(malformed.err.find("cannot list the deleted objects"), std::string::npos) << malformed.err;
}

TEST_F(CommandLineTest, RestoreNeedsConsentRestoresOnceAndTakesANewName) {
    std::string suffix = revivo_test::UniqueSuffix();
    std::string root = "OU=RevivoCli " + suffix + "," + revivo_test::TestDirectory().baseDn;
    ASSERT_TRUE(revivo_test::AddOrganizationalUnit(root));
    std::string name = "Cli User " + suffix;
    std::string dn = "CN=" + name + "," + root;
    ASSERT_TRUE(revivo_test::AddUser(dn, name));
    ASSERT_TRUE(revivo_test::LdapDelete(dn));
    auto tombstones = revivo_test::TombstoneTimes(name);
    ASSERT_EQ(tombstones.size(), 1u);
    std::string tombstone = tombstones[0].first;

    Outcome refused = lumivel({"restore", m_domain, tombstone});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos);
    EXPECT_FALSE(revivo_test::LdapExists(dn));

    Outcome restored = lumivel({"restore", m_domain, tombstone, "--yes"});
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_NE(restored.out.find("Restored " + name), std::string::npos);
    EXPECT_NE(restored.err.find("Success: The object was successfully restored."), std::string::npos);
    EXPECT_TRUE(revivo_test::LdapExists(dn));
    EXPECT_EQ(lumivel({"restore", m_domain, tombstone, "--yes"}).exitCode, 1);

    // Deleted again while a new object takes the name: the new name comes from the command line.
    ASSERT_TRUE(revivo_test::LdapDelete(dn));
    ASSERT_TRUE(revivo_test::AddUser(dn, name));
    tombstones = revivo_test::TombstoneTimes(name);
    ASSERT_EQ(tombstones.size(), 1u);
    Outcome unanswered = lumivel({"restore", m_domain, tombstones[0].first, "--yes"});
    EXPECT_EQ(unanswered.exitCode, 1);
    // A new name that is taken as well ends the restore instead of asking for ever.
    std::string alsoTaken = "Taken Too " + suffix;
    ASSERT_TRUE(revivo_test::AddUser("CN=" + alsoTaken + "," + root, alsoTaken));
    Outcome twice = lumivel({"restore", m_domain, tombstones[0].first, "--yes", "--new-name", alsoTaken});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_NE(twice.err.find("Name: " + alsoTaken + " is taken too"), std::string::npos) << twice.err;
    std::string newName = "Smith, John " + suffix;
    Outcome renamed = lumivel({"restore", m_domain, tombstones[0].first, "--yes", "--new-name", newName});
    EXPECT_EQ(renamed.exitCode, 0) << renamed.err;
    EXPECT_TRUE(revivo_test::LdapExists("CN=" + revivo_test::EscapeRdnValue(newName) + "," + root));
    revivo_test::LdapDeleteTree(root);
}

}  // namespace
