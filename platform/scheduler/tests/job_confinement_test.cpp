// What a run may do and what it is given, seen from inside its process: the job account with
// none of root's groups or capabilities, a hand-over that fails before anything runs, the
// bounds of its processor time and memory, nothing of it left once it has ended, and its audit
// lines taken into the machine's log. The hand-over needs a root service: those tests skip
// without root.
#include <set>

#include "../job_limits.h"
#include "service_fixture.h"
#include "tests/support/child_process.h"

namespace scheduler_test {
namespace {

#define NEEDS_ROOT()                                                                      \
    if (!HandsRunsOver()) GTEST_SKIP() << "only a service running as root hands its runs over"

class JobConfinementTest : public SchedulerServiceTest {
protected:
    void SetUp() override {
        SchedulerServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        m_bin = std::getenv("LUMIVEL_BIN_DIR");
        lumivel::testing::ChildResult registered =
            lumivel::testing::RunShell(m_bin + "/regsvr /s " + lumivel::testing::ShellQuote(m_bin + "/script_probe.so"));
        ASSERT_EQ(registered.exitCode, 0u) << registered.output;
    }

    // A script of root's that the job account may read, run by the script host.
    HRESULT MakeScriptItem(const std::u16string& name, const std::string& text) {
        const std::string script = m_root.path() + "/" + lumivel::ToUtf8(name) + ".vbs";
        std::ofstream(script) << text;
        chmod(script.c_str(), 0644);
        return MakeProgramItem(name, Wide(m_bin + "/System32/wscript"), Wide("//B \"" + script + "\""), DailyAt(3, 0));
    }

    // Runs the item now and waits until it has ended (or could not start); GetExitCode's result.
    HRESULT RunToEnd(const std::u16string& name, DWORD* code, std::chrono::milliseconds limit = 30s) {
        if (HRESULT hr = RunNow(name); FAILED(hr)) return hr;
        HRESULT result = E_PENDING;
        Eventually(
            [&] {
                HRESULT status = Status(name);
                result = RunResult(name, code);
                return result != SCHED_S_TASK_HAS_NOT_RUN && status != SCHED_S_TASK_RUNNING;
            },
            limit);
        return result;
    }

    std::string m_bin;
};

std::set<std::string> Words(const std::string& text) {
    std::set<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.insert(word);
    return words;
}

TEST_F(JobConfinementTest, TheScriptHostRunsAsTheJobAccountWithNothingOfRoot) {
    NEEDS_ROOT();
    const std::string probe = Output("credentials");
    setenv("LUMIVEL_SCRIPT_PROBE_FILE", probe.c_str(), 1);
    Restart();
    ASSERT_EQ(MakeScriptItem(u"Credentials", "Set o = CreateObject(\"LumivelTest.ScriptProbe\")\no.Credentials \"x\"\n"),
              S_OK);
    DWORD code = 99;
    ASSERT_EQ(RunToEnd(u"Credentials", &code), S_OK) << ReadFile(m_log);
    ASSERT_EQ(code, 0u) << ReadFile(m_log);
    EXPECT_TRUE(Logged("work item \"Credentials\" started as the account nobody")) << ReadFile(m_log);

    const std::string status = "\n" + ReadFile(probe);
    auto line = [&](const std::string& name) {
        size_t at = status.find("\n" + name + ":\t");
        return at == std::string::npos ? std::string("(none)")
                                       : status.substr(at + name.size() + 3, status.find('\n', at + 1) - at - name.size() - 3);
    };
    const std::string uid = std::to_string(m_jobUid), gid = std::to_string(m_jobGid);
    EXPECT_EQ(line("Uid"), uid + "\t" + uid + "\t" + uid + "\t" + uid);
    EXPECT_EQ(line("Gid"), gid + "\t" + gid + "\t" + gid + "\t" + gid);
    int count = 0;
    getgrouplist(kTestJobAccount, m_jobGid, nullptr, &count);
    std::vector<gid_t> groups(static_cast<size_t>(count));
    getgrouplist(kTestJobAccount, m_jobGid, groups.data(), &count);
    std::set<std::string> expected;
    for (gid_t group : groups) expected.insert(std::to_string(group));
    EXPECT_EQ(Words(line("Groups")), expected) << "the account's own groups, none of root's";
    EXPECT_EQ(line("NoNewPrivs"), "1");
    for (const char* set : {"CapInh", "CapPrm", "CapEff", "CapAmb"}) EXPECT_EQ(line(set), "0000000000000000") << set;
}

TEST_F(JobConfinementTest, ARunWhoseHandOverFailsDoesNotStartAndSaysWhy) {
    NEEDS_ROOT();
    const std::string ran = Output("ran");
    // Hives that cannot be copied for the run: damaged, or a link the saver's process would
    // not follow either. The item records the hive of whoever saved it.
    const std::string saved = m_root.path() + "/saver";
    ASSERT_EQ(mkdir(saved.c_str(), 0700), 0);
    lumivel::testing::WriteText(saved + "/damaged.hive", "not a hive at all, and not of a page's size");
    ASSERT_EQ(symlink((m_root.path() + "/user.hive").c_str(), (saved + "/linked.hive").c_str()), 0);
    const std::string ownHive = std::getenv("LUMIVEL_USER_HIVE");
    struct Case {
        std::u16string item;
        std::string hive;
        HRESULT expected;
    } cases[] = {{u"Damaged", saved + "/damaged.hive", HRESULT_FROM_WIN32(ERROR_BADDB)},
                 {u"Linked", saved + "/linked.hive", E_ACCESSDENIED}};
    for (const Case& c : cases) {
        setenv("LUMIVEL_USER_HIVE", c.hive.c_str(), 1);
        HRESULT made = MakeItem(c.item, Wide("touch " + ran), DailyAt(3, 0));
        setenv("LUMIVEL_USER_HIVE", ownHive.c_str(), 1);
        ASSERT_EQ(made, S_OK);
        DWORD code = 0;
        EXPECT_EQ(RunToEnd(c.item, &code), c.expected) << ReadFile(m_log);
        EXPECT_TRUE(Logged("work item \"" + lumivel::ToUtf8(c.item) + "\" could not start: the user hive " + c.hive +
                           " of the user who saved it cannot be handed to the run"))
            << ReadFile(m_log);
    }

    // No account to hand over to, or one that is root: nothing runs, least of all as root.
    struct AccountCase {
        const char* account;
        HRESULT expected;
        const char* said;
    } accounts[] = {{"lumivel-no-such-account", HRESULT_FROM_WIN32(ERROR_NO_SUCH_USER), "does not exist"},
                    {"root", E_ACCESSDENIED, "is root or has root's group"}};
    for (const AccountCase& c : accounts) {
        setenv("LUMIVEL_JOB_ACCOUNT", c.account, 1);
        Restart();
        const std::u16string item = u"As " + Wide(c.account);
        ASSERT_EQ(MakeItem(item, Wide("touch " + ran), DailyAt(3, 0)), S_OK);
        DWORD code = 0;
        EXPECT_EQ(RunToEnd(item, &code), c.expected) << c.account << ": " << ReadFile(m_log);
        EXPECT_TRUE(Logged("could not start: the account " + std::string(c.account) + " that runs the jobs " + c.said))
            << ReadFile(m_log);
    }
    EXPECT_NE(access(ran.c_str(), F_OK), 0) << "no run started";
}

// Gone: no such process, or one only waiting to be reaped by whoever inherited it.
bool ProcessIsGone(const std::string& pid) {
    const std::string stat = ReadFile("/proc/" + pid + "/stat");
    const size_t close = stat.rfind(')');
    return stat.empty() || (close != std::string::npos && stat.compare(close + 2, 1, "Z") == 0);
}

TEST_F(JobConfinementTest, NothingOfARunOutlivesIt) {
    const std::string pid = Output("pid"), home = Output("home");
    ASSERT_EQ(MakeItem(u"Leaving", Wide("sleep 300 & echo $! > " + pid + "; echo $HOME > " + home), DailyAt(3, 0)), S_OK);
    DWORD code = 99;
    ASSERT_EQ(RunToEnd(u"Leaving", &code), S_OK) << ReadFile(m_log);
    EXPECT_EQ(code, 0u);
    std::string left = ReadFile(pid);
    while (!left.empty() && left.back() == '\n') left.pop_back();
    ASSERT_FALSE(left.empty());
    EXPECT_TRUE(Eventually([&] { return ProcessIsGone(left); })) << "the run's background process " << left;
    if (HandsRunsOver()) {
        std::string folder = ReadFile(home);
        folder.pop_back();
        EXPECT_TRUE(Eventually([&] { return access(folder.c_str(), F_OK) != 0; })) << folder << " is still there";
    }
}

TEST_F(JobConfinementTest, ARunIsHeldToItsProcessorTimeAndMemory) {
    setenv("LUMIVEL_JOB_CPU_LIMIT_SECONDS", "1", 1);
    setenv("LUMIVEL_JOB_MEMORY_LIMIT_MB", "1024", 1);
    Restart();
    ASSERT_EQ(MakeItem(u"Spinning", u"while :; do :; done", DailyAt(3, 0)), S_OK);
    ASSERT_EQ(RunNow(u"Spinning"), S_OK);
    ASSERT_TRUE(Eventually([&] { return Status(u"Spinning") == SCHED_S_TASK_TERMINATED; }, 30s)) << ReadFile(m_log);
    EXPECT_TRUE(Eventually([&] {
        return Logged("work item \"Spinning\" was stopped with exit code ") &&
               Logged(": it used up its processor time limit of 1 seconds");
    })) << ReadFile(m_log);

    if (!lumivel::scheduler::kAddressSpaceCanBeBounded)
        GTEST_SKIP() << "this build bounds no address space (a sanitizer's shadow memory needs it all)";
    ASSERT_EQ(MakeScriptItem(u"Greedy", "Set o = CreateObject(\"LumivelTest.ScriptProbe\")\no.Exhaust \"x\"\n"), S_OK);
    DWORD code = 0;
    ASSERT_EQ(RunToEnd(u"Greedy", &code), S_OK) << ReadFile(m_log);
    EXPECT_EQ(code, 3u) << ReadFile(m_log);
    EXPECT_TRUE(Eventually([&] {
        return Logged("work item \"Greedy\" ended with exit code 3: it ran out of memory: a run may use 1024 MiB");
    })) << ReadFile(m_log);
    EXPECT_TRUE(Logged("wscript: the script ran out of memory (a run may use 1024 MiB)")) << ReadFile(m_log);
}

TEST_F(JobConfinementTest, ARunsBackupLinesReachTheMachinesAuditLogAndNothingElseDoes) {
    NEEDS_ROOT();
    const std::string machineLog = m_root.path() + "/audit.log";
    setenv("LUMIVEL_AUDIT_LOG", machineLog.c_str(), 1);
    Restart();
    const std::string backup = R"({"time": "2026-03-10T02:00:00Z", "principal": "eve@LUMIVEL.TEST", "command": "backup", )"
                               R"("object": "OU=Staff,DC=lumivel,DC=test", "guid": "", "dc": "dc1", "result": "success", "error": ""})";
    const std::string restore = R"({"time": "2026-03-10T02:00:00Z", "principal": "admin@LUMIVEL.TEST", "command": "restore", )"
                                R"("object": "CN=Mallory,DC=lumivel,DC=test", "guid": "", "dc": "dc1", "result": "success", "error": ""})";
    const std::string writer = m_root.path() + "/audit.sh";
    lumivel::testing::WriteText(writer, "printf '%s\\n' '" + backup + "' '" + restore + "' 'not a line of the log' >> \"$LUMIVEL_AUDIT_LOG\"\n"
                                        "printf '%s' '" + backup + "' >> \"$LUMIVEL_AUDIT_LOG\"\n");
    chmod(writer.c_str(), 0644);
    ASSERT_EQ(MakeItem(u"Audit", Wide("sh " + writer), DailyAt(3, 0)), S_OK);
    DWORD code = 99;
    ASSERT_EQ(RunToEnd(u"Audit", &code), S_OK) << ReadFile(m_log);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(Eventually([&] { return Logged("work item \"Audit\" wrote 3 audit lines that are not a backup's"); }))
        << ReadFile(m_log);
    EXPECT_EQ(ReadFile(machineLog), backup + "\n") << "a restore it claims, text that is no entry and a line cut short stay out";
}

}  // namespace
}  // namespace scheduler_test
