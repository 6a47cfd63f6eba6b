// The lumivel-scheduler service on a private task folder: what a run records, what the run's
// process sees, one run of an item at a time, items that delete themselves, runs that outlive
// their time, and the service's own start and stop. Runs are asked for with ITask::Run; runs at
// their time are the directory test's, which waits for a real minute.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "scheduler_test_support.h"
#include "win/errors.h"

// After the platform headers: it defines LOCK_WRITE, a name objidl.h uses.
#include <fcntl.h>

extern char** environ;

namespace scheduler_test {
namespace {

using namespace std::chrono_literals;

// Waits for a condition, at most the given time.
bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 15s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SchedulerServiceTest : public TaskFolderTest {
protected:
    void SetUp() override {
        TaskFolderTest::SetUp();
        m_log = m_root.path() + "/service.log";
        // Only what a run needs reaches it, never the rest of the service's environment.
        setenv("SCHEDULER_TEST_PRIVATE", "1", 1);
        m_service = Start();
        ASSERT_GT(m_service, 0);
        ASSERT_TRUE(Eventually([&] { return ReadFile(m_log).find("serving the task folder") != std::string::npos; }))
            << ReadFile(m_log);
    }
    void TearDown() override {
        if (m_service > 0) {
            kill(m_service, SIGKILL);
            waitpid(m_service, nullptr, 0);
        }
        TaskFolderTest::TearDown();
    }

    pid_t Start() {
        const std::string program = std::string(std::getenv("LUMIVEL_BIN_DIR")) + "/lumivel-scheduler";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, m_log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("--foreground"), nullptr};
        pid_t pid = 0;
        int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        return spawned == 0 ? pid : -1;
    }

    // Stops the service with SIGTERM; its exit status, or -1 when it did not stop in time.
    int Stop() {
        kill(m_service, SIGTERM);
        int status = 0;
        for (int i = 0; i < 300; ++i) {
            if (waitpid(m_service, &status, WNOHANG) == m_service) {
                m_service = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(50ms);
        }
        return -1;
    }

    HRESULT RunNow(const std::u16string& name) {
        Held<ITask> task;
        HRESULT hr = m_scheduler->Activate(name.c_str(), IID_ITask, task.putUnknown());
        return SUCCEEDED(hr) ? task->Run() : hr;
    }

    HRESULT Status(const std::u16string& name) {
        Held<ITask> task;
        HRESULT status = E_FAIL;
        if (SUCCEEDED(m_scheduler->Activate(name.c_str(), IID_ITask, task.putUnknown()))) task->GetStatus(&status);
        return status;
    }

    std::string Output(const std::string& name) { return m_root.path() + "/" + name; }
    std::u16string Wide(const std::string& text) { return lumivel::FromUtf8(text); }

    std::string m_log;
    pid_t m_service = -1;
};

TEST_F(SchedulerServiceTest, ARunRecordsItsExitCodeAndRunsWithTheSavedEnvironment) {
    const std::string out = Output("environment");
    ASSERT_EQ(MakeItem(u"Environment", Wide("env > " + out + "; exit 3"), DailyAt(3, 0)), S_OK);
    ASSERT_EQ(RunNow(u"Environment"), S_OK);
    ASSERT_TRUE(Eventually([&] {
        Held<ITask> task;
        DWORD code = 0;
        return SUCCEEDED(m_scheduler->Activate(u"Environment", IID_ITask, task.putUnknown())) &&
               task->GetExitCode(&code) == S_OK && code == 3 && Status(u"Environment") == SCHED_S_TASK_READY;
    })) << ReadFile(m_log);
    const std::string environment = ReadFile(out);
    EXPECT_NE(environment.find("LUMIVEL_UI=headless\n"), std::string::npos);
    EXPECT_NE(environment.find("LUMIVEL_USER_HIVE=" + m_root.path() + "/user.hive\n"), std::string::npos);
    EXPECT_NE(environment.find("LUMIVEL_TASK_FOLDER=" + m_tasks + "\n"), std::string::npos);
    EXPECT_NE(environment.find("\nHOME="), std::string::npos);
    EXPECT_EQ(environment.find("SCHEDULER_TEST_PRIVATE"), std::string::npos);

    Held<ITask> task;
    ASSERT_EQ(m_scheduler->Activate(u"Environment", IID_ITask, task.putUnknown()), S_OK);
    SYSTEMTIME last{};
    ASSERT_EQ(task->GetMostRecentRunTime(&last), S_OK);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_EQ(last.wDay, now.wDay);
    // The end of a run is logged after its record is saved.
    EXPECT_TRUE(Eventually(
        [&] { return ReadFile(m_log).find("work item \"Environment\" ended with exit code 3") != std::string::npos; }))
        << ReadFile(m_log);
}

TEST_F(SchedulerServiceTest, AnItemStillRunningIsNotStartedAgain) {
    const std::string starts = Output("starts");
    ASSERT_EQ(MakeItem(u"Slow", Wide("echo start >> " + starts + "; sleep 2"), DailyAt(3, 0)), S_OK);
    ASSERT_EQ(RunNow(u"Slow"), S_OK);
    ASSERT_TRUE(Eventually([&] { return Status(u"Slow") == SCHED_S_TASK_RUNNING; }));
    ASSERT_EQ(RunNow(u"Slow"), S_OK);
    ASSERT_TRUE(Eventually([&] { return ReadFile(m_log).find("is still running") != std::string::npos; }));
    ASSERT_TRUE(Eventually([&] { return Status(u"Slow") == SCHED_S_TASK_READY; }));
    EXPECT_EQ(ReadFile(starts), "start\n");
}

TEST_F(SchedulerServiceTest, AnItemDoneForGoodGoesAndMissedRunsAreNotMadeUp) {
    // Its one time passed while no service ran: it is not run late, and it is done.
    ASSERT_EQ(Stop(), 0);
    const std::string ran = Output("ran");
    ASSERT_EQ(MakeItem(u"Missed", Wide("touch " + ran), OnceLongAgo(), TASK_FLAG_DELETE_WHEN_DONE), S_OK);
    ASSERT_EQ(MakeItem(u"Kept", Wide("touch " + ran), OnceLongAgo()), S_OK);
    m_service = Start();
    ASSERT_TRUE(Eventually([&] { return !Exists(u"Missed"); })) << ReadFile(m_log);
    // The service logs the deletion after the file is gone.
    EXPECT_TRUE(Eventually([&] {
        return ReadFile(m_log).find("work item \"Missed\" has no further run time and was deleted") != std::string::npos;
    })) << ReadFile(m_log);
    EXPECT_TRUE(Exists(u"Kept")) << "only items flagged to go when done";
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(access(ran.c_str(), F_OK), -1);

    // One with times to come stays after a run.
    ASSERT_EQ(MakeItem(u"Daily", u"true", DailyAt(3, 0), TASK_FLAG_DELETE_WHEN_DONE), S_OK);
    ASSERT_EQ(RunNow(u"Daily"), S_OK);
    ASSERT_TRUE(Eventually([&] { return Status(u"Daily") == SCHED_S_TASK_READY; }));
    EXPECT_TRUE(Exists(u"Daily"));
}

TEST_F(SchedulerServiceTest, ARunThatOutlivesItsTimeIsStopped) {
    ASSERT_EQ(MakeItem(u"Long", u"sleep 60", DailyAt(3, 0), 0, 500), S_OK);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(RunNow(u"Long"), S_OK);
    ASSERT_TRUE(Eventually([&] { return Status(u"Long") == SCHED_S_TASK_TERMINATED; }, 20s)) << ReadFile(m_log);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 15s);
}

TEST_F(SchedulerServiceTest, ItStopsOnSigtermEndingItsRunsAndOneServeAFolderAtATime) {
    pid_t second = Start();
    int status = 0;
    ASSERT_EQ(waitpid(second, &status, 0), second);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "a second service on the same folder";

    ASSERT_EQ(MakeItem(u"Endless", u"sleep 60", DailyAt(3, 0)), S_OK);
    ASSERT_EQ(RunNow(u"Endless"), S_OK);
    ASSERT_TRUE(Eventually([&] { return Status(u"Endless") == SCHED_S_TASK_RUNNING; }));
    EXPECT_EQ(Stop(), 0);
    EXPECT_EQ(Status(u"Endless"), SCHED_S_TASK_TERMINATED);
    EXPECT_NE(ReadFile(m_log).find("stopping"), std::string::npos);
    Held<ITask> task;
    ASSERT_EQ(m_scheduler->Activate(u"Endless", IID_ITask, task.putUnknown()), S_OK);
    EXPECT_EQ(task->Run(), SCHED_E_SERVICE_NOT_RUNNING) << "the service's mark went with it";
}

}  // namespace
}  // namespace scheduler_test
