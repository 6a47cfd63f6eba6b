// The `lumivel` program against the test directory, judged by its exit codes and output. The
// provider is registered with regsvr into private hives that the program inherits.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <filesystem>

#include "lumivel/registry_key.h"
#include "provider/backup/backup_folder.h"
#include "shared/text_helpers.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

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
    std::string errPath = "/tmp/lumivel-cli-test-" + lumivel::testing::UniqueSuffix();
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
        if (lumivel::testing::TestDirectory().server.empty()) GTEST_SKIP() << "not inside testdc exec";
        m_domain = lumivel::testing::TestDirectory().domain;
    }
    std::string m_domain;
};

TEST_F(CommandLineTest, UsageAndMistakes) {
    Outcome help = lumivel({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: lumivel"), std::string::npos);
    for (const char* command : {"domains", "connect", "list", "restore", "backup", "backups"}) {
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
    for (const lumivel::testing::Fact& fact : lumivel::testing::SeedFacts())
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
    std::string suffix = lumivel::testing::UniqueSuffix();
    std::string root = "OU=RevivoCli " + suffix + "," + lumivel::testing::TestDirectory().baseDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(root));
    std::string name = "Cli User " + suffix;
    std::string dn = "CN=" + name + "," + root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    auto tombstones = lumivel::testing::TombstoneTimes(name);
    ASSERT_EQ(tombstones.size(), 1u);
    std::string tombstone = tombstones[0].first;

    Outcome refused = lumivel({"restore", m_domain, tombstone});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos);
    EXPECT_FALSE(lumivel::testing::LdapExists(dn));

    Outcome restored = lumivel({"restore", m_domain, tombstone, "--yes"});
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_NE(restored.out.find("Restored " + name), std::string::npos);
    EXPECT_NE(restored.err.find("Success: The object was successfully restored."), std::string::npos);
    EXPECT_TRUE(lumivel::testing::LdapExists(dn));
    EXPECT_EQ(lumivel({"restore", m_domain, tombstone, "--yes"}).exitCode, 1);

    // Deleted again while a new object takes the name: the new name comes from the command line.
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    tombstones = lumivel::testing::TombstoneTimes(name);
    ASSERT_EQ(tombstones.size(), 1u);
    Outcome unanswered = lumivel({"restore", m_domain, tombstones[0].first, "--yes"});
    EXPECT_EQ(unanswered.exitCode, 1);
    // A new name that is taken as well ends the restore instead of asking for ever.
    std::string alsoTaken = "Taken Too " + suffix;
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + alsoTaken + "," + root, alsoTaken));
    Outcome twice = lumivel({"restore", m_domain, tombstones[0].first, "--yes", "--new-name", alsoTaken});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_NE(twice.err.find("Name: " + alsoTaken + " is taken too"), std::string::npos) << twice.err;
    std::string newName = "Smith, John " + suffix;
    Outcome renamed = lumivel({"restore", m_domain, tombstones[0].first, "--yes", "--new-name", newName});
    EXPECT_EQ(renamed.exitCode, 0) << renamed.err;
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + lumivel::testing::EscapeRdnValue(newName) + "," + root));
    lumivel::testing::LdapDeleteTree(root);
}

// Backups go into the FileLocation folder the hives name; the program inherits the hives.
class BackupCommandLineTest : public CommandLineTest {
protected:
    void SetUp() override {
        CommandLineTest::SetUp();
        if (IsSkipped()) return;
        m_suffix = lumivel::testing::UniqueSuffix();
        m_root = "OU=RevivoCliBackup " + m_suffix + "," + lumivel::testing::TestDirectory().baseDn;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_root));
        m_folder = "/tmp/revivo-cli-backups-" + m_suffix;
        std::filesystem::create_directories(m_folder);
        lumivel::RegistryKey policy;
        ASSERT_EQ(policy.create(HKEY_CURRENT_USER, revivo::kBackupPolicyKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
        ASSERT_EQ(policy.writeString(revivo::kFileLocationValue, lumivel::shared::WidenText(m_folder)), ERROR_SUCCESS);
    }
    void TearDown() override {
        if (!m_root.empty()) lumivel::testing::LdapDeleteTree(m_root);
        std::error_code ignored;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
    }
    std::string m_suffix, m_root, m_folder;
};

TEST_F(BackupCommandLineTest, BackupPrintsItsArchiveAndBackupsListsWhatEachHolds) {
    std::string team = "OU=Team " + m_suffix + "," + m_root;
    std::string ada = "CN=Ada " + m_suffix + "," + team;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(team));
    ASSERT_TRUE(lumivel::testing::AddUser(ada, "Ada " + m_suffix));
    Outcome both = lumivel({"backup", m_domain, team, ada, "--server", lumivel::testing::TestDirectory().server});
    EXPECT_EQ(both.exitCode, 0) << both.err;
    ASSERT_EQ(both.out.rfind(m_folder + "/{", 0), 0u) << both.out;
    std::string archive = both.out.substr(0, both.out.size() - 1);
    EXPECT_TRUE(std::filesystem::exists(archive));
    EXPECT_NE(both.err.find("Success: Backup completed successfully"), std::string::npos) << both.err;
    // Without --server the domain's controller is found.
    Outcome other = lumivel({"backup", m_domain, m_root});
    EXPECT_EQ(other.exitCode, 0) << other.err;

    Outcome listed = lumivel({"backups", m_domain, "--object", ada});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    std::istringstream lines(listed.out);
    std::string header, newest, older;
    std::getline(lines, header);
    std::getline(lines, newest);
    std::getline(lines, older);
    EXPECT_EQ(header, "File\tDate (UTC)\tOrigin\tObjects\tHolds object");
    // Newest first: the second backup (the unit and both objects below it).
    EXPECT_NE(newest.find("\t" + m_root + "\t3\tyes"), std::string::npos) << listed.out;
    EXPECT_EQ(older.rfind(std::filesystem::path(archive).filename().string() + "\t", 0), 0u) << listed.out;
    EXPECT_NE(older.find("\t" + team + "\t2\tyes"), std::string::npos) << "the unit and Ada, Ada once";
    Outcome unrelated = lumivel({"backups", m_domain, "--object", "{00000000-0000-0000-0000-000000000001}"});
    EXPECT_EQ(unrelated.exitCode, 0);
    EXPECT_EQ(unrelated.out.find("\tyes"), std::string::npos);
    EXPECT_EQ(lumivel({"backups", m_domain, "--object", "CN=Nobody " + m_suffix + "," + m_root}).exitCode, 1);

    // A run that stores nothing says why and fails.
    Outcome missing = lumivel({"backup", m_domain, "OU=Missing " + m_suffix + "," + m_root});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_NE(missing.err.find("There is no such object on the server."), std::string::npos) << missing.err;
    EXPECT_EQ(lumivel({"backup", m_domain}).exitCode, 2);
}

TEST_F(BackupCommandLineTest, RestoreTakesTheDeletedParentFromTheBackupItIsTold) {
    std::string dept = "OU=Dept " + m_suffix + "," + m_root;
    std::string name = "Kid " + m_suffix;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept));
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + name + "," + dept, name));
    Outcome backedUp = lumivel({"backup", m_domain, dept});
    ASSERT_EQ(backedUp.exitCode, 0) << backedUp.err;
    ASSERT_TRUE(lumivel::testing::LdapDelete("CN=" + name + "," + dept));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dept));
    std::vector<std::string> parent = lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn, "(ou=Dept " + m_suffix + "*)");
    ASSERT_EQ(parent.size(), 1u);
    ASSERT_TRUE(lumivel::testing::PurgeTombstone(parent[0]));
    auto tombstones = lumivel::testing::TombstoneTimes(name);
    ASSERT_EQ(tombstones.size(), 1u);

    Outcome wrong = lumivel({"restore", m_domain, tombstones[0].first, "--yes", "--from-backup", "nosuch.zip"});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("no archive nosuch.zip"), std::string::npos) << wrong.err;
    EXPECT_NE(wrong.err.find("Could not create the container for this object."), std::string::npos) << wrong.err;
    EXPECT_FALSE(lumivel::testing::LdapExists(dept));

    Outcome restored = lumivel({"restore", m_domain, tombstones[0].first, "--yes", "--from-backup", "latest"});
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_TRUE(lumivel::testing::LdapExists(dept));
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + name + "," + dept));
}

}  // namespace
