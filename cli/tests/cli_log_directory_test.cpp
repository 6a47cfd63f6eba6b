// `lumivel log`: the audit log that restores leave.
#include "cli/tests/cli_directory_fixture.h"

#include <cstdlib>
#include <filesystem>

#include <nlohmann/json.hpp>

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

    Outcome log = lumivel({"log", "--since", "1h", "--format", "json"});
    ASSERT_EQ(log.exitCode, 0) << log.err;
    const nlohmann::json document = nlohmann::json::parse(log.out);
    EXPECT_EQ(document["version"], 1);
    const nlohmann::json& entries = document["entries"];
    ASSERT_EQ(entries.size(), 2u) << log.out;
    const char* realm = std::getenv("TESTDC_REALM");
    const std::string principal = entries[0]["principal"];
    EXPECT_EQ(principal.substr(principal.find('@')), "@" + std::string(realm ? realm : "")) << principal;
    EXPECT_EQ(entries[0]["command"], "restore");
    EXPECT_EQ(entries[0]["object"].get<std::string>().rfind("CN=" + name + "\\0ADEL:" + guid, 0), 0u) << entries[0];
    EXPECT_EQ(entries[0]["guid"], guid);
    EXPECT_EQ(entries[0]["dc"].get<std::string>().rfind(lumivel::testing::TestDirectory().server, 0), 0u) << entries[0];
    EXPECT_EQ(entries[0]["result"], "success");
    EXPECT_EQ(entries[0]["error"], "");
    EXPECT_EQ(entries[1]["result"], "failure");
    // The table says the same, a line per entry below its heading.
    Outcome table = lumivel({"log", "--since", "1h"});
    EXPECT_EQ(lines(table.out).size(), 3u) << table.out;
    EXPECT_NE(table.out.find("restore"), std::string::npos) << table.out;
    EXPECT_EQ(nlohmann::json::parse(lumivel({"log", "--since", "2999-01-01", "-f", "json"}).out)["entries"].size(), 0u);
    Outcome soon = lumivel({"log", "--since", "soon"});
    EXPECT_EQ(soon.exitCode, 2);
    EXPECT_NE(soon.err.find("Try 'lumivel log --help'"), std::string::npos) << soon.err;

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
