// A lumivel-scheduler service started on the private task folder of a test, and what its
// tests share. Run as root the service hands its runs to a job account: "nobody" here, so
// that the machine's own accounts stay as they are. What a run writes goes into a folder that
// account may write (Output).
#pragma once

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
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

using namespace std::chrono_literals;

inline constexpr char kTestJobAccount[] = "nobody";

// Waits for a condition, at most the given time.
inline bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 15s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The value of NAME in lines of "NAME=value" (env's output), empty when it is not there.
inline std::string ValueIn(const std::string& lines, const std::string& name) {
    const std::string key = "\n" + name + "=";
    const std::string text = "\n" + lines;
    size_t at = text.find(key);
    if (at == std::string::npos) return {};
    at += key.size();
    return text.substr(at, text.find('\n', at) - at);
}

class SchedulerServiceTest : public TaskFolderTest {
protected:
    void SetUp() override {
        TaskFolderTest::SetUp();
        if (HasFatalFailure()) return;
        m_log = m_root.path() + "/service.log";
        // Only what a run needs reaches it, never the rest of the service's environment.
        setenv("SCHEDULER_TEST_PRIVATE", "1", 1);
        m_out = m_root.path() + "/out";
        ASSERT_EQ(mkdir(m_out.c_str(), 0700), 0);
        if (geteuid() == 0) {
            const passwd* account = getpwnam(kTestJobAccount);
            if (!account) GTEST_SKIP() << "there is no account " << kTestJobAccount << " to hand the runs to";
            m_jobUid = account->pw_uid;
            m_jobGid = account->pw_gid;
            setenv("LUMIVEL_JOB_ACCOUNT", kTestJobAccount, 1);
            // The job account passes through to the folder its runs write.
            ASSERT_EQ(chmod(m_root.path().c_str(), 0711), 0);
            ASSERT_EQ(chown(m_out.c_str(), m_jobUid, m_jobGid), 0);
        }
        m_service = Start();
        ASSERT_GT(m_service, 0);
        ASSERT_TRUE(Eventually([&] { return Logged("serving the task folder"); })) << ReadFile(m_log);
    }
    void TearDown() override {
        if (m_service > 0) {
            kill(m_service, SIGKILL);
            waitpid(m_service, nullptr, 0);
        }
        for (const char* name : {"LUMIVEL_JOB_ACCOUNT", "LUMIVEL_JOB_CPU_LIMIT_SECONDS", "LUMIVEL_JOB_MEMORY_LIMIT_MB",
                                 "LUMIVEL_AUDIT_LOG"})
            unsetenv(name);
        TaskFolderTest::TearDown();
    }

    bool HandsRunsOver() const { return geteuid() == 0; }

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

    // The service again, with the environment as it is now.
    void Restart() {
        ASSERT_EQ(Stop(), 0);
        const size_t served = Occurrences("serving the task folder");
        m_service = Start();
        ASSERT_TRUE(Eventually([&] { return Occurrences("serving the task folder") > served; })) << ReadFile(m_log);
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

    // GetExitCode's result, once the item has run and is not running any more.
    HRESULT RunResult(const std::u16string& name, DWORD* code) {
        Held<ITask> task;
        HRESULT hr = m_scheduler->Activate(name.c_str(), IID_ITask, task.putUnknown());
        return SUCCEEDED(hr) ? task->GetExitCode(code) : hr;
    }

    bool Logged(const std::string& text) { return ReadFile(m_log).find(text) != std::string::npos; }
    size_t Occurrences(const std::string& text) {
        const std::string log = ReadFile(m_log);
        size_t count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
        return count;
    }

    std::string Output(const std::string& name) { return m_out + "/" + name; }
    std::u16string Wide(const std::string& text) { return lumivel::FromUtf8(text); }

    std::string m_log;
    std::string m_out;
    uid_t m_jobUid = 0;
    gid_t m_jobGid = 0;
    pid_t m_service = -1;
};

}  // namespace scheduler_test
