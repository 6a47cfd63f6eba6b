// What re-applying a backup needs consent for, which archives are believed, and what the audit
// log says of it: against the test domain, from the command line.
#include "cli/tests/cli_directory_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/support/directory_fixture.h"

namespace lumivel_cli::tests {
namespace {

std::string archiveIn(const std::string& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".zip") return entry.path().filename().string();
    return {};
}

// Text hex of an ASCII text, as a backup writes values: UTF-16LE bytes in upper-case hex.
std::string textHex(const std::string& text) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : text) hex += {kDigits[c >> 4], kDigits[c & 15], '0', '0'};
    return hex;
}

// Rewrites the backup file inside the archive (same member name, packed anew), as someone
// who may write the backup folder could.
void rewriteBackupFile(const std::string& archive, const std::function<void(std::string*)>& change) {
    const std::filesystem::path zip(archive);
    const std::string member = zip.stem().string() + ".inf";
    const std::string work = archive + ".work";
    std::filesystem::create_directories(work);
    ASSERT_EQ(run("unzip -q -o " + ShellQuote(archive) + " " + ShellQuote(member) + " -d " + ShellQuote(work)).exitCode, 0);
    std::string text = readFile(work + "/" + member);
    ASSERT_FALSE(text.empty());
    change(&text);
    std::ofstream(work + "/" + member, std::ios::binary | std::ios::trunc) << text;
    std::filesystem::remove(archive);
    ASSERT_EQ(run("cd " + ShellQuote(work) + " && zip -q -X " + ShellQuote(archive) + " " + ShellQuote(member)).exitCode, 0);
    std::filesystem::remove_all(work);
}

// The audit log's last line for the command.
std::string lastAuditLine(const std::string& log, const std::string& command) {
    std::ifstream in(log);
    std::string line, found;
    while (std::getline(in, line))
        if (line.find("\"command\": \"" + command + "\"") != std::string::npos) found = line;
    return found;
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
    EXPECT_TRUE(liveValues(m_readers, "member").empty()) << "a plan writes nothing";

    std::string log = m_folder + "-audit.log";
    Outcome withheld = lumivelWith({{"LUMIVEL_AUDIT_LOG", log}},
                                   {"restore", m_domain, m_guid, "--from-backup", "latest", "--reapply", "--yes"});
    EXPECT_EQ(withheld.exitCode, 0) << withheld.out << withheld.err;
    EXPECT_NE(withheld.out.find("withheld scriptPath"), std::string::npos) << withheld.out;
    EXPECT_NE(withheld.out.find("withheld membership of " + m_admins), std::string::npos) << withheld.out;
    EXPECT_EQ(liveValues(m_user, "description"), std::vector<std::string>{"Back from the archive"});
    EXPECT_TRUE(liveValues(m_user, "scriptPath").empty());
    EXPECT_EQ(liveValues(m_readers, "member"), std::vector<std::string>{m_user});
    EXPECT_TRUE(liveValues(m_admins, "member").empty());

    // The audit line names the archive by its path and digest, and what was and was not written.
    std::ifstream in(log);
    std::string line, reapplied;
    while (std::getline(in, line))
        if (line.find("\"command\": \"reapply-backup\"") != std::string::npos) reapplied = line;
    EXPECT_NE(reapplied.find("\"archive\": \"" + m_folder + "/" + m_archive + "\""), std::string::npos) << reapplied;
    EXPECT_NE(reapplied.find("\"archiveSha256\": \""), std::string::npos) << reapplied;
    EXPECT_NE(reapplied.find("\"groupsJoined\": [\"" + m_readers + "\"]"), std::string::npos) << reapplied;
    EXPECT_NE(reapplied.find("scriptPath (Withheld)"), std::string::npos) << reapplied;
    EXPECT_NE(reapplied.find("member of " + m_admins + " (Withheld)"), std::string::npos) << reapplied;
    size_t written = reapplied.find("\"attributesWritten\": [");
    ASSERT_NE(written, std::string::npos) << reapplied;
    std::string writtenList = reapplied.substr(written, reapplied.find(']', written) - written);
    EXPECT_NE(writtenList.find("\"description\""), std::string::npos) << reapplied;
    EXPECT_EQ(writtenList.find("scriptPath"), std::string::npos) << reapplied;
    EXPECT_NE(reapplied.find("\"newDn\": \"" + m_user + "\""), std::string::npos) << reapplied;
    std::filesystem::remove(log);

    deleteAgain();
    Outcome consented = lumivel(
        {"restore", m_domain, m_guid, "--from-backup", "latest", "--reapply", "--reapply-sensitive", "--yes"});
    EXPECT_EQ(consented.exitCode, 0) << consented.out << consented.err;
    EXPECT_EQ(liveValues(m_user, "scriptPath"), std::vector<std::string>{"\\\\evil\\netlogon\\run.cmd"});
    EXPECT_EQ(liveValues(m_admins, "member"), std::vector<std::string>{m_user});
}

TEST_F(ArchiveTrustTest, AnArchiveOthersMayWriteOrThatClaimsAnotherTimeIsUsedOnlyWhenNamed) {
    ASSERT_EQ(::chmod(m_folder.c_str(), 0777), 0);
    Outcome listed = lumivel({"backups", m_domain, "--format", "tsv"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("its folder may be written by every user"), std::string::npos) << listed.out;

    Outcome refused = lumivel({"restore", m_domain, m_guid, "--from-backup", "latest", "--reapply", "--yes"});
    EXPECT_EQ(refused.exitCode, 1) << refused.out;
    EXPECT_NE(refused.out.find("no archive latest that may be trusted"), std::string::npos) << refused.out;
    EXPECT_TRUE(liveValues(m_user, "description").empty()) << "nothing of the archive was written";

    deleteAgain();
    Outcome named = lumivel({"restore", m_domain, m_guid, "--from-backup", "latest", "--trust-archive", m_archive,
                             "--reapply", "--yes"});
    EXPECT_EQ(named.exitCode, 0) << named.out << named.err;
    EXPECT_EQ(liveValues(m_user, "description"), std::vector<std::string>{"Back from the archive"});

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


// A child whose parent is gone for good, backed up beforehand: its archive names the parent.
class LostParentTest : public BackupCommandLineTest {
protected:
    void SetUp() override {
        BackupCommandLineTest::SetUp();
        if (IsSkipped()) return;
        m_dept = "OU=Away " + m_suffix + "," + m_root;
        m_name = "Kid " + m_suffix;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_dept));
        ASSERT_TRUE(lumivel::testing::LdapAdd("CN=" + m_name + "," + m_dept,
                                              {"objectClass: user\n", "sAMAccountName: k" + m_suffix + "\n",
                                               "description: From the archive\n"}));
        Outcome backedUp = lumivel({"backup", m_domain, m_dept});
        ASSERT_EQ(backedUp.exitCode, 0) << backedUp.err;
        m_archive = m_folder + "/" + archiveIn(m_folder);
        ASSERT_TRUE(lumivel::testing::LdapDelete("CN=" + m_name + "," + m_dept));
        ASSERT_TRUE(lumivel::testing::LdapDelete(m_dept));
        std::vector<std::string> parent =
            lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn, "(ou=Away " + m_suffix + "*)");
        ASSERT_EQ(parent.size(), 1u);
        ASSERT_TRUE(lumivel::testing::PurgeTombstone(parent[0]));
        m_guid = tombstoneGuid(m_name);
        ASSERT_FALSE(m_guid.empty());
    }
    bool stillDeleted() { return tombstoneGuid(m_name) == m_guid; }

    std::string m_dept, m_name, m_archive, m_guid;
};

TEST_F(LostParentTest, AParentPathOutsideTheNamingContextIsRefusedEvenWhenTheArchiveIsTrusted) {
    // The child's section is pointed at the configuration naming context; the copy put aside
    // is the genuine one.
    const std::string genuine = m_folder + ".genuine";
    std::filesystem::copy_file(m_archive, genuine);
    const std::string elsewhere = "OU=Away " + m_suffix + ",CN=Configuration," + lumivel::testing::TestDirectory().baseDn;
    rewriteBackupFile(m_archive, [&](std::string* text) {
        const std::string line = "path=8\t\"" + textHex(m_dept) + "\"";
        size_t at = text->find(line);
        ASSERT_NE(at, std::string::npos);
        text->replace(at, line.size(), "path=8\t\"" + textHex(elsewhere) + "\"");
    });
    const std::string name = std::filesystem::path(m_archive).filename().string();
    for (const std::vector<std::string>& trust : {std::vector<std::string>{}, {"--trust-archive", name}}) {
        std::vector<std::string> words = {"restore", m_domain, m_guid, "--from-backup", "latest", "--yes"};
        words.insert(words.end(), trust.begin(), trust.end());
        Outcome refused = lumivel(words);
        EXPECT_EQ(refused.exitCode, 1) << refused.out;
        EXPECT_NE(refused.err.find("The backup's parent path " + elsewhere + " lies outside the naming context"),
                  std::string::npos)
            << refused.err;
        EXPECT_FALSE(lumivel::testing::LdapExists(elsewhere));
        EXPECT_FALSE(lumivel::testing::LdapExists(m_dept));
        EXPECT_TRUE(stillDeleted());
    }

    // The genuine archive recreates the parent; the audit line says from what and what it made.
    std::filesystem::rename(genuine, m_archive);
    const std::string log = m_folder + "-audit.log";
    Outcome restored = lumivelWith({{"LUMIVEL_AUDIT_LOG", log}}, {"restore", m_domain, m_guid, "--from-backup", "latest", "--yes"});
    EXPECT_EQ(restored.exitCode, 0) << restored.out << restored.err;
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + m_name + "," + m_dept));
    std::string audited = lastAuditLine(log, "restore");
    EXPECT_NE(audited.find("\"archive\": \"" + m_archive + "\""), std::string::npos) << audited;
    Outcome digest = run("sha256sum " + ShellQuote(m_archive));
    ASSERT_GE(digest.out.size(), 64u);
    EXPECT_NE(audited.find("\"archiveSha256\": \"" + digest.out.substr(0, 64) + "\""), std::string::npos) << audited;
    EXPECT_NE(audited.find("\"containersCreated\": [\"" + m_dept + "\"]"), std::string::npos) << audited;
    EXPECT_NE(audited.find("\"newDn\": \"CN=" + m_name + "," + m_dept + "\""), std::string::npos) << audited;
    std::filesystem::remove(log);
}

// A backup file over the bounds is never unpacked into a plan: the archive is listed as
// unreadable with the reason, is never offered, and the restore that needs it changes nothing.
TEST_F(LostParentTest, ABackupFileOverItsBoundsRecreatesNothing) {
    const std::string name = std::filesystem::path(m_archive).filename().string();
    auto refusedWithoutChange = [&](const char* what) {
        Outcome listed = lumivel({"backups", m_domain, "--object", m_guid, "--format", "tsv"});
        EXPECT_EQ(listed.exitCode, 0) << listed.err;
        bool seen = false;
        for (const std::string& line : lines(listed.out))
            if (line.rfind(name + "\t", 0) == 0) {
                seen = true;
                std::vector<std::string> row = fields(line);
                EXPECT_EQ(row[4], "unreadable") << what << ": " << line;
                EXPECT_EQ(row[5], "false") << what << ": " << line;
                EXPECT_EQ(row[7], "its backup file is larger than 64 MiB or has a line longer than 1 MiB") << what;
            }
        EXPECT_TRUE(seen) << what << ": " << listed.out;
        Outcome refused = lumivel({"restore", m_domain, m_guid, "--from-backup", name, "--trust-archive", name, "--yes"});
        EXPECT_EQ(refused.exitCode, 1) << what << ": " << refused.out;
        // Named, it is said to be the cause, with why it cannot be read.
        EXPECT_NE(refused.err.find("Could not create the container for this object."), std::string::npos)
            << what << ": " << refused.err;
        EXPECT_NE((refused.out + refused.err).find("the archive " + name + " that --from-backup names cannot be read: its backup file is "
                                   "larger than 64 MiB or has a line longer than 1 MiB"),
                  std::string::npos)
            << what << ": " << refused.out << refused.err;
        EXPECT_FALSE(lumivel::testing::LdapExists(m_dept)) << what;
        EXPECT_TRUE(stillDeleted()) << what;
    };
    // One line of more than 1 MiB in a small file.
    const std::string genuine = m_folder + ".genuine";
    std::filesystem::copy_file(m_archive, genuine);
    rewriteBackupFile(m_archive, [](std::string* text) { *text += "description_9=8\t\"" + std::string(1100000, 'A') + "\"\r\n"; });
    refusedWithoutChange("a long line");
    // More than 64 MiB of short lines.
    std::filesystem::copy_file(genuine, m_archive, std::filesystem::copy_options::overwrite_existing);
    rewriteBackupFile(m_archive, [](std::string* text) {
        const std::string line = "comment=8\t\"" + std::string(1000, 'B') + "\"\r\n";
        text->reserve(text->size() + (65u << 20) + line.size());
        while (text->size() < (65u << 20)) *text += line;
    });
    refusedWithoutChange("a large file");
    std::filesystem::remove(genuine);
}

}  // namespace
}  // namespace lumivel_cli::tests
