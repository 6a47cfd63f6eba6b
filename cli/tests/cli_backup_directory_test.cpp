// `lumivel backup` and `lumivel backups` against the test directory.
#include "cli/tests/cli_directory_fixture.h"

#include <filesystem>
#include <sstream>

#include "tests/support/directory_fixture.h"

namespace lumivel_cli::tests {
namespace {

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

    Outcome listed = lumivel({"backups", m_domain, "--object", ada, "--format", "tsv"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    std::istringstream lines(listed.out);
    std::string header, newest, older;
    std::getline(lines, header);
    std::getline(lines, newest);
    std::getline(lines, older);
    EXPECT_EQ(header, "name\tpath\tdate\torigin\tobjects\tholdsObject\ttrusted\tdistrust");
    // Newest first: the second backup (the unit and both objects below it).
    EXPECT_NE(newest.find("\t" + m_root + "\t3\ttrue\ttrue\t"), std::string::npos) << "held, and written by you: "
                                                                                 << listed.out;
    EXPECT_EQ(older.rfind(std::filesystem::path(archive).filename().string() + "\t", 0), 0u) << listed.out;
    EXPECT_NE(older.find("\t" + team + "\t2\ttrue"), std::string::npos) << "the unit and Ada, Ada once";
    Outcome unrelated = lumivel({"backups", m_domain, "--object", "{00000000-0000-0000-0000-000000000001}", "-f", "tsv"});
    EXPECT_EQ(unrelated.exitCode, 0);
    EXPECT_EQ(unrelated.out.find("\ttrue\ttrue"), std::string::npos) << unrelated.out;
    EXPECT_NE(unrelated.out.find("\tfalse\ttrue"), std::string::npos) << unrelated.out;
    EXPECT_EQ(lumivel({"backups", m_domain, "--object", "CN=Nobody " + m_suffix + "," + m_root}).exitCode, 1);

    // A run that stores nothing says why and fails.
    Outcome missing = lumivel({"backup", m_domain, "OU=Missing " + m_suffix + "," + m_root});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_NE(missing.err.find("There is no such object on the server."), std::string::npos) << missing.err;
    EXPECT_EQ(lumivel({"backup", m_domain}).exitCode, 2);
}

}  // namespace
}  // namespace lumivel_cli::tests
