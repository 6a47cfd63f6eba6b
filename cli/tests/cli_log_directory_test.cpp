// `lumivel log`: the audit log that restores leave.
#include "cli/tests/cli_directory_fixture.h"

#include <cstdlib>
#include <filesystem>

#include "tests/support/directory_fixture.h"

namespace lumivel_cli::tests {
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
    Outcome unlogged = lumivelWith({{"LUMIVEL_AUDIT_LOG", "/proc/lumivel-none/audit.log"}}, {"restore", m_domain, otherGuid, "--yes"});
    EXPECT_EQ(unlogged.exitCode, 0) << unlogged.err;
    EXPECT_NE(unlogged.err.find("Audit Log: The audit log could not be written: it could not be appended to "
                                "/proc/lumivel-none/audit.log"),
              std::string::npos)
        << unlogged.err;
}

}  // namespace
}  // namespace lumivel_cli::tests
