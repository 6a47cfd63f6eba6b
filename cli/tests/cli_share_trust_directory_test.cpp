// Archives in the default backup folder, the DC's sysvol share, are believed by who owns them
// there: the caller, the domain's administrators, or the account the object's backup job
// runs as. The owner is set over SMB, as another account writing the share would leave it.
#include "cli/tests/cli_directory_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "lumivel/registry_key.h"
#include "provider/backup/backup_folder.h"
#include "tests/support/directory_fixture.h"

namespace lumivel_cli::tests {
namespace {

std::string environmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

class ShareArchiveTrustTest : public BackupCommandLineTest {
protected:
    // A user with a description, backed up into sysvol and deleted; a stranger to own archives.
    void SetUp() override {
        BackupCommandLineTest::SetUp();
        if (IsSkipped()) return;
        lumivel::RegistryKey policy;
        ASSERT_EQ(policy.create(HKEY_CURRENT_USER, revivo::kBackupPolicyKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
        ASSERT_EQ(policy.writeString(revivo::kFileLocationValue, u""), ERROR_SUCCESS);
        m_name = "Shared " + m_suffix;
        m_user = "CN=" + m_name + "," + m_root;
        m_stranger = "t" + m_suffix;
        ASSERT_TRUE(lumivel::testing::LdapAdd(m_user, {"objectClass: user\n", "cn: " + m_name + "\n",
                                                       "sAMAccountName: s" + m_suffix + "\n",
                                                       "description: Kept on the share\n"}));
        ASSERT_TRUE(lumivel::testing::LdapAdd("CN=Stranger " + m_suffix + "," + m_root,
                                              {"objectClass: user\n", "sAMAccountName: " + m_stranger + "\n"}));
        m_archive = backUpToShare(m_root);
        ASSERT_FALSE(m_archive.empty());
        ASSERT_TRUE(lumivel::testing::LdapDelete(m_user));
        m_guid = tombstoneGuid(m_name);
        ASSERT_FALSE(m_guid.empty());
    }
    void TearDown() override {
        for (const std::string& archive : m_archives)
            onShare("smbclient", "-c " + ShellQuote("del \"Tarvo Lumivel/" + archive + "\""));
        BackupCommandLineTest::TearDown();
    }

    // `lumivel backup` of the DN into sysvol; the archive's file name there.
    std::string backUpToShare(const std::string& dn) {
        Outcome backedUp = lumivel({"backup", m_domain, dn});
        EXPECT_EQ(backedUp.exitCode, 0) << backedUp.err;
        const std::string share = "\\\\" + lumivel::testing::TestDirectory().server + "\\sysvol\\Tarvo Lumivel\\";
        if (backedUp.out.rfind(share, 0) != 0) {
            ADD_FAILURE() << backedUp.out;
            return {};
        }
        m_archives.push_back(backedUp.out.substr(share.size(), backedUp.out.size() - share.size() - 1));
        return m_archives.back();
    }

    static Outcome onShare(const std::string& tool, const std::string& arguments) {
        return run("timeout 60 " + tool + " --use-kerberos=required -N //" + lumivel::testing::TestDirectory().server +
                   "/sysvol " + arguments);
    }
    // Gives the archive on the share to the account, as if that account had written it.
    void ownArchiveBy(const std::string& sam) { ownBy(m_archive, sam); }
    void ownBy(const std::string& archive, const std::string& sam) {
        Outcome changed = onShare("smbcacls", ShellQuote("Tarvo Lumivel/" + archive) + " --chown " +
                                                  ShellQuote(environmentText("TESTDC_NETBIOS") + "\\" + sam));
        ASSERT_EQ(changed.exitCode, 0) << changed.out << changed.err;
    }
    // The archive's line of `backups --object`: trusted and why not.
    std::vector<std::string> listedArchive() { return listed(m_archive, m_guid); }
    std::vector<std::string> listed(const std::string& archive, const std::string& guid) {
        Outcome listing = lumivel({"backups", m_domain, "--object", guid, "--format", "tsv"});
        EXPECT_EQ(listing.exitCode, 0) << listing.err;
        for (const std::string& line : lines(listing.out))
            if (line.rfind(archive + "\t", 0) == 0) return fields(line);
        ADD_FAILURE() << archive << " is not listed: " << listing.out;
        return std::vector<std::string>(8);
    }
    std::vector<std::string> description() { return liveValues(m_user, "description"); }
    void deleteAgain() {
        ASSERT_TRUE(lumivel::testing::LdapDelete(m_user));
        m_guid = tombstoneGuid(m_name);
        ASSERT_FALSE(m_guid.empty());
    }

    std::string m_name, m_user, m_stranger, m_archive, m_guid;
    std::vector<std::string> m_archives;
};

TEST_F(ShareArchiveTrustTest, AnArchiveAnotherAccountOwnsIsRefusedWithItsReasonUnlessNamed) {
    // Written by the administrator who runs the tests: believed.
    std::vector<std::string> written = listedArchive();
    EXPECT_EQ(written[5], "true") << "holds the object";
    EXPECT_EQ(written[6], "true") << written[7];

    ownArchiveBy(m_stranger);
    std::vector<std::string> planted = listedArchive();
    EXPECT_EQ(planted[6], "false");
    EXPECT_NE(planted[7].find("it was written by S-1-5-21-"), std::string::npos) << planted[7];
    EXPECT_NE(planted[7].find("neither you, nor an administrator of the domain, nor the account of the object's backup job"),
              std::string::npos)
        << planted[7];

    Outcome latest = lumivel({"restore", m_domain, m_guid, "--from-backup", "latest", "--reapply", "--yes"});
    EXPECT_EQ(latest.exitCode, 1) << latest.out;
    EXPECT_NE(latest.out.find("no archive latest that may be trusted"), std::string::npos) << latest.out;
    EXPECT_TRUE(description().empty()) << "nothing of the archive was written";

    deleteAgain();
    Outcome named = lumivel({"restore", m_domain, m_guid, "--from-backup", m_archive, "--reapply", "--yes"});
    EXPECT_EQ(named.exitCode, 1) << named.out;
    EXPECT_NE(named.out.find("is not trusted: it was written by S-1-5-21-"), std::string::npos) << named.out;
    EXPECT_TRUE(description().empty());

    deleteAgain();
    Outcome trusted = lumivel({"restore", m_domain, m_guid, "--from-backup", "latest", "--trust-archive", m_archive,
                               "--reapply", "--yes"});
    EXPECT_EQ(trusted.exitCode, 0) << trusted.out << trusted.err;
    EXPECT_EQ(description(), std::vector<std::string>{"Kept on the share"});
}

// The job backs its unit up as its own account; once the unit is deleted and purged, the
// archives its job wrote still recreate it.
TEST_F(ShareArchiveTrustTest, TheAccountTheUnitsJobRunsAsMayWriteItsArchives) {
    const std::string account = environmentText("TESTDC_USER_NAME");
    if (account.empty()) GTEST_SKIP() << "the domain is not seeded";
    const std::string tasks = "/tmp/revivo-cli-share-tasks-" + m_suffix;
    const std::string password = "/tmp/revivo-cli-share-password-" + m_suffix;
    setenv("LUMIVEL_TASK_FOLDER", tasks.c_str(), 1);
    std::ofstream(password) << environmentText("TESTDC_USER_PASSWORD") << "\n";
    std::filesystem::permissions(password, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::string team = "OU=Team " + m_suffix + "," + m_root, member = "Member " + m_suffix;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(team));
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + member + "," + team, member));
    const std::string archive = backUpToShare(team);
    ASSERT_FALSE(archive.empty());

    // Written by the job's account, but no job of the unit runs as that account yet.
    ownBy(archive, account);
    EXPECT_EQ(listed(archive, "CN=" + member + "," + team)[6], "false") << "a plain user of the domain";
    Outcome scheduled = lumivel({"schedule", m_domain, team, "--daily", "1", "--at", "03:00", "--account", account,
                                 "--password-file", password});
    ASSERT_EQ(scheduled.exitCode, 0) << scheduled.err;
    std::vector<std::string> believed = listed(archive, "CN=" + member + "," + team);
    EXPECT_EQ(believed[6], "true") << believed[7];

    // The unit deleted and gone for good: its job is known by the DN it backs up.
    ASSERT_TRUE(lumivel::testing::LdapDelete("CN=" + member + "," + team));
    ASSERT_TRUE(lumivel::testing::LdapDelete(team));
    std::vector<std::string> unit =
        lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn, "(ou=Team " + m_suffix + "*)");
    ASSERT_EQ(unit.size(), 1u);
    ASSERT_TRUE(lumivel::testing::PurgeTombstone(unit[0]));
    const std::string memberGuid = tombstoneGuid(member);
    ASSERT_FALSE(memberGuid.empty());
    std::vector<std::string> orphaned = listed(archive, memberGuid);
    EXPECT_EQ(orphaned[6], "true") << orphaned[7];
    Outcome restored = lumivel({"restore", m_domain, memberGuid, "--from-backup", "latest", "--yes"});
    EXPECT_EQ(restored.exitCode, 0) << restored.out << restored.err;
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + member + "," + team));

    // Anyone else is still refused.
    ownBy(archive, m_stranger);
    EXPECT_EQ(listed(archive, memberGuid)[6], "false");

    std::error_code ignored;
    if (scheduled.out.size() > 57)
        std::filesystem::remove(binaryFolder() + "/Scheduled Backups/BackupObjects (" + scheduled.out.substr(25, 32) +
                                    ").vbs",
                                ignored);
    std::filesystem::remove_all(tasks, ignored);
    std::filesystem::remove(password, ignored);
    unsetenv("LUMIVEL_TASK_FOLDER");
}

}  // namespace
}  // namespace lumivel_cli::tests
