// What re-applying a backup needs consent for, which archives are believed, and what the audit
// log says of it: against the test domain, from the command line.
#include "cli/tests/cli_directory_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/support/directory_fixture.h"

namespace lumivel_cli::tests {
namespace {

std::vector<std::string> valuesOf(const std::string& dn, const std::string& attribute) {
    Outcome read = run("ldapsearch -Q -Y GSSAPI -N -O minssf=56 -H ldap://" + lumivel::testing::TestDirectory().server +
                       " -LLL -o ldif-wrap=no -b " + ShellQuote(dn) + " -s base '(objectClass=*)' " + ShellQuote(attribute));
    std::vector<std::string> values;
    for (const std::string& line : lines(read.out))
        if (line.rfind(attribute + ": ", 0) == 0) values.push_back(line.substr(attribute.size() + 2));
    return values;
}

std::string archiveIn(const std::string& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".zip") return entry.path().filename().string();
    return {};
}

class ArchiveTrustTest : public BackupCommandLineTest {
protected:
    // A user with a logon script, in an ordinary group and in one the directory protects,
    // backed up and deleted.
    void SetUp() override {
        BackupCommandLineTest::SetUp();
        if (IsSkipped()) return;
        m_name = "Consent " + m_suffix;
        m_user = "CN=" + m_name + "," + m_root;
        m_readers = "CN=Readers " + m_suffix + "," + m_root;
        m_admins = "CN=Protected " + m_suffix + "," + m_root;
        ASSERT_TRUE(lumivel::testing::LdapAdd(m_user, {"objectClass: user\n", "cn: " + m_name + "\n",
                                                       "sAMAccountName: c" + m_suffix + "\n",
                                                       "description: Back from the archive\n",
                                                       "scriptPath: \\\\evil\\netlogon\\run.cmd\n"}));
        ASSERT_TRUE(lumivel::testing::LdapAdd(m_readers, {"objectClass: group\n", "cn: Readers " + m_suffix + "\n",
                                                          "sAMAccountName: r" + m_suffix + "\n", "member: " + m_user + "\n"}));
        ASSERT_TRUE(lumivel::testing::LdapAdd(m_admins, {"objectClass: group\n", "cn: Protected " + m_suffix + "\n",
                                                         "sAMAccountName: p" + m_suffix + "\n", "adminCount: 1\n",
                                                         "member: " + m_user + "\n"}));
        Outcome backedUp = lumivel({"backup", m_domain, m_root});
        ASSERT_EQ(backedUp.exitCode, 0) << backedUp.err;
        m_archive = archiveIn(m_folder);
        ASSERT_FALSE(m_archive.empty());
        ASSERT_TRUE(lumivel::testing::LdapDelete(m_user));
        m_guid = tombstoneGuid(m_name);
        ASSERT_FALSE(m_guid.empty());
    }

    // Deletes the restored user again, so that the next restore has a tombstone.
    void deleteAgain() {
        ASSERT_TRUE(lumivel::testing::LdapDelete(m_user));
        m_guid = tombstoneGuid(m_name);
        ASSERT_FALSE(m_guid.empty());
    }

    std::string m_name, m_user, m_readers, m_admins, m_archive, m_guid;
};

TEST_F(ArchiveTrustTest, SensitiveValuesAndProtectedGroupsWaitForConsent) {
    Outcome plan = lumivel({"restore", m_domain, m_guid, "--from-backup", "latest", "--reapply", "--dry-run"});
    EXPECT_EQ(plan.exitCode, 0) << plan.err;
    EXPECT_NE(plan.out.find("re-applied from " + m_folder), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("withheld without --reapply-sensitive: "), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("scriptPath (runs a script at every logon)"), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("would join: " + m_readers), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("groups withheld without --reapply-sensitive: " + m_admins), std::string::npos) << plan.out;
    EXPECT_TRUE(valuesOf(m_readers, "member").empty()) << "a plan writes nothing";

    std::string log = m_folder + "-audit.log";
    Outcome withheld = lumivelWith({{"LUMIVEL_AUDIT_LOG", log}},
                                   {"restore", m_domain, m_guid, "--from-backup", "latest", "--reapply", "--yes"});
    EXPECT_EQ(withheld.exitCode, 0) << withheld.out << withheld.err;
    EXPECT_NE(withheld.out.find("withheld scriptPath"), std::string::npos) << withheld.out;
    EXPECT_NE(withheld.out.find("withheld membership of " + m_admins), std::string::npos) << withheld.out;
    EXPECT_EQ(valuesOf(m_user, "description"), std::vector<std::string>{"Back from the archive"});
    EXPECT_TRUE(valuesOf(m_user, "scriptPath").empty());
    EXPECT_EQ(valuesOf(m_readers, "member"), std::vector<std::string>{m_user});
    EXPECT_TRUE(valuesOf(m_admins, "member").empty());

    // The audit line names the archive by its path and digest, and what was and was not written.
    std::ifstream in(log);
    std::string line, reapplied;
    while (std::getline(in, line))
        if (line.find("\"command\": \"reapply-backup\"") != std::string::npos) reapplied = line;
    EXPECT_NE(reapplied.find("\"archive\": \"" + m_folder + "/" + m_archive + "\""), std::string::npos) << reapplied;
    EXPECT_NE(reapplied.find("\"archiveSha256\": \""), std::string::npos) << reapplied;
    EXPECT_NE(reapplied.find("\"groupsJoined\": [\"" + m_readers + "\"]"), std::string::npos) << reapplied;
    EXPECT_NE(reapplied.find("scriptPath (Withheld)"), std::string::npos) << reapplied;
    EXPECT_NE(reapplied.find("\"newDn\": \"" + m_user + "\""), std::string::npos) << reapplied;
    std::filesystem::remove(log);

    deleteAgain();
    Outcome consented = lumivel(
        {"restore", m_domain, m_guid, "--from-backup", "latest", "--reapply", "--reapply-sensitive", "--yes"});
    EXPECT_EQ(consented.exitCode, 0) << consented.out << consented.err;
    EXPECT_EQ(valuesOf(m_user, "scriptPath"), std::vector<std::string>{"\\\\evil\\netlogon\\run.cmd"});
    EXPECT_EQ(valuesOf(m_admins, "member"), std::vector<std::string>{m_user});
}

TEST_F(ArchiveTrustTest, AnArchiveOthersMayWriteOrThatClaimsAnotherTimeIsUsedOnlyWhenNamed) {
    ASSERT_EQ(::chmod(m_folder.c_str(), 0777), 0);
    Outcome listed = lumivel({"backups", m_domain, "--format", "tsv"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("its folder may be written by every user"), std::string::npos) << listed.out;

    Outcome refused = lumivel({"restore", m_domain, m_guid, "--from-backup", "latest", "--reapply", "--yes"});
    EXPECT_EQ(refused.exitCode, 1) << refused.out;
    EXPECT_NE(refused.out.find("no archive latest that may be trusted"), std::string::npos) << refused.out;
    EXPECT_TRUE(valuesOf(m_user, "description").empty()) << "nothing of the archive was written";

    deleteAgain();
    Outcome named = lumivel({"restore", m_domain, m_guid, "--from-backup", "latest", "--trust-archive", m_archive,
                             "--reapply", "--yes"});
    EXPECT_EQ(named.exitCode, 0) << named.out << named.err;
    EXPECT_EQ(valuesOf(m_user, "description"), std::vector<std::string>{"Back from the archive"});

    // Written days after the time it records: someone chose that time.
    ASSERT_EQ(::chmod(m_folder.c_str(), 0755), 0);
    ASSERT_EQ(run("touch -d '+3 days' " + ShellQuote(m_folder + "/" + m_archive)).exitCode, 0);
    Outcome dated = lumivel({"backups", m_domain, "--format", "json"});
    EXPECT_NE(dated.out.find("is far from when the file was written"), std::string::npos) << dated.out;
    deleteAgain();
    Outcome stale = lumivel({"restore", m_domain, m_guid, "--from-backup", m_archive, "--reapply", "--yes"});
    EXPECT_EQ(stale.exitCode, 1) << stale.out;
    EXPECT_NE(stale.out.find("is not trusted"), std::string::npos) << stale.out;
    EXPECT_NE(stale.out.find("--trust-archive " + m_archive), std::string::npos) << stale.out;
}

}  // namespace
}  // namespace lumivel_cli::tests
