// The `lumivel` program against the test directory, judged by its exit codes and output. The
// provider is registered with regsvr into private hives that the program inherits.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include <filesystem>
#include <map>
#include <optional>
#include <regex>

#include "lumivel/registry_key.h"
#include "provider/backup/backup_folder.h"
#include "shared/backup_job.h"
#include "shared/text_helpers.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/job_account.h"
#include "tests/support/private_hives.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/temporary_directory.h"

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

// Runs lumivel with the words; `environment` holds assignments put before the program.
Outcome lumivelWith(const std::string& environment, const std::vector<std::string>& words) {
    std::string command = (environment.empty() ? std::string() : "env " + environment + " ") + binaryFolder() + "/lumivel";
    for (const std::string& word : words) command += " " + quote(word);
    return run(command);
}

Outcome lumivel(const std::vector<std::string>& words) { return lumivelWith({}, words); }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) out.push_back(line);
    return out;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) out.push_back(line.substr(start, tab - start));
    out.push_back(line.substr(start));
    return out;
}

// The GUID of the one tombstone whose cn begins with the name.
std::string tombstoneGuid(const std::string& name) {
    auto tombstones = lumivel::testing::TombstoneTimes(name);
    if (tombstones.size() != 1) return {};
    size_t del = tombstones[0].first.find("DEL:");
    return del == std::string::npos ? std::string() : tombstones[0].first.substr(del + 4, 36);
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
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
    // Alone and without a display (where it would open the console) it is a mistake too: the
    // commands on stderr, nothing a script would take as output.
    Outcome alone = lumivelWith("-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", {});
    EXPECT_EQ(alone.exitCode, 2);
    EXPECT_TRUE(alone.out.empty());
    EXPECT_NE(alone.err.find("usage: lumivel"), std::string::npos) << alone.err;
    Outcome missing = lumivel({"list"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_NE(missing.err.find("list takes one DOMAIN"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("usage: lumivel list"), std::string::npos) << missing.err;
    Outcome wrong = lumivel({"purge", m_domain});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("unknown command"), std::string::npos);
    EXPECT_TRUE(wrong.out.empty());
    // Help that cannot be written is no success.
    Outcome full = run(binaryFolder() + "/lumivel --help >/dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("could not be written"), std::string::npos) << full.err;
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
    Outcome again = lumivel({"restore", m_domain, tombstone, "--yes"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.out, "Already restored " + tombstone + ": it is live as " + dn + "\n");

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

// Each test works below an organizational unit of its own.
class RestoreCommandLineTest : public CommandLineTest {
protected:
    void SetUp() override {
        CommandLineTest::SetUp();
        if (IsSkipped()) return;
        m_suffix = lumivel::testing::UniqueSuffix();
        m_root = "OU=RevivoCliRestore " + m_suffix + "," + lumivel::testing::TestDirectory().baseDn;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_root));
    }
    void TearDown() override {
        if (!m_root.empty()) lumivel::testing::LdapDeleteTree(m_root);
    }
    // A user below the root made and deleted; its tombstone's GUID.
    std::string deletedUser(const std::string& name, const std::string& parent = {}) {
        std::string dn = "CN=" + lumivel::testing::EscapeRdnValue(name) + "," + (parent.empty() ? m_root : parent);
        if (!lumivel::testing::AddUser(dn, name) || !lumivel::testing::LdapDelete(dn)) return {};
        return tombstoneGuid(name);
    }
    std::string m_suffix, m_root;
};

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
    std::string noTicket = "KRB5CCNAME=FILE:/tmp/lumivel-cli-no-ticket-" + lumivel::testing::UniqueSuffix();
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
    std::string fresh = "LUMIVEL_MACHINE_HIVE=" + hives.path() + "/machine.hive LUMIVEL_USER_HIVE=" + hives.path() + "/user.hive";
    Outcome unregistered = lumivelWith(fresh, {"list", m_domain});
    EXPECT_EQ(unregistered.exitCode, 1);
    EXPECT_NE(unregistered.err.find("register it with regsvr "), std::string::npos) << unregistered.err;
    EXPECT_NE(unregistered.err.find("/RevivoProvider.so"), std::string::npos);
    EXPECT_NE(unregistered.err.find("LUMIVEL_MACHINE_HIVE=" + hives.path() + "/machine.hive"), std::string::npos);
    std::string registration = "env " + fresh + " " + binaryFolder() + "/regsvr /s " + quote(binaryFolder() + "/RevivoProvider.so");
    ASSERT_EQ(std::system(registration.c_str()), 0);
    Outcome none = lumivelWith(fresh, {"domains"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_NE(none.err.find("no domain is stored; store one with lumivel connect DOMAIN"), std::string::npos) << none.err;
}

// A name can hold escape sequences; whoever named the object must not get to drive the
// administrator's terminal through any line the program prints.
TEST_F(CommandLineTest, NamesWithEscapeSequencesNeverReachTheTerminalRaw) {
    std::string suffix = lumivel::testing::UniqueSuffix();
    std::string root = "OU=RevivoCliEsc " + suffix + "," + lumivel::testing::TestDirectory().baseDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(root));
    std::string name = "Esc" + suffix + "\x1b]0;owned\x07\x1b[31m\xc2\x9b" "2J";
    std::string dn = "CN=" + lumivel::testing::EscapeRdnValue(name) + "," + root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    auto tombstones = lumivel::testing::TombstoneTimes("Esc" + suffix);
    ASSERT_EQ(tombstones.size(), 1u);
    auto raw = [](const std::string& text) {
        return text.find('\x1b') != std::string::npos || text.find('\x07') != std::string::npos ||
               text.find("\xc2\x9b") != std::string::npos;
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
    Outcome elsewhere = lumivelWith("LUMIVEL_LDAP_CONNECT_TIMEOUT=3",
                                    {"list", "LDAP://127.0.0.9/" + lumivel::testing::TestDirectory().baseDn, "--format", "tsv"});
    EXPECT_EQ(elsewhere.exitCode, 1) << elsewhere.out;
    EXPECT_TRUE(elsewhere.out.empty()) << elsewhere.out.substr(0, 300);
    EXPECT_NE(elsewhere.err.find("127.0.0.9"), std::string::npos) << elsewhere.err;
    Outcome there = lumivel({"list", "LDAP://" + lumivel::testing::TestDirectory().server + "/" +
                                         lumivel::testing::TestDirectory().baseDn, "--format", "tsv"});
    EXPECT_EQ(there.exitCode, 0) << there.err;
    EXPECT_GT(lines(there.out).size(), 1u) << there.out;

    Outcome full = run(binaryFolder() + "/lumivel list " + quote(m_domain) + " >/dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
}

TEST_F(CommandLineTest, AnAccountWithoutRightsIsToldWhyNothingIsListed) {
    const char* user = std::getenv("TESTDC_USER_NAME");
    const char* password = std::getenv("TESTDC_USER_PASSWORD");
    const char* realm = std::getenv("TESTDC_REALM");
    if (!user || !password || !realm) GTEST_SKIP() << "no non-administrator in this test directory";
    std::string cache = "/tmp/lumivel-cli-reader-" + lumivel::testing::UniqueSuffix();
    std::string kinit = "printf '%s\\n' " + quote(password) + " | KRB5CCNAME=FILE:" + cache + " kinit " +
                        quote(std::string(user) + "@" + realm) + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(kinit.c_str()), 0);
    std::string asReader = "KRB5CCNAME=FILE:" + cache;

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

TEST_F(RestoreCommandLineTest, RestoredLinesNameTheNameAndTheParentEachObjectGot) {
    // A deleted parent whose name needs escaping, and its deleted child.
    std::string deptName = "Dept, " + m_suffix;
    std::string dept = "OU=" + lumivel::testing::EscapeRdnValue(deptName) + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept));
    std::string kid = "Kid " + m_suffix;
    std::string kidGuid = deletedUser(kid, dept);
    ASSERT_FALSE(kidGuid.empty());
    ASSERT_TRUE(lumivel::testing::LdapDelete(dept));
    Outcome chain = lumivel({"restore", m_domain, kidGuid, "--yes"});
    EXPECT_EQ(chain.exitCode, 0) << chain.err;
    EXPECT_EQ(chain.out, "Restored " + deptName + " into " + m_root + "\nRestored " + kid + " into " + dept + "\n");
    EXPECT_EQ(occurrences(chain.err, "successfully restored"), 1u) << chain.err;

    // A taken name: under --yes without --new-name it says so; with one, the line names it.
    std::string smith = "Smith " + m_suffix;
    std::string smithGuid = deletedUser(smith);
    ASSERT_FALSE(smithGuid.empty());
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + smith + "," + m_root, smith));
    Outcome taken = lumivel({"restore", m_domain, smithGuid, "--yes"});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_EQ(taken.out, "Not restored " + smith + ": the name " + smith + " is taken; give another with --new-name NAME\n");
    EXPECT_NE(taken.err.find("Name: " + smith + " is taken; give another with --new-name NAME"), std::string::npos)
        << taken.err;
    std::string newName = "Smith, John \"" + m_suffix + "\"";
    Outcome renamed = lumivel({"restore", m_domain, smithGuid, "--yes", "--new-name", newName});
    EXPECT_EQ(renamed.exitCode, 0) << renamed.err;
    EXPECT_EQ(renamed.out, "Restored " + newName + " into " + m_root + " (renamed: " + smith + " was taken)\n");
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + lumivel::testing::EscapeRdnValue(newName) + "," + m_root));

    // A --new-name the restore did not need is reported as not used.
    std::string free = "Free " + m_suffix;
    std::string freeGuid = deletedUser(free);
    Outcome unused = lumivel({"restore", m_domain, freeGuid, "--yes", "--new-name", "Other"});
    EXPECT_EQ(unused.exitCode, 0) << unused.err;
    EXPECT_EQ(unused.out, "Restored " + free + " into " + m_root + " (--new-name Other not used: the name was free)\n");
}

TEST_F(RestoreCommandLineTest, OnATerminalYesNeverWaitsAndTheQuestionStatesThePlan) {
    std::string team = "OU=Team " + m_suffix + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(team));
    std::string name = "Term " + m_suffix;
    std::string guid = deletedUser(name, team);
    ASSERT_FALSE(guid.empty());
    ASSERT_TRUE(lumivel::testing::LdapDelete(team));
    const std::string program = binaryFolder() + "/lumivel";
    const auto limit = std::chrono::seconds(90);

    lumivel::testing::TerminalRun declined = lumivel::testing::RunOnTerminal({program, "restore", m_domain, guid}, limit, "n\n");
    EXPECT_FALSE(declined.timedOut) << declined.output;
    EXPECT_EQ(declined.exitCode, 1) << declined.output;
    EXPECT_NE(declined.output.find("deleted parent Team " + m_suffix + " (organizationalUnit) first, as " + team),
              std::string::npos) << declined.output;
    EXPECT_NE(declined.output.find(name + " (user) as CN=" + name + "," + team), std::string::npos) << declined.output;
    EXPECT_NE(declined.output.find("Left alone: the object was not restored."), std::string::npos);
    EXPECT_FALSE(lumivel::testing::LdapExists(team));

    // Under LUMIVEL_UI=headless nobody is asked, at a terminal too.
    lumivel::testing::TerminalRun headless =
        lumivel::testing::RunOnTerminal({"/usr/bin/env", "LUMIVEL_UI=headless", program, "restore", m_domain, guid}, limit);
    EXPECT_FALSE(headless.timedOut) << headless.output;
    EXPECT_EQ(headless.exitCode, 1);
    EXPECT_NE(headless.output.find("confirm with --yes"), std::string::npos) << headless.output;

    // --yes: nothing typed, nothing waited for, success said once.
    lumivel::testing::TerminalRun confirmed =
        lumivel::testing::RunOnTerminal({program, "restore", m_domain, guid, "--yes"}, limit);
    EXPECT_FALSE(confirmed.timedOut) << confirmed.output;
    EXPECT_EQ(confirmed.exitCode, 0) << confirmed.output;
    EXPECT_NE(confirmed.output.find("Restored " + name + " into " + team), std::string::npos) << confirmed.output;
    EXPECT_EQ(occurrences(confirmed.output, "successfully restored"), 1u) << confirmed.output;
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + name + "," + team));
}

TEST_F(RestoreCommandLineTest, ListedFieldsGoBackToRestoreAndSeveralRestoreInOneCall) {
    const std::string prefix = "Multi " + m_suffix + " ";
    const std::string names[] = {prefix + "A", prefix + "\xe7\x8e\x8b\xe5\xb0\x8f\xe6\x98\x8e",  // 王小明
                                 prefix + "\xf0\xa0\xae\xb7\xe9\x87\x8e", prefix + "D"};           // 𠮷野
    std::map<std::string, std::string> guids;
    for (const std::string& name : names) {
        guids[name] = deletedUser(name);
        ASSERT_FALSE(guids[name].empty()) << name;
    }

    Outcome tsv = lumivel({"list", m_domain, "-f", "tsv", "--filter", "CN=" + prefix});
    ASSERT_EQ(tsv.exitCode, 0) << tsv.err;
    std::vector<std::string> rows = lines(tsv.out);
    ASSERT_EQ(rows.size(), 5u) << tsv.out;
    EXPECT_EQ(rows[0], "name\tlastKnownParent\tclass\tdateDeleted\tdeletedUtc\tguid\ttombstoneName\ttombstone\t"
                       "expires\texpiresUtc");
    std::map<std::string, std::vector<std::string>> byName;
    for (size_t i = 1; i < rows.size(); ++i) {
        std::vector<std::string> row = fields(rows[i]);
        ASSERT_EQ(row.size(), 10u) << rows[i];
        EXPECT_TRUE(std::regex_match(row[9], std::regex("\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z"))) << row[9];
        byName[row[0]] = row;
        EXPECT_EQ(row[1], m_root);
        EXPECT_EQ(row[5], guids[row[0]]);
        EXPECT_EQ(row[6], row[0] + "\\nDEL:" + row[5]);
        EXPECT_TRUE(std::regex_match(row[3], std::regex("\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} \\S+"))) << row[3];
        EXPECT_TRUE(std::regex_match(row[4], std::regex("\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z"))) << row[4];
    }
    ASSERT_EQ(byName.size(), 4u);

    Outcome json = lumivel({"list", m_domain, "--format=json", "--filter", "CN=" + prefix + "A"});
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_NE(json.out.find("\"name\": \"" + names[0] + "\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"guid\": \"" + guids[names[0]] + "\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"deletedUtc\": \"" + byName[names[0]][4] + "\""), std::string::npos) << json.out;

    // In the table, wide names keep the next column in line: Ann-like ASCII names get more blanks.
    Outcome table = lumivel({"list", m_domain, "--filter", "CN=" + prefix});
    std::map<std::string, size_t> blanks;
    for (const std::string& line : lines(table.out)) {
        for (const std::string& name : names) {
            if (line.rfind(name + " ", 0) != 0) continue;
            size_t parent = line.find(m_root);
            ASSERT_NE(parent, std::string::npos) << line;
            blanks[name] = parent - name.size();
        }
    }
    ASSERT_EQ(blanks.size(), 4u) << table.out;
    EXPECT_EQ(blanks[names[0]] - blanks[names[1]], 5u) << table.out;  // 1 column against 6
    EXPECT_EQ(blanks[names[0]] - blanks[names[2]], 3u) << table.out;  // 1 column against 4

    // Two tombstone fields as printed, from a file with the heading, beside a GUID on the command
    // line and one that names nothing: a line each, and a failing exit status for the one.
    lumivel::testing::TemporaryDirectory folder("lumivel-cli-from");
    std::string file = folder.path() + "/tombstones.tsv";
    lumivel::testing::WriteText(file, "tombstone\n" + byName[names[0]][7] + "\n" + byName[names[1]][7] + "\n");
    const std::string nobody = "00000000-0000-0000-0000-00000000abcd";
    Outcome several = lumivel({"restore", m_domain, guids[names[2]], nobody, "--from", file, "--yes"});
    EXPECT_EQ(several.exitCode, 1) << several.err;
    std::vector<std::string> reported = lines(several.out);
    ASSERT_EQ(reported.size(), 4u) << several.out;
    EXPECT_EQ(reported[0], "Restored " + names[2] + " into " + m_root);
    EXPECT_EQ(reported[1].rfind("Not found " + nobody + ": no deleted object", 0), 0u) << reported[1];
    EXPECT_EQ(reported[2], "Restored " + names[0] + " into " + m_root);
    EXPECT_EQ(reported[3], "Restored " + names[1] + " into " + m_root);
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + names[i] + "," + m_root)) << names[i];

    // The listing piped in whole as standard input; every one restored, so success.
    std::string piped = binaryFolder() + "/lumivel list " + quote(m_domain) + " -f tsv --filter " + quote("CN=" + names[3]) +
                        " | " + binaryFolder() + "/lumivel restore " + quote(m_domain) + " --from - --yes";
    Outcome fromInput = run("sh -c " + quote(piped));
    EXPECT_EQ(fromInput.exitCode, 0) << fromInput.err;
    EXPECT_EQ(fromInput.out, "Restored " + names[3] + " into " + m_root + "\n");
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

namespace {

// A scheduled backup from the command line to an archive: the form's answers, the domain's
// check of the account, the task folder, the service and the script host, all for real.
class ScheduleCommandLineTest : public BackupCommandLineTest {
protected:
    void SetUp() override {
        BackupCommandLineTest::SetUp();
        if (IsSkipped()) return;
        m_tasks = "/tmp/revivo-cli-tasks-" + m_suffix;
        setenv("LUMIVEL_TASK_FOLDER", m_tasks.c_str(), 1);
        m_password = "/tmp/revivo-cli-password-" + m_suffix;
        writeSecret(m_password, std::getenv("TESTDC_USER_PASSWORD"));
        m_user = std::getenv("TESTDC_USER_NAME") ? std::getenv("TESTDC_USER_NAME") : "";
        if (m_user.empty()) GTEST_SKIP() << "the domain is not seeded";
        m_object = "OU=Scheduled " + m_suffix + "," + m_root;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_object));
        ASSERT_TRUE(lumivel::testing::AddUser("CN=Eve " + m_suffix + "," + m_object, "Eve " + m_suffix));
    }
    void TearDown() override {
        stopService();
        std::error_code ignored;
        std::filesystem::remove_all(m_tasks, ignored);
        std::filesystem::remove(m_password, ignored);
        for (const std::string& script : m_scripts) std::filesystem::remove(script, ignored);
        BackupCommandLineTest::TearDown();
    }

    static void writeSecret(const std::string& path, const char* text) {
        std::ofstream(path) << (text ? text : "") << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }

    Outcome schedule(const std::vector<std::string>& when, const std::string& passwordFile,
                     const std::string& environment = {}) {
        std::vector<std::string> words = {"schedule", m_domain, m_object};
        words.insert(words.end(), when.begin(), when.end());
        for (const std::string& word : {std::string("--account"), m_user, std::string("--password-file"), passwordFile})
            words.push_back(word);
        return lumivelWith(environment, words);
    }

    // The service runs as root here, so it hands the job to the account lumivel, which may
    // write the backup folder as an administrator would let it.
    void handJobsToTheJobAccount() {
        m_account.emplace();
        if (!m_account->problem().empty()) GTEST_SKIP() << m_account->problem();
        ASSERT_EQ(chown(m_folder.c_str(), m_account->uid(), m_account->gid()), 0);
    }

    // The job lines of `lumivel jobs` for the object.
    std::vector<std::string> jobsOfObject() {
        Outcome jobs = lumivel({"jobs"});
        EXPECT_EQ(jobs.exitCode, 0) << jobs.err;
        std::vector<std::string> found;
        std::istringstream lines(jobs.out);
        for (std::string line; std::getline(lines, line);)
            if (line.find("\t" + m_object + "\t") != std::string::npos) found.push_back(line);
        return found;
    }

    void startService() {
        m_serviceLog = "/tmp/revivo-cli-service-" + m_suffix + ".log";
        std::string command = binaryFolder() + "/lumivel-scheduler --foreground 2>" + quote(m_serviceLog) +
                              " </dev/null >/dev/null & echo $!";
        Outcome started = run(command);
        m_service = std::atoi(started.out.c_str());
        ASSERT_GT(m_service, 0);
    }
    void stopService() {
        if (m_service <= 0) return;
        kill(m_service, SIGTERM);
        for (int i = 0; i < 200 && kill(m_service, 0) == 0; ++i) usleep(50000);
        m_service = -1;
        std::error_code ignored;
        std::filesystem::remove(m_serviceLog, ignored);
    }

    std::string m_tasks, m_password, m_user, m_object, m_serviceLog;
    std::vector<std::string> m_scripts;
    pid_t m_service = -1;
    std::optional<lumivel::testing::JobAccountForTest> m_account;
};

std::string clockText(std::time_t when, const char* format) {
    char text[32];
    std::tm local{};
    localtime_r(&when, &local);
    std::strftime(text, sizeof text, format, &local);
    return text;
}

TEST_F(ScheduleCommandLineTest, AOnceJobFiresUnderTheServiceLeavesAnArchiveAndGoes) {
    handJobsToTheJobAccount();
    startService();
    // The next full minute at least 40 seconds away, so that scheduling is done before it.
    std::time_t now = std::time(nullptr);
    std::time_t at = (now + 40 + 59) / 60 * 60;
    Outcome scheduled = schedule({"--once", clockText(at, "%Y-%m-%d"), "--at", clockText(at, "%H:%M")}, m_password);
    ASSERT_EQ(scheduled.exitCode, 0) << scheduled.err;
    EXPECT_EQ(scheduled.out.rfind("Scheduled BackupObjects (", 0), 0u) << scheduled.out;
    const std::string guid = scheduled.out.substr(25, 32);
    const std::string script = binaryFolder() + "/Scheduled Backups/BackupObjects (" + guid + ").vbs";
    m_scripts.push_back(script);
    EXPECT_EQ(readFile(script), lumivel::shared::BackupScriptText(lumivel::shared::WidenText(m_object)));
    std::vector<std::string> jobs = jobsOfObject();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_NE(jobs[0].find("\tAt " + clockText(at, "%H:%M") + " on " + clockText(at, "%Y-%m-%d") + "\t"), std::string::npos)
        << jobs[0];

    // Fired at its minute and then gone, for it has no further run time.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(at - now + 120);
    while (!jobsOfObject().empty() && std::chrono::steady_clock::now() < deadline) sleep(2);
    const std::string log = readFile(m_serviceLog);
    EXPECT_TRUE(jobsOfObject().empty()) << log;
    EXPECT_NE(log.find("\"BackupObjects (" + guid + ")\" started as the account lumivel"), std::string::npos) << log;
    EXPECT_NE(log.find("\"BackupObjects (" + guid + ")\" ended with exit code 0"), std::string::npos) << log;
    EXPECT_NE(log.find("\"BackupObjects (" + guid + ")\" has no further run time and was deleted"), std::string::npos) << log;
    EXPECT_GE(std::time(nullptr), at) << "not before its time";

    // The archive is in the backup folder of the user who scheduled it, and holds the object.
    Outcome listed = lumivel({"backups", m_domain, "--object", m_object});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("\t" + m_object + "\t2\tyes"), std::string::npos) << listed.out;
    // Written by the job account, not by root.
    for (const auto& entry : std::filesystem::directory_iterator(m_folder)) {
        struct stat st {};
        ASSERT_EQ(stat(entry.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, m_account->uid()) << entry.path();
    }
}

TEST_F(ScheduleCommandLineTest, AJobWhoseOwnersHiveCannotBeReadFailsCleanly) {
    handJobsToTheJobAccount();
    startService();
    // Scheduled with a hive of its own, which another account then takes over: the registry
    // would not read it for its owner, and neither is it handed to the job.
    const std::string owner = m_tasks + "-owner";
    ASSERT_EQ(mkdir(owner.c_str(), 0700), 0);
    const std::string hive = owner + "/user.hive";
    Outcome scheduled = schedule({"--daily", "1", "--at", "03:00"}, m_password, "LUMIVEL_USER_HIVE=" + quote(hive));
    ASSERT_EQ(scheduled.exitCode, 0) << scheduled.err;
    const std::string name = "BackupObjects (" + scheduled.out.substr(25, 32) + ")";
    m_scripts.push_back(binaryFolder() + "/Scheduled Backups/" + name + ".vbs");
    ASSERT_EQ(chown(hive.c_str(), m_account->uid(), m_account->gid()), 0);

    Outcome run = lumivel({"jobs", "run", name});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> jobs;
    for (int i = 0; i < 60; ++i) {
        jobs = jobsOfObject();
        if (jobs.size() == 1 && jobs[0].find("did not start") != std::string::npos) break;
        usleep(250000);
    }
    std::error_code ignored;
    std::filesystem::remove_all(owner, ignored);
    const std::string log = readFile(m_serviceLog);
    ASSERT_EQ(jobs.size(), 1u) << log;
    EXPECT_NE(jobs[0].find("\tdid not start: Access is denied."), std::string::npos) << jobs[0] << "\n" << log;
    EXPECT_NE(log.find("\"" + name + "\" could not start: the user hive " + hive +
                       " of the user who saved it cannot be handed to the run: Access is denied."),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("\"" + name + "\" started"), std::string::npos) << log;
    EXPECT_TRUE(std::filesystem::is_empty(m_folder)) << "no backup was made";
}

TEST_F(ScheduleCommandLineTest, AWrongPasswordIsRefusedAndNothingIsMade) {
    const std::string wrong = m_password + "-wrong";
    writeSecret(wrong, "not the password");
    Outcome refused = schedule({"--daily", "1", "--at", "03:00"}, wrong);
    std::filesystem::remove(wrong);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("Error: The user name or password is incorrect."), std::string::npos) << refused.err;
    EXPECT_TRUE(jobsOfObject().empty());
    bool anyJob = false;
    if (std::filesystem::exists(m_tasks))
        for (const auto& entry : std::filesystem::directory_iterator(m_tasks)) anyJob |= entry.path().extension() == ".job";
    EXPECT_FALSE(anyJob);
}

TEST_F(ScheduleCommandLineTest, TheSameObjectTwiceKeepsOneJobAndSaysSo) {
    Outcome first = schedule({"--weekly", "1", "--days", "mon,sun", "--at", "03:00"}, m_password);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    m_scripts.push_back(binaryFolder() + "/Scheduled Backups/BackupObjects (" + first.out.substr(25, 32) + ").vbs");
    Outcome second = schedule({"--daily", "2", "--at", "04:00"}, m_password);
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("Error: The file exists."), std::string::npos) << second.err;
    std::vector<std::string> jobs = jobsOfObject();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_NE(jobs[0].find("At 03:00 every week on Mon, Sun"), std::string::npos) << "the first job stays: " << jobs[0];

    // The form's checks hold on the command line too.
    Outcome zero = schedule({"--daily", "0", "--at", "04:00"}, m_password);
    EXPECT_EQ(zero.exitCode, 1);
    EXPECT_NE(zero.err.find("Value: The maximum allowed value is 365 days."), std::string::npos) << zero.err;

    const std::string name = "BackupObjects (" + first.out.substr(25, 32) + ")";
    Outcome run = lumivel({"jobs", "run", name});
    EXPECT_EQ(run.exitCode, 1) << "no service runs";
    EXPECT_NE(run.err.find("The Task Scheduler Service is not running."), std::string::npos) << run.err;
    Outcome deleted = lumivel({"jobs", "delete", name});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_TRUE(jobsOfObject().empty());
    EXPECT_EQ(lumivel({"jobs", "delete", name}).exitCode, 1);
}

}  // namespace

namespace {

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

TEST_F(RestoreCommandLineTest, DryRunChangesNothingAndPredictsTheRestore) {
    // A deleted OU two levels deep with a user, and a user whose name a live one took.
    std::string deptName = "Plan Dept " + m_suffix;
    std::string dept = "OU=" + deptName + "," + m_root;
    std::string team = "OU=Team," + dept;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(team));
    std::string kid = "Kid " + m_suffix;
    std::string kidGuid = deletedUser(kid, team);
    ASSERT_FALSE(kidGuid.empty());
    ASSERT_TRUE(lumivel::testing::LdapDelete(team));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dept));
    std::string twin = "Twin " + m_suffix;
    std::string twinGuid = deletedUser(twin);
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + twin + "," + m_root, twin));

    Outcome plan = lumivel({"restore", m_domain, kidGuid, twinGuid, "--dry-run", "--format", "json"});
    ASSERT_EQ(plan.exitCode, 0) << plan.err;
    std::vector<std::string> targets;
    std::regex target("\"target\": \"([^\"]*)\"");
    for (std::sregex_iterator it(plan.out.begin(), plan.out.end(), target), end; it != end; ++it)
        targets.push_back((*it)[1].str());
    ASSERT_EQ(targets, (std::vector<std::string>{dept, team, "CN=" + kid + "," + team, "CN=" + twin + "," + m_root}))
        << plan.out;
    EXPECT_EQ(occurrences(plan.out, "\"nameTaken\": true"), 1u) << plan.out;
    EXPECT_EQ(occurrences(plan.out, "\"mayReanimate\": true"), 2u) << plan.out;
    EXPECT_NE(plan.out.find("\"mayCreate\": true"), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("\"expiresUtc\": \"2"), std::string::npos) << plan.out;
    EXPECT_FALSE(lumivel::testing::LdapExists(dept));
    EXPECT_EQ(tombstoneGuid(kid), kidGuid);

    Outcome tree = lumivel({"restore", m_domain, kidGuid, "--dry-run"});
    EXPECT_EQ(tree.exitCode, 0) << tree.err;
    EXPECT_NE(tree.out.find("Dry run: nothing is changed."), std::string::npos) << tree.out;
    EXPECT_NE(tree.out.find("`- Team (organizationalUnit)"), std::string::npos) << tree.out;
    EXPECT_NE(tree.out.find("may reanimate: yes"), std::string::npos) << tree.out;

    // The real restore brings back the same objects, in the same order, at the same DNs.
    Outcome restored = lumivel({"restore", m_domain, kidGuid, "--yes"});
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(restored.out, "Restored " + deptName + " into " + m_root + "\nRestored Team into " + dept +
                                "\nRestored " + kid + " into " + team + "\n");

    Outcome unknown = lumivel({"restore", m_domain, "11111111-2222-3333-4444-555555555555", "--dry-run"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.out.find("not found"), std::string::npos) << unknown.out;
}

}  // namespace

namespace {

class SubtreeCommandLineTest : public RestoreCommandLineTest {
protected:
    // A deleted OU below the root with a user, a sub-OU holding two users, and two
    // tombstones of one name, so that the second cannot come back beside the first.
    // The OU's tombstone GUID.
    std::string deletedTree(const std::string& name) {
        std::string tree = "OU=" + name + "," + m_root;
        std::string sub = "OU=Sub," + tree;
        if (!lumivel::testing::AddOrganizationalUnit(tree) || !lumivel::testing::AddOrganizationalUnit(sub)) return {};
        for (const std::string& dn : {"CN=U1," + tree, "CN=U2," + sub, "CN=U3," + sub})
            if (!lumivel::testing::AddUser(dn, dn.substr(3, 2)) || !lumivel::testing::LdapDelete(dn)) return {};
        for (int twice = 0; twice < 2; ++twice)
            if (!lumivel::testing::AddUser("CN=Dup," + tree, "Dup") || !lumivel::testing::LdapDelete("CN=Dup," + tree))
                return {};
        if (!lumivel::testing::LdapDelete(sub) || !lumivel::testing::LdapDelete(tree)) return {};
        std::vector<std::string> dns =
            lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn, "(ou=" + name + "*)");
        size_t del = dns.size() == 1 ? dns[0].find("DEL:") : std::string::npos;
        return del == std::string::npos ? std::string() : dns[0].substr(del + 4, 36);
    }
};

TEST_F(SubtreeCommandLineTest, ADeletedOuComesBackWithEverythingBelowItParentsFirst) {
    std::string name = "Kept " + m_suffix;
    std::string guid = deletedTree(name);
    ASSERT_FALSE(guid.empty());
    std::string tree = "OU=" + name + "," + m_root;
    Outcome restored = lumivel({"restore", m_domain, guid, "--subtree", "--keep-going", "--yes"});
    EXPECT_EQ(restored.exitCode, 1) << restored.err;
    std::vector<std::string> report = lines(restored.out);
    ASSERT_EQ(report.size(), 8u) << restored.out;
    EXPECT_EQ(report[0], "Restored " + name + " into " + m_root);
    // Each object after its parent: the sub-OU before its users.
    auto at = [&](const std::string& line) { return std::find(report.begin(), report.end(), line) - report.begin(); };
    EXPECT_LT(at("Restored Sub into " + tree), at("Restored U2 into OU=Sub," + tree)) << restored.out;
    EXPECT_LT(at("Restored U3 into OU=Sub," + tree), 7);
    EXPECT_LT(at("Restored U1 into " + tree), 7);
    EXPECT_LT(at("Restored Dup into " + tree), 7);
    EXPECT_EQ(occurrences(restored.out, "Not restored Dup: "), 1u) << restored.out;
    EXPECT_EQ(report.back(), "6 of 7 objects restored");
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=U3,OU=Sub," + tree));
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=U1," + tree));
}

TEST_F(SubtreeCommandLineTest, WithoutKeepGoingTheFirstFailureStopsAndTheRestIsListed) {
    std::string name = "Stops " + m_suffix;
    std::string guid = deletedTree(name);
    ASSERT_FALSE(guid.empty());
    Outcome refused = lumivel({"restore", m_domain, guid, "--subtree"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("confirm with --yes"), std::string::npos) << refused.err;

    Outcome restored = lumivel({"restore", m_domain, guid, "--subtree", "--yes"});
    EXPECT_EQ(restored.exitCode, 1) << restored.err;
    std::vector<std::string> report = lines(restored.out);
    ASSERT_EQ(report.size(), 8u) << restored.out;
    size_t failed = std::find_if(report.begin(), report.end(),
                                 [](const std::string& line) { return line.rfind("Not restored Dup: ", 0) == 0; }) -
                    report.begin();
    ASSERT_LT(failed, 7u) << restored.out;
    size_t done = 0;
    for (size_t i = 0; i < 7; ++i) {
        if (i < failed) {
            EXPECT_EQ(report[i].rfind("Restored ", 0), 0u) << report[i];
        } else if (i > failed) {
            EXPECT_EQ(report[i].rfind("Not attempted ", 0), 0u) << report[i];
        }
        done += i < failed ? 1 : 0;
    }
    EXPECT_EQ(report.back(), std::to_string(done) + " of 7 objects restored");
    // What was not attempted is still a tombstone, and a second run brings it back.
    if (failed < 6) {
        Outcome rest = lumivel({"restore", m_domain, "--subtree", "--yes", guid});
        EXPECT_EQ(rest.exitCode, 1) << rest.out;  // the container is live now: no tombstone to start from
    }
    Outcome mistakes = lumivel({"restore", m_domain, guid, guid, "--subtree"});
    EXPECT_EQ(mistakes.exitCode, 2);
    EXPECT_EQ(lumivel({"restore", m_domain, guid, "--keep-going"}).exitCode, 2);
}

}  // namespace

namespace {

TEST_F(RestoreCommandLineTest, RestoreToPutsTheObjectIntoALiveContainerThatAcceptsIt) {
    std::string other = "OU=Elsewhere," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(other));
    std::string moved = "Moved " + m_suffix;
    std::string movedGuid = deletedUser(moved);
    ASSERT_FALSE(movedGuid.empty());
    Outcome into = lumivel({"restore", m_domain, movedGuid, "--to", other, "--yes"});
    EXPECT_EQ(into.exitCode, 0) << into.err;
    EXPECT_EQ(into.out, "Restored " + moved + " into " + other + "\n");
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + moved + "," + other));
    EXPECT_FALSE(lumivel::testing::LdapExists("CN=" + moved + "," + m_root));

    // A user holds no users, and a container that is not there holds nothing.
    std::string holder = "CN=Holder " + m_suffix + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddUser(holder, "Holder " + m_suffix));
    std::string kept = "Kept " + m_suffix;
    std::string keptGuid = deletedUser(kept);
    ASSERT_FALSE(keptGuid.empty());
    Outcome refused = lumivel({"restore", m_domain, keptGuid, "--to", holder, "--yes"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "Not restored " + kept + ": Restore Object: The container " + holder +
                               " does not accept an object of class user.\n");
    Outcome missing = lumivel({"restore", m_domain, keptGuid, "--to", "OU=Nowhere," + m_root, "--yes"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.out.find("The container OU=Nowhere," + m_root + " cannot be used: "), std::string::npos)
        << missing.out;
    EXPECT_EQ(tombstoneGuid(kept), keptGuid);
    EXPECT_EQ(lumivel({"restore", m_domain, keptGuid, "--to", other, "--subtree"}).exitCode, 2);
}

}  // namespace

namespace {

// The values of one attribute of a live object, sorted.
std::vector<std::string> liveValues(const std::string& dn, const std::string& attribute) {
    Outcome read = run("ldapsearch -Q -Y GSSAPI -N -O minssf=56 -H ldap://" + lumivel::testing::TestDirectory().server +
                       " -LLL -o ldif-wrap=no -b " + quote(dn) + " -s base '(objectClass=*)' " + quote(attribute));
    std::vector<std::string> values;
    for (const std::string& line : lines(read.out))
        if (line.rfind(attribute + ": ", 0) == 0) values.push_back(line.substr(attribute.size() + 2));
    std::sort(values.begin(), values.end());
    return values;
}

TEST_F(BackupCommandLineTest, ReapplyWritesBackTheBackedUpValuesAndMemberships) {
    std::string name = "Reapplied " + m_suffix;
    std::string user = "CN=" + name + "," + m_root;
    std::string group = "CN=Readers " + m_suffix + "," + m_root;
    ASSERT_TRUE(lumivel::testing::LdapAdd(user, {"objectClass: user\n", "cn: " + name + "\n",
                                                 "sAMAccountName: r" + m_suffix + "\n",
                                                 "description: Keeps the archive\n", "telephoneNumber: +1 555 0100\n",
                                                 "otherTelephone: +1 555 0101\n", "otherTelephone: +1 555 0102\n",
                                                 "otherTelephone: +1 555 0103\n"}));
    ASSERT_TRUE(lumivel::testing::LdapAdd(group, {"objectClass: group\n", "cn: Readers " + m_suffix + "\n",
                                                  "sAMAccountName: g" + m_suffix + "\n", "member: " + user + "\n"}));
    Outcome backedUp = lumivel({"backup", m_domain, m_root});
    ASSERT_EQ(backedUp.exitCode, 0) << backedUp.err;
    ASSERT_TRUE(lumivel::testing::LdapDelete(user));
    EXPECT_TRUE(liveValues(group, "member").empty());
    std::string guid = tombstoneGuid(name);
    ASSERT_FALSE(guid.empty());

    EXPECT_EQ(lumivel({"restore", m_domain, guid, "--reapply", "--yes"}).exitCode, 2);
    Outcome restored = lumivel({"restore", m_domain, guid, "--from-backup", "latest", "--reapply", "--yes"});
    EXPECT_EQ(restored.exitCode, 0) << restored.out << restored.err;
    std::vector<std::string> report = lines(restored.out);
    ASSERT_GE(report.size(), 3u) << restored.out;
    EXPECT_EQ(report[0], "Restored " + name + " into " + m_root);
    EXPECT_EQ(report[1].rfind("Re-applied to " + name + ": written ", 0), 0u) << restored.out;
    EXPECT_NE(report[1].find("description"), std::string::npos) << restored.out;
    EXPECT_NE(report[1].find("otherTelephone"), std::string::npos) << restored.out;
    EXPECT_NE(restored.out.find("  member of " + group + " again\n"), std::string::npos) << restored.out;
    EXPECT_EQ(restored.out.find("refused"), std::string::npos) << restored.out;

    EXPECT_EQ(liveValues(user, "description"), std::vector<std::string>{"Keeps the archive"});
    EXPECT_EQ(liveValues(user, "telephoneNumber"), std::vector<std::string>{"+1 555 0100"});
    EXPECT_EQ(liveValues(user, "otherTelephone"),
              (std::vector<std::string>{"+1 555 0101", "+1 555 0102", "+1 555 0103"}));
    EXPECT_EQ(liveValues(group, "member"), std::vector<std::string>{user});
}

}  // namespace

namespace {

class AuditCommandLineTest : public RestoreCommandLineTest {
protected:
    void SetUp() override {
        RestoreCommandLineTest::SetUp();
        if (IsSkipped()) return;
        m_log = "/tmp/lumivel-audit-" + m_suffix + "/audit.log";
        setenv("LUMIVEL_AUDIT_LOG", m_log.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("LUMIVEL_AUDIT_LOG");
        std::error_code ignored;
        if (!m_log.empty()) std::filesystem::remove_all(std::filesystem::path(m_log).parent_path(), ignored);
        RestoreCommandLineTest::TearDown();
    }
    std::string m_log;
};

TEST_F(AuditCommandLineTest, EveryRestoreLeavesALineAndALogThatCannotBeWrittenIsSaid) {
    std::string name = "Audited " + m_suffix;
    std::string guid = deletedUser(name);
    ASSERT_FALSE(guid.empty());
    ASSERT_EQ(lumivel({"restore", m_domain, guid, "--yes"}).exitCode, 0);
    std::string taken = "Taken " + m_suffix;
    std::string takenGuid = deletedUser(taken);
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + taken + "," + m_root, taken));
    ASSERT_EQ(lumivel({"restore", m_domain, takenGuid, "--yes"}).exitCode, 1);

    Outcome log = lumivel({"log", "--since", "1h"});
    ASSERT_EQ(log.exitCode, 0) << log.err;
    std::vector<std::string> entries = lines(log.out);
    ASSERT_EQ(entries.size(), 2u) << log.out;
    const char* realm = std::getenv("TESTDC_REALM");
    EXPECT_NE(entries[0].find("@" + std::string(realm ? realm : "") + "\", \"command\""), std::string::npos) << entries[0];
    EXPECT_NE(entries[0].find("\"command\": \"restore\", \"object\": \"CN=" + name + "\\\\0ADEL:" + guid), std::string::npos)
        << entries[0];
    EXPECT_NE(entries[0].find("\"guid\": \"" + guid + "\", \"dc\": \"" + lumivel::testing::TestDirectory().server),
              std::string::npos)
        << entries[0];
    EXPECT_NE(entries[0].find("\"result\": \"success\", \"error\": \"\"}"), std::string::npos) << entries[0];
    EXPECT_NE(entries[1].find("\"result\": \"failure\""), std::string::npos) << entries[1];
    EXPECT_EQ(lumivel({"log", "--since", "2999-01-01"}).out, "");
    EXPECT_EQ(lumivel({"log", "--since", "soon"}).exitCode, 2);

    // A log that cannot be written: the restore is done and said, and so is the log's failure.
    std::string other = "Unlogged " + m_suffix;
    std::string otherGuid = deletedUser(other);
    Outcome unlogged = lumivelWith("LUMIVEL_AUDIT_LOG=/proc/lumivel-none/audit.log", {"restore", m_domain, otherGuid, "--yes"});
    EXPECT_EQ(unlogged.exitCode, 0) << unlogged.err;
    EXPECT_NE(unlogged.err.find("Audit Log: The audit log could not be written: it could not be appended to "
                                "/proc/lumivel-none/audit.log"),
              std::string::npos)
        << unlogged.err;
}

}  // namespace
