// `lumivel restore --from-backup` and `--reapply`: a deleted parent recreated from an archive,
// and an archive's values written back onto the restored object.
#include "cli/tests/cli_directory_fixture.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

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

// A parent's tombstone gone for good leaves the child with no last known parent at all: only
// the child's own backup section can say where it lived.
TEST_F(BackupCommandLineTest, WithoutALastKnownParentTheObjectsOwnSectionNamesItsFormerParent) {
    std::string dept = "OU=" + lumivel::testing::EscapeRdnValue("Dept, \"q\" " + m_suffix) + "," + m_root;
    std::string team = "OU=Team " + m_suffix + "," + dept;
    std::string name = "Orphan " + m_suffix;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(team));
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + name + "," + team, name));
    Outcome backedUp = lumivel({"backup", m_domain, dept});
    ASSERT_EQ(backedUp.exitCode, 0) << backedUp.err;
    ASSERT_TRUE(lumivel::testing::LdapDelete("CN=" + name + "," + team));
    ASSERT_TRUE(lumivel::testing::LdapDelete(team));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dept));
    for (const char* filter : {"(ou=Team ", "(ou=Dept*"}) {
        std::vector<std::string> gone =
            lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn, std::string(filter) + m_suffix + "*)");
        ASSERT_EQ(gone.size(), 1u) << filter;
        ASSERT_TRUE(lumivel::testing::PurgeTombstone(gone[0], true));
    }
    std::string guid = tombstoneGuid(name);
    ASSERT_FALSE(guid.empty());
    Outcome parent = run("ldapsearch -Q -Y GSSAPI -N -O minssf=56 -H ldap://" + lumivel::testing::TestDirectory().server +
                         " -LLL -o ldif-wrap=no -E 1.2.840.113556.1.4.417 -b " +
                         ShellQuote("<GUID=" + guid + ">") + " -s base '(objectClass=*)' lastKnownParent");
    ASSERT_EQ(parent.out.find("lastKnownParent:"), std::string::npos) << parent.out;

    // No archive holds it: the message says what is unknown and where to look.
    std::vector<std::string> archives;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder))
        if (entry.path().extension() == ".zip") archives.push_back(entry.path().string());
    ASSERT_EQ(archives.size(), 1u);
    std::string aside = m_folder + ".aside.zip";
    ASSERT_EQ(std::rename(archives[0].c_str(), aside.c_str()), 0);
    Outcome unknown = lumivel({"restore", m_domain, guid, "--yes"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("former parent of this object is unknown"), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("lumivel backups " + m_domain + " --object " + guid), std::string::npos) << unknown.err;
    EXPECT_EQ(unknown.err.find("the provider did not restore it"), std::string::npos) << unknown.err;
    ASSERT_EQ(std::rename(aside.c_str(), archives[0].c_str()), 0);

    // From the backup: the whole container path comes back and the object goes into it.
    Outcome restored = lumivel({"restore", m_domain, guid, "--yes", "--from-backup", "latest"});
    EXPECT_EQ(restored.exitCode, 0) << restored.out << restored.err;
    EXPECT_TRUE(lumivel::testing::LdapExists(dept));
    EXPECT_TRUE(lumivel::testing::LdapExists(team));
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + name + "," + team));
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

// Groups live elsewhere than their members: the user's own section says which groups to
// rejoin, though none of them was backed up.
TEST_F(BackupCommandLineTest, ReapplyRejoinsTheGroupsOfTheObjectsOwnSection) {
    std::string people = "OU=People " + m_suffix + "," + m_root;
    std::string groups = "OU=Groups " + m_suffix + "," + m_root;
    std::string name = "Joiner " + m_suffix;
    std::string user = "CN=" + name + "," + people;
    std::string kept = "CN=Kept " + m_suffix + "," + groups;
    std::string gone = "CN=Gone " + m_suffix + "," + groups;
    std::string other = "CN=Other " + m_suffix + "," + groups;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(people));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(groups));
    ASSERT_TRUE(lumivel::testing::AddUser(user, name));
    int n = 0;
    for (const std::string& group : {kept, gone, other})
        ASSERT_TRUE(lumivel::testing::LdapAdd(group, {"objectClass: group\n", "sAMAccountName: j" + std::to_string(++n) + m_suffix + "\n",
                                                      "member: " + user + "\n"}));
    Outcome backedUp = lumivel({"backup", m_domain, user});
    ASSERT_EQ(backedUp.exitCode, 0) << backedUp.err;
    ASSERT_TRUE(lumivel::testing::LdapDelete(user));
    ASSERT_TRUE(lumivel::testing::LdapDelete(gone));
    std::string guid = tombstoneGuid(name);
    ASSERT_FALSE(guid.empty());
    Outcome restored = lumivel({"restore", m_domain, guid, "--from-backup", "latest", "--reapply", "--yes"});
    EXPECT_EQ(restored.exitCode, 0) << restored.out << restored.err;
    EXPECT_NE(restored.out.find("  member of " + kept + " again\n"), std::string::npos) << restored.out;
    EXPECT_NE(restored.out.find("  not added to " + gone + ": the group is gone\n"), std::string::npos) << restored.out;
    EXPECT_EQ(restored.out.find("memberOf"), std::string::npos) << "never written as an attribute: " << restored.out;
    EXPECT_NE(restored.out.find("  member of " + other + " again\n"), std::string::npos) << restored.out;
    EXPECT_EQ(liveValues(kept, "member"), std::vector<std::string>{user});
    EXPECT_EQ(liveValues(other, "member"), std::vector<std::string>{user});
}

}  // namespace
}  // namespace lumivel_cli::tests
