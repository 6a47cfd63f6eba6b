// `lumivel restore --from-backup` and `--reapply`: a deleted parent recreated from an archive,
// and an archive's values written back onto the restored object.
#include "cli/tests/cli_directory_fixture.h"

#include <algorithm>

#include "tests/support/directory_fixture.h"

namespace lumivel_cli::tests {
namespace {

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

// The values of one attribute of a live object, sorted.
std::vector<std::string> liveValues(const std::string& dn, const std::string& attribute) {
    Outcome read = run("ldapsearch -Q -Y GSSAPI -N -O minssf=56 -H ldap://" + lumivel::testing::TestDirectory().server +
                       " -LLL -o ldif-wrap=no -b " + ShellQuote(dn) + " -s base '(objectClass=*)' " + ShellQuote(attribute));
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
}  // namespace lumivel_cli::tests
