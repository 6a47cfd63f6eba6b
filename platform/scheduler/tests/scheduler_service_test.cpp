// The lumivel-scheduler service on a private task folder: what a run records, what the run's
// process sees, one run of an item at a time, items that delete themselves, runs that outlive
// their time, and the service's own start and stop. Runs are asked for with ITask::Run; runs at
// their time are the directory test's, which waits for a real minute.
#include "service_fixture.h"

#include <fstream>

namespace scheduler_test {
namespace {

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
    EXPECT_EQ(ValueIn(environment, "LUMIVEL_UI"), "headless");
    EXPECT_EQ(ValueIn(environment, "LUMIVEL_TASK_FOLDER"), m_tasks);
    EXPECT_EQ(environment.find("SCHEDULER_TEST_PRIVATE"), std::string::npos);
    const std::string home = ValueIn(environment, "HOME");
    if (HandsRunsOver()) {
        // Its own folder, holding copies of the saver's hives; gone with the run.
        EXPECT_EQ(home.rfind("/lumivel-job-"), home.find_last_of('/')) << home;
        EXPECT_EQ(ValueIn(environment, "LUMIVEL_USER_HIVE"), home + "/user.hive");
        EXPECT_EQ(ValueIn(environment, "LUMIVEL_MACHINE_HIVE"), home + "/machine.hive");
        EXPECT_EQ(ValueIn(environment, "TMPDIR"), home + "/tmp");
        EXPECT_EQ(ValueIn(environment, "USER"), kTestJobAccount);
        EXPECT_EQ(ValueIn(environment, "KRB5CCNAME"), "") << "root's own ticket is not the run's";
        EXPECT_TRUE(Eventually([&] { return access(home.c_str(), F_OK) != 0; })) << home;
    } else {
        EXPECT_EQ(ValueIn(environment, "LUMIVEL_USER_HIVE"), m_root.path() + "/user.hive");
        EXPECT_FALSE(home.empty());
    }

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
    const std::string release = Output("release");
    // The run lasts until the test lets it go (at most 30 s), so that a busy machine cannot end
    // it before the second request is seen.
    ASSERT_EQ(MakeItem(u"Slow",
                       Wide("echo start >> " + starts + "; for i in $(seq 300); do [ -e " + release +
                            " ] && break; sleep 0.1; done"),
                       DailyAt(3, 0)),
              S_OK);
    ASSERT_EQ(RunNow(u"Slow"), S_OK);
    ASSERT_TRUE(Eventually([&] { return Status(u"Slow") == SCHED_S_TASK_RUNNING; }));
    ASSERT_EQ(RunNow(u"Slow"), S_OK);
    const bool refused = Eventually([&] { return ReadFile(m_log).find("is still running") != std::string::npos; });
    std::ofstream(release).put('\n');
    ASSERT_TRUE(refused) << ReadFile(m_log);
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
