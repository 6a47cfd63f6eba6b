// `lumivel restore` at a terminal: what the provider would ask in a dialog (a name that is
// taken, the archive a deleted parent comes back from) it hands back, the command line asks the
// person, and the restore runs again with the answer.
#include "cli/tests/cli_directory_fixture.h"

#include <chrono>

#include "tests/support/directory_fixture.h"
#include "tests/support/pseudo_terminal.h"

namespace lumivel_cli::tests {
namespace {

class TerminalQuestionsTest : public BackupCommandLineTest {
protected:
    lumivel::testing::TerminalRun restoreTyping(const std::string& guid, const std::string& typed) {
        return lumivel::testing::RunOnTerminal({lumivelProgram(), "restore", m_domain, guid}, std::chrono::seconds(90),
                                               typed);
    }
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
    Outcome backedUp = lumivel({"backup", m_domain, dept});
    ASSERT_EQ(backedUp.exitCode, 0) << backedUp.err;
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
}  // namespace lumivel_cli::tests
