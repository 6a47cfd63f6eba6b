// `lumivel schedule` and `lumivel jobs`, with the scheduler service and the script host.
#include "cli/tests/cli_directory_fixture.h"

#include <regex>

#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "shared/backup_job.h"
#include "shared/text_helpers.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/job_account.h"

namespace lumivel_cli::tests {
namespace {

// A scheduled backup from the command line to an archive: the form's answers, the domain's
// check of the account, the task folder, the service and the script host, all for real.
class ScheduleCommandLineTest : public BackupCommandLineTest {
protected:
    void SetUp() override {
        BackupCommandLineTest::SetUp();
        if (IsSkipped()) return;
        m_tasks = "/tmp/revivo-cli-tasks-" + m_suffix;
        setenv("LUMIVEL_TASK_FOLDER", m_tasks.c_str(), 1);
        m_password = "/tmp/revivo-cli-password-" + m_suffix;
        writeSecret(m_password, std::getenv("TESTDC_USER_PASSWORD"));
        m_user = std::getenv("TESTDC_USER_NAME") ? std::getenv("TESTDC_USER_NAME") : "";
        if (m_user.empty()) GTEST_SKIP() << "the domain is not seeded";
        m_object = "OU=Scheduled " + m_suffix + "," + m_root;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_object));
        ASSERT_TRUE(lumivel::testing::AddUser("CN=Eve " + m_suffix + "," + m_object, "Eve " + m_suffix));
    }
    void TearDown() override {
        stopService();
        std::error_code ignored;
        std::filesystem::remove_all(m_tasks, ignored);
        std::filesystem::remove(m_password, ignored);
        for (const std::string& script : m_scripts) std::filesystem::remove(script, ignored);
        BackupCommandLineTest::TearDown();
    }

    static void writeSecret(const std::string& path, const char* text) {
        std::ofstream(path) << (text ? text : "") << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }

    Outcome schedule(const std::vector<std::string>& when, const std::string& passwordFile,
                     const Environment& environment = {}) {
        std::vector<std::string> words = {"schedule", m_domain, m_object};
        words.insert(words.end(), when.begin(), when.end());
        for (const std::string& word : {std::string("--account"), m_user, std::string("--password-file"), passwordFile})
            words.push_back(word);
        return lumivelWith(environment, words);
    }

    // The service runs as root here, so it hands the job to the account lumivel, which may
    // write the backup folder as an administrator would let it.
    void handJobsToTheJobAccount() {
        m_account.emplace();
        if (!m_account->problem().empty()) GTEST_SKIP() << m_account->problem();
        ASSERT_EQ(chown(m_folder.c_str(), m_account->uid(), m_account->gid()), 0);
    }

    // The job lines of `lumivel jobs` for the object.
    std::vector<std::string> jobsOfObject() {
        Outcome jobs = lumivel({"jobs", "--format", "tsv"});
        EXPECT_EQ(jobs.exitCode, 0) << jobs.err;
        std::vector<std::string> found;
        std::istringstream lines(jobs.out);
        for (std::string line; std::getline(lines, line);)
            if (line.find("\t" + m_object + "\t") != std::string::npos) found.push_back(line);
        return found;
    }

    void startService() {
        m_serviceLog = "/tmp/revivo-cli-service-" + m_suffix + ".log";
        std::string command = binaryFolder() + "/lumivel-scheduler --foreground 2>" + ShellQuote(m_serviceLog) +
                              " </dev/null >/dev/null & echo $!";
        Outcome started = run(command);
        m_service = std::atoi(started.out.c_str());
        ASSERT_GT(m_service, 0);
    }
    void stopService() {
        if (m_service <= 0) return;
        kill(m_service, SIGTERM);
        for (int i = 0; i < 200 && kill(m_service, 0) == 0; ++i) usleep(50000);
        m_service = -1;
        std::error_code ignored;
        std::filesystem::remove(m_serviceLog, ignored);
    }

    std::string m_tasks, m_password, m_user, m_object, m_serviceLog;
    std::vector<std::string> m_scripts;
    pid_t m_service = -1;
    std::optional<lumivel::testing::JobAccountForTest> m_account;
};

std::string clockText(std::time_t when, const char* format) {
    char text[32];
    std::tm local{};
    localtime_r(&when, &local);
    std::strftime(text, sizeof text, format, &local);
    return text;
}

TEST_F(ScheduleCommandLineTest, AOnceJobFiresUnderTheServiceLeavesAnArchiveAndGoes) {
    handJobsToTheJobAccount();
    startService();
    // The next full minute at least 40 seconds away, so that scheduling is done before it.
    std::time_t now = std::time(nullptr);
    std::time_t at = (now + 40 + 59) / 60 * 60;
    Outcome scheduled = schedule({"--once", clockText(at, "%Y-%m-%d"), "--at", clockText(at, "%H:%M")}, m_password);
    ASSERT_EQ(scheduled.exitCode, 0) << scheduled.err;
    EXPECT_EQ(scheduled.out.rfind("Scheduled BackupObjects (", 0), 0u) << scheduled.out;
    const std::string guid = scheduled.out.substr(25, 32);
    const std::string script = binaryFolder() + "/Scheduled Backups/BackupObjects (" + guid + ").vbs";
    m_scripts.push_back(script);
    EXPECT_EQ(readFile(script), lumivel::shared::BackupScriptText(lumivel::shared::WidenText(m_object)));
    std::vector<std::string> jobs = jobsOfObject();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_NE(jobs[0].find("\tAt " + clockText(at, "%H:%M") + " on " + clockText(at, "%Y-%m-%d") + "\t"), std::string::npos)
        << jobs[0];

    // Fired at its minute and then gone, for it has no further run time.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(at - now + 120);
    while (!jobsOfObject().empty() && std::chrono::steady_clock::now() < deadline) sleep(2);
    const std::string log = readFile(m_serviceLog);
    EXPECT_TRUE(jobsOfObject().empty()) << log;
    EXPECT_NE(log.find("\"BackupObjects (" + guid + ")\" started as the account lumivel"), std::string::npos) << log;
    EXPECT_NE(log.find("\"BackupObjects (" + guid + ")\" ended with exit code 0"), std::string::npos) << log;
    EXPECT_NE(log.find("\"BackupObjects (" + guid + ")\" has no further run time and was deleted"), std::string::npos) << log;
    EXPECT_GE(std::time(nullptr), at) << "not before its time";

    // The archive is in the backup folder of the user who scheduled it, and holds the object.
    Outcome listed = lumivel({"backups", m_domain, "--object", m_object, "--format", "tsv"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("\t" + m_object + "\t2\ttrue"), std::string::npos) << listed.out;
    // Written by the job account, not by root.
    for (const auto& entry : std::filesystem::directory_iterator(m_folder)) {
        struct stat st {};
        ASSERT_EQ(stat(entry.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, m_account->uid()) << entry.path();
    }
}

TEST_F(ScheduleCommandLineTest, AJobWhoseOwnersHiveCannotBeReadFailsCleanly) {
    handJobsToTheJobAccount();
    startService();
    // Scheduled with a hive of its own, which another account then takes over: the registry
    // would not read it for its owner, and neither is it handed to the job.
    const std::string owner = m_tasks + "-owner";
    ASSERT_EQ(mkdir(owner.c_str(), 0700), 0);
    const std::string hive = owner + "/user.hive";
    Outcome scheduled = schedule({"--daily", "1", "--at", "03:00"}, m_password, {{"LUMIVEL_USER_HIVE", hive}});
    ASSERT_EQ(scheduled.exitCode, 0) << scheduled.err;
    const std::string name = "BackupObjects (" + scheduled.out.substr(25, 32) + ")";
    m_scripts.push_back(binaryFolder() + "/Scheduled Backups/" + name + ".vbs");
    ASSERT_EQ(chown(hive.c_str(), m_account->uid(), m_account->gid()), 0);

    Outcome ran = lumivel({"jobs", "run", name});
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    std::vector<std::string> jobs;
    for (int i = 0; i < 60; ++i) {
        jobs = jobsOfObject();
        if (jobs.size() == 1 && jobs[0].find("did not start") != std::string::npos) break;
        usleep(250000);
    }
    std::error_code ignored;
    std::filesystem::remove_all(owner, ignored);
    const std::string log = readFile(m_serviceLog);
    ASSERT_EQ(jobs.size(), 1u) << log;
    EXPECT_NE(jobs[0].find("\tdid not start: Access is denied."), std::string::npos) << jobs[0] << "\n" << log;
    EXPECT_NE(log.find("\"" + name + "\" could not start: the user hive " + hive +
                       " of the user who saved it cannot be handed to the run: Access is denied."),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("\"" + name + "\" started"), std::string::npos) << log;
    EXPECT_TRUE(std::filesystem::is_empty(m_folder)) << "no backup was made";
}

TEST_F(ScheduleCommandLineTest, AWrongPasswordIsRefusedAndNothingIsMade) {
    const std::string wrong = m_password + "-wrong";
    writeSecret(wrong, "not the password");
    Outcome refused = schedule({"--daily", "1", "--at", "03:00"}, wrong);
    std::filesystem::remove(wrong);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("Error: The user name or password is incorrect."), std::string::npos) << refused.err;
    EXPECT_TRUE(jobsOfObject().empty());
    bool anyJob = false;
    if (std::filesystem::exists(m_tasks))
        for (const auto& entry : std::filesystem::directory_iterator(m_tasks)) anyJob |= entry.path().extension() == ".job";
    EXPECT_FALSE(anyJob);
}

TEST_F(ScheduleCommandLineTest, TheSameObjectTwiceKeepsOneJobAndSaysSo) {
    Outcome first = schedule({"--weekly", "1", "--days", "mon,sun", "--at", "03:00"}, m_password);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    m_scripts.push_back(binaryFolder() + "/Scheduled Backups/BackupObjects (" + first.out.substr(25, 32) + ").vbs");
    Outcome second = schedule({"--daily", "2", "--at", "04:00"}, m_password);
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("Error: The file exists."), std::string::npos) << second.err;
    std::vector<std::string> jobs = jobsOfObject();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_NE(jobs[0].find("At 03:00 every week on Mon, Sun"), std::string::npos) << "the first job stays: " << jobs[0];
    // As a script reads it: the next run in UTC, and why.
    Outcome listed = lumivel({"jobs", "--format", "json"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    const nlohmann::json document = nlohmann::json::parse(listed.out);
    EXPECT_EQ(document["version"], 1);
    size_t matching = 0;
    for (const nlohmann::json& job : document["jobs"]) {
        if (job["object"] != m_object) continue;
        ++matching;
        EXPECT_EQ(job["nextRunState"], "scheduled") << job.dump();
        EXPECT_TRUE(std::regex_match(job["nextRun"].get<std::string>(), std::regex(R"([0-9-]{10}T[0-9:]{8}Z)"))) << job.dump();
        EXPECT_TRUE(job["lastRun"].is_null()) << job.dump();
    }
    EXPECT_EQ(matching, 1u) << listed.out;

    // The form's checks hold on the command line too.
    Outcome zero = schedule({"--daily", "0", "--at", "04:00"}, m_password);
    EXPECT_EQ(zero.exitCode, 1);
    EXPECT_NE(zero.err.find("Value: The maximum allowed value is 365 days."), std::string::npos) << zero.err;

    const std::string name = "BackupObjects (" + first.out.substr(25, 32) + ")";
    Outcome run = lumivel({"jobs", "run", name});
    EXPECT_EQ(run.exitCode, 1) << "no service runs";
    EXPECT_NE(run.err.find("The Task Scheduler Service is not running."), std::string::npos) << run.err;
    Outcome deleted = lumivel({"jobs", "delete", name});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_TRUE(jobsOfObject().empty());
    EXPECT_EQ(lumivel({"jobs", "delete", name}).exitCode, 1);
}

}  // namespace
}  // namespace lumivel_cli::tests
