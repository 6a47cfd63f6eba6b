// `lumivel restore` at a terminal, against the test directory: what the provider would ask in a
// dialog (a name that is taken, the archive a deleted parent comes back from) it hands back,
// the command line asks the person, and the restore runs again with the answer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "lumivel/registry_key.h"
#include "provider/backup/backup_folder.h"
#include "shared/text_helpers.h"
#include "tests/support/child_process.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"
#include "tests/support/pseudo_terminal.h"

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

using lumivel::testing::ShellQuote;

std::string binaryFolder() {
    const char* folder = std::getenv("LUMIVEL_BIN_DIR");
    return folder ? folder : ".";
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class TerminalQuestionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string command = binaryFolder() + "/regsvr /s " + ShellQuote(binaryFolder() + "/RevivoProvider.so");
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    void SetUp() override {
        REQUIRE_TEST_DIRECTORY();
        m_domain = lumivel::testing::TestDirectory().domain;
        m_suffix = lumivel::testing::UniqueSuffix();
        m_root = "OU=RevivoCliAsks " + m_suffix + "," + lumivel::testing::TestDirectory().baseDn;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_root));
        m_folder = "/tmp/revivo-cli-asks-" + m_suffix;
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
    // The GUID of the one tombstone whose cn begins with the name.
    static std::string tombstoneGuid(const std::string& name) {
        auto tombstones = lumivel::testing::TombstoneTimes(name);
        if (tombstones.size() != 1) return {};
        size_t del = tombstones[0].first.find("DEL:");
        return del == std::string::npos ? std::string() : tombstones[0].first.substr(del + 4, 36);
    }
    lumivel::testing::TerminalRun restoreTyping(const std::string& guid, const std::string& typed) {
        return lumivel::testing::RunOnTerminal({binaryFolder() + "/lumivel", "restore", m_domain, guid},
                                               std::chrono::seconds(90), typed);
    }
    std::string m_domain, m_suffix, m_root, m_folder;
};

TEST_F(TerminalQuestionsTest, ATakenNameIsAskedUntilAFreeOneIsTyped) {
    std::string name = "Asked " + m_suffix, dn = "CN=" + name + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    std::string guid = tombstoneGuid(name);
    ASSERT_FALSE(guid.empty());
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    std::string busy = "Busy " + m_suffix;
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + busy + "," + m_root, busy));

    // Confirmed, then a name that is taken too, then a free one.
    std::string free = "Free " + m_suffix;
    lumivel::testing::TerminalRun run = restoreTyping(guid, "y\n" + busy + "\n" + free + "\n");
    EXPECT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Name: " + name + " is taken there. Restore it under another name"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Name: " + busy + " is taken there."), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Restored " + free + " into " + m_root + " (renamed: " + name + " was taken)"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(occurrences(run.output, "successfully restored"), 1u) << run.output;
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + free + "," + m_root));

    // An empty line leaves it: nothing is restored, and it says why.
    std::string other = "Left " + m_suffix, otherDn = "CN=" + other + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddUser(otherDn, other));
    ASSERT_TRUE(lumivel::testing::LdapDelete(otherDn));
    std::string otherGuid = tombstoneGuid(other);
    ASSERT_TRUE(lumivel::testing::AddUser(otherDn, other));
    lumivel::testing::TerminalRun left = restoreTyping(otherGuid, "y\n\n");
    EXPECT_FALSE(left.timedOut) << left.output;
    EXPECT_EQ(left.exitCode, 1) << left.output;
    EXPECT_NE(left.output.find("Not restored " + other + ": the name " + other + " is taken"), std::string::npos)
        << left.output;
    EXPECT_EQ(tombstoneGuid(other), otherGuid);
}

TEST_F(TerminalQuestionsTest, TheArchiveOfADeletedParentIsChosenFromTheOnesThatHoldIt) {
    std::string dept = "OU=Dept " + m_suffix + "," + m_root, kid = "Kid " + m_suffix;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept));
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + kid + "," + dept, kid));
    lumivel::testing::ChildResult backedUp =
        lumivel::testing::RunShell(binaryFolder() + "/lumivel backup " + ShellQuote(m_domain) + " " + ShellQuote(dept));
    ASSERT_EQ(backedUp.exitCode, 0u) << backedUp.output;
    ASSERT_TRUE(lumivel::testing::LdapDelete("CN=" + kid + "," + dept));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dept));
    std::vector<std::string> parent =
        lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn, "(ou=Dept " + m_suffix + "*)");
    ASSERT_EQ(parent.size(), 1u);
    ASSERT_TRUE(lumivel::testing::PurgeTombstone(parent[0]));
    std::string guid = tombstoneGuid(kid);
    ASSERT_FALSE(guid.empty());

    lumivel::testing::TerminalRun run = restoreTyping(guid, "y\n1\n");
    EXPECT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Archives in the backup folder that hold the object, newest first:"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("1) {"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Restored " + kid + " into " + dept), std::string::npos) << run.output;
    // The run that asked went on without the archive and failed; the answer made that moot.
    EXPECT_EQ(run.output.find("Could not create the container"), std::string::npos) << run.output;
    EXPECT_TRUE(lumivel::testing::LdapExists(dept));
}

}  // namespace
