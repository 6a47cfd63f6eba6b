// The audit log's lines, the file they are appended to, and reading them back.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/audit_log_command.h"
#include "shared/audit_log.h"
#include "tests/support/temporary_directory.h"

namespace {

using lumivel::shared::AuditEntry;

TEST(AuditLogTest, LinesAreJsonWithEveryFieldEscaped) {
    AuditEntry entry{"restore", "CN=Pat \"Ops\"\\0ADEL:1,CN=Deleted Objects", "1", "dc1", false, "bad\x1b[31m\nline"};
    EXPECT_EQ(lumivel::shared::AuditLine(entry, "2026-12-08T10:00:00Z", "admin@X"),
              "{\"time\": \"2026-12-08T10:00:00Z\", \"principal\": \"admin@X\", \"command\": \"restore\", "
              "\"object\": \"CN=Pat \\\"Ops\\\"\\\\0ADEL:1,CN=Deleted Objects\", \"guid\": \"1\", \"dc\": \"dc1\", "
              "\"result\": \"failure\", \"error\": \"bad\\u001b[31m\\nline\"}");
}

TEST(AuditLogTest, ABackupsArchiveAndWhatCameOfItFollowOnlyWhenSet) {
    AuditEntry entry{"reapply-backup", "CN=Ann\\0ADEL:1,CN=Deleted Objects", "1", "dc1", false, "refused"};
    entry.archive = "/srv/backups/{2}.zip";
    entry.archiveSha256 = "ab12";
    entry.attributesWritten = {"description", "mail"};
    entry.attributesRefused = {"scriptPath (Withheld)"};
    entry.groupsJoined = {"CN=Readers \"R\",DC=x"};
    entry.newDn = "CN=Ann,DC=x";
    const std::string line = lumivel::shared::AuditLine(entry, "2026-12-08T10:00:00Z", "admin@X");
    EXPECT_EQ(line.substr(line.find("\"error\"")),
              "\"error\": \"refused\", \"archive\": \"/srv/backups/{2}.zip\", \"archiveSha256\": \"ab12\", "
              "\"attributesWritten\": [\"description\", \"mail\"], \"attributesRefused\": [\"scriptPath (Withheld)\"], "
              "\"groupsJoined\": [\"CN=Readers \\\"R\\\",DC=x\"], \"newDn\": \"CN=Ann,DC=x\"}");
    // A log reader takes the line as JSON, keys beyond the first eight included.
    nlohmann::json parsed;
    EXPECT_NO_THROW(parsed = nlohmann::json::parse(line));
    EXPECT_EQ(parsed.value("newDn", ""), "CN=Ann,DC=x");
}

TEST(AuditLogTest, EntriesAreAppendedAndAFileThatCannotBeWrittenIsSaid) {
    lumivel::testing::TemporaryDirectory folder;
    std::string log = folder.path() + "/deep/er/audit.log";
    setenv("LUMIVEL_AUDIT_LOG", log.c_str(), 1);
    EXPECT_EQ(lumivel::shared::WriteAudit(AuditEntry{"backup", "OU=A", "", "dc1", true, ""}), "");
    EXPECT_EQ(lumivel::shared::WriteAudit(AuditEntry{"restore", "CN=B", "", "dc1", true, ""}), "");
    std::ifstream file(log);
    std::stringstream read;
    read << file.rdbuf();
    const std::string text = read.str();
    EXPECT_NE(text.find("\"command\": \"backup\""), std::string::npos);
    EXPECT_NE(text.find("\"command\": \"restore\""), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    struct stat status{};
    ASSERT_EQ(stat(log.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    // Never through a link, never into something that is no file, never a relative path.
    std::string link = folder.path() + "/link.log";
    ASSERT_EQ(symlink(log.c_str(), link.c_str()), 0);
    for (std::string refused : {link, folder.path(), std::string("relative.log")}) {
        setenv("LUMIVEL_AUDIT_LOG", refused.c_str(), 1);
        std::string problem = lumivel::shared::WriteAudit(AuditEntry{"restore", "CN=C", "", "dc1", true, ""});
        EXPECT_NE(problem.find("could not be appended to " + refused), std::string::npos) << refused << ": " << problem;
    }
    unsetenv("LUMIVEL_AUDIT_LOG");
}

std::string readAll(const std::string& path) {
    std::ifstream file(path);
    std::stringstream read;
    read << file.rdbuf();
    return read.str();
}

TEST(AuditLogTest, ARunOpensTheFileOnceAndFollowsARotationButNeverALink) {
    lumivel::testing::TemporaryDirectory folder;
    std::string log = folder.path() + "/audit.log";
    setenv("LUMIVEL_AUDIT_LOG", log.c_str(), 1);
    std::vector<AuditEntry> entries(500, AuditEntry{"restore-subtree", "CN=X", "", "dc1", true, ""});
    unsigned long before = lumivel::shared::AuditFileOpens();
    std::vector<std::string> problems = lumivel::shared::WriteAudits(entries);
    ASSERT_EQ(problems.size(), entries.size());
    EXPECT_TRUE(std::all_of(problems.begin(), problems.end(), [](const std::string& p) { return p.empty(); }));
    EXPECT_EQ(lumivel::shared::WriteAudit(AuditEntry{"backup", "OU=A", "", "dc1", true, ""}), "");
    EXPECT_EQ(lumivel::shared::AuditFileOpens() - before, 1u);
    std::string text = readAll(log);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 501);

    // Rotated away: the next line starts a new file, the old one keeps what it had.
    std::string rotated = log + ".1";
    ASSERT_EQ(rename(log.c_str(), rotated.c_str()), 0);
    EXPECT_EQ(lumivel::shared::WriteAudit(AuditEntry{"restore", "CN=After", "", "dc1", true, ""}), "");
    EXPECT_NE(readAll(log).find("CN=After"), std::string::npos);
    EXPECT_EQ(readAll(rotated).find("CN=After"), std::string::npos);

    // Replaced by a link while held: refused, and the link's target is left alone.
    std::string target = folder.path() + "/elsewhere.log";
    { std::ofstream(target) << ""; }
    ASSERT_EQ(unlink(log.c_str()), 0);
    ASSERT_EQ(symlink(target.c_str(), log.c_str()), 0);
    EXPECT_NE(lumivel::shared::WriteAudit(AuditEntry{"restore", "CN=Link", "", "dc1", true, ""}), "");
    EXPECT_EQ(readAll(target), "");
    unsetenv("LUMIVEL_AUDIT_LOG");
}

TEST(AuditLogTest, SinceKeepsLaterLinesAndThoseWithoutATime) {
    const long long now = 1765188000;  // 2025-12-08T10:00:00Z
    EXPECT_EQ(lumivel_cli::SinceSeconds("2025-12-08", now), 1765152000);
    EXPECT_EQ(lumivel_cli::SinceSeconds("2025-12-08T10:00:00Z", now), now);
    EXPECT_EQ(lumivel_cli::SinceSeconds("2d", now), now - 2 * 86400);
    EXPECT_EQ(lumivel_cli::SinceSeconds("3h", now), now - 3 * 3600);
    for (const char* wrong : {"", "yesterday", "2025-13-01", "-2d", "2w"})
        EXPECT_FALSE(lumivel_cli::SinceSeconds(wrong, now)) << wrong;
    std::istringstream log(
        "{\"time\": \"2025-12-07T09:00:00Z\", \"command\": \"old\"}\n"
        "{\"time\": \"2025-12-08T09:30:00Z\", \"command\": \"new\"}\n"
        "not json \x1b[2J\n");
    std::vector<std::string> kept = lumivel_cli::AuditLinesSince(log, 1765184400);  // 09:00 on the 8th
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_NE(kept[0].find("new"), std::string::npos);
    EXPECT_NE(kept[1].find("not json"), std::string::npos);
}

}  // namespace
