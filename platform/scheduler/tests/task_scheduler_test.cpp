// The Task Scheduler's COM interfaces over the task folder: items as the Part's backup job
// makes them, what the folder holds afterwards, the states an item reports, and the folders
// and files it refuses to trust.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "scheduler_test_support.h"
#include "win/errors.h"

namespace scheduler_test {
namespace {

class TaskSchedulerTest : public TaskFolderTest {};

TEST_F(TaskSchedulerTest, AnItemIsSavedOnceAndReadBackWhole) {
    const std::u16string name = u"BackupObjects (0123456789abcdef0123456789ABCDEF)";
    Held<ITask> task;
    ASSERT_EQ(m_scheduler->NewWorkItem(name.c_str(), CLSID_CTask, IID_ITask, task.putUnknown()), S_OK);
    WORD index = 9;
    Held<ITaskTrigger> trigger;
    ASSERT_EQ(task->CreateTrigger(&index, trigger.put()), S_OK);
    EXPECT_EQ(index, 0);
    TASK_TRIGGER record = DailyAt(9, 30);
    record.TriggerType = TASK_TIME_TRIGGER_MONTHLYDOW;
    record.Type.MonthlyDOW = {TASK_FIRST_WEEK, TASK_MONDAY, TASK_MARCH};
    ASSERT_EQ(trigger->SetTrigger(&record), S_OK);
    ASSERT_EQ(task->SetAccountInformation(u"", nullptr), S_OK);
    ASSERT_EQ(task->SetFlags(TASK_FLAG_DELETE_WHEN_DONE), S_OK);
    ASSERT_EQ(task->SetApplicationName(u"\"/opt/lumivel/System32/wscript\""), S_OK);
    ASSERT_EQ(task->SetParameters(u"\"/opt/lumivel/Scheduled Backups/x.vbs\""), S_OK);
    ASSERT_EQ(task->SetComment(u"Scheduled Revivo Backup"), S_OK);
    Held<IPersistFile> file;
    ASSERT_EQ(task->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put())), S_OK);
    EXPECT_EQ(file->IsDirty(), S_OK);
    ASSERT_EQ(file->Save(nullptr, TRUE), S_OK);
    EXPECT_EQ(file->IsDirty(), S_FALSE);

    // The folder and the item are this account's alone.
    struct stat st {};
    ASSERT_EQ(stat(m_tasks.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const std::string itemFile = m_tasks + "/" + lumivel::ToUtf8(name) + ".job";
    ASSERT_EQ(stat(itemFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    LPOLESTR current = nullptr;
    ASSERT_EQ(file->GetCurFile(&current), S_OK);
    EXPECT_EQ(TakeText(current), lumivel::FromUtf8(itemFile));

    // The name is taken now, by NewWorkItem and by another new item's Save alike.
    Held<ITask> again;
    EXPECT_EQ(m_scheduler->NewWorkItem(name.c_str(), CLSID_CTask, IID_ITask, again.putUnknown()),
              HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));

    Held<ITask> loaded;
    ASSERT_EQ(m_scheduler->Activate(name.c_str(), IID_ITask, loaded.putUnknown()), S_OK);
    LPWSTR text = nullptr;
    ASSERT_EQ(loaded->GetApplicationName(&text), S_OK);
    EXPECT_EQ(TakeText(text), u"\"/opt/lumivel/System32/wscript\"");
    ASSERT_EQ(loaded->GetParameters(&text), S_OK);
    EXPECT_EQ(TakeText(text), u"\"/opt/lumivel/Scheduled Backups/x.vbs\"");
    ASSERT_EQ(loaded->GetComment(&text), S_OK);
    EXPECT_EQ(TakeText(text), u"Scheduled Revivo Backup");
    ASSERT_EQ(loaded->GetAccountInformation(&text), S_OK);
    EXPECT_EQ(TakeText(text), u"");
    DWORD flags = 0, maxRunTime = 0;
    ASSERT_EQ(loaded->GetFlags(&flags), S_OK);
    EXPECT_EQ(flags, DWORD(TASK_FLAG_DELETE_WHEN_DONE));
    ASSERT_EQ(loaded->GetMaxRunTime(&maxRunTime), S_OK);
    EXPECT_EQ(maxRunTime, 72u * 60 * 60 * 1000);
    WORD count = 0;
    ASSERT_EQ(loaded->GetTriggerCount(&count), S_OK);
    ASSERT_EQ(count, 1);
    Held<ITaskTrigger> loadedTrigger;
    ASSERT_EQ(loaded->GetTrigger(0, loadedTrigger.put()), S_OK);
    TASK_TRIGGER back{};
    ASSERT_EQ(loadedTrigger->GetTrigger(&back), S_OK);
    EXPECT_EQ(std::memcmp(&back, &record, sizeof back), 0);
    ASSERT_EQ(loadedTrigger->GetTriggerString(&text), S_OK);
    std::u16string words = TakeText(text);
    EXPECT_EQ(words.substr(0, 45), u"At 09:30 on the first Mon of Mar, starting 20") << lumivel::ToUtf8(words);
    HRESULT status = 0;
    ASSERT_EQ(loaded->GetStatus(&status), S_OK);
    EXPECT_EQ(status, SCHED_S_TASK_HAS_NOT_RUN);
    DWORD exitCode = 7;
    EXPECT_EQ(loaded->GetExitCode(&exitCode), SCHED_S_TASK_HAS_NOT_RUN);
    SYSTEMTIME last{};
    EXPECT_EQ(loaded->GetMostRecentRunTime(&last), SCHED_S_TASK_HAS_NOT_RUN);

    Held<IEnumWorkItems> items;
    ASSERT_EQ(m_scheduler->Enum(items.put()), S_OK);
    LPWSTR* names = nullptr;
    ULONG fetched = 0;
    ASSERT_EQ(items->Next(5, &names, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(TakeText(names[0]), name);
    CoTaskMemFree(names);

    ASSERT_EQ(m_scheduler->Delete(name.c_str()), S_OK);
    EXPECT_EQ(access(itemFile.c_str(), F_OK), -1);
    Held<ITask> gone;
    EXPECT_EQ(m_scheduler->Activate(name.c_str(), IID_ITask, gone.putUnknown()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(m_scheduler->Delete(name.c_str()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(TaskSchedulerTest, TwoNewItemsOfOneNameLeaveTheFirst) {
    Held<ITask> first, second;
    ASSERT_EQ(m_scheduler->NewWorkItem(u"Twice", CLSID_CTask, IID_ITask, first.putUnknown()), S_OK);
    ASSERT_EQ(m_scheduler->NewWorkItem(u"Twice", CLSID_CTask, IID_ITask, second.putUnknown()), S_OK);
    first->SetComment(u"first");
    second->SetComment(u"second");
    Held<IPersistFile> firstFile, secondFile;
    first->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(firstFile.put()));
    second->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(secondFile.put()));
    ASSERT_EQ(firstFile->Save(nullptr, TRUE), S_OK);
    EXPECT_EQ(secondFile->Save(nullptr, TRUE), HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
    Held<ITask> loaded;
    ASSERT_EQ(m_scheduler->Activate(u"Twice", IID_ITask, loaded.putUnknown()), S_OK);
    LPWSTR comment = nullptr;
    loaded->GetComment(&comment);
    EXPECT_EQ(TakeText(comment), u"first");
}

TEST_F(TaskSchedulerTest, NamesThatCannotBeFilesAreRefused) {
    for (const char16_t* name : {u"", u"a/b", u"..\\x", u".hidden", u"trailing.", u"line\nbreak", u"a:b", u"q\"uote",
                                 u"\xD800 lone"}) {
        Held<ITask> task;
        EXPECT_EQ(m_scheduler->NewWorkItem(name, CLSID_CTask, IID_ITask, task.putUnknown()),
                  HRESULT_FROM_WIN32(ERROR_INVALID_NAME))
            << lumivel::ToUtf8(name);
    }
    Held<ITask> task;
    EXPECT_EQ(m_scheduler->NewWorkItem(u"x", CLSID_CTaskScheduler, IID_ITask, task.putUnknown()), CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(TaskSchedulerTest, RunTimesAndStatesOfAnItem) {
    Held<ITask> task;
    ASSERT_EQ(m_scheduler->NewWorkItem(u"States", CLSID_CTask, IID_ITask, task.putUnknown()), S_OK);
    SYSTEMTIME next{};
    EXPECT_EQ(task->GetNextRunTime(&next), SCHED_S_TASK_NO_VALID_TRIGGERS);
    LPWSTR account = nullptr;
    EXPECT_EQ(task->GetAccountInformation(&account), SCHED_E_ACCOUNT_INFORMATION_NOT_SET);

    WORD index = 0;
    Held<ITaskTrigger> trigger;
    ASSERT_EQ(task->CreateTrigger(&index, trigger.put()), S_OK);
    TASK_TRIGGER record = OnceLongAgo();
    ASSERT_EQ(trigger->SetTrigger(&record), S_OK);
    EXPECT_EQ(task->GetNextRunTime(&next), SCHED_S_TASK_NO_MORE_RUNS);
    record = DailyAt(23, 59);
    record.wBeginYear -= 1;
    ASSERT_EQ(trigger->SetTrigger(&record), S_OK);
    ASSERT_EQ(task->GetNextRunTime(&next), S_OK);
    EXPECT_EQ(next.wHour, 23);
    EXPECT_EQ(next.wMinute, 59);

    // Three days of runs, in order, each at its time.
    SYSTEMTIME begin{};
    GetLocalTime(&begin);
    begin.wHour = 0, begin.wMinute = 0, begin.wSecond = 0;
    WORD count = 3;
    LPSYSTEMTIME runs = nullptr;
    ASSERT_EQ(task->GetRunTimes(&begin, nullptr, &count, &runs), S_OK);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(runs[0].wDay, begin.wDay);
    EXPECT_NE(runs[1].wDay, runs[0].wDay);
    for (WORD i = 0; i < count; ++i) EXPECT_EQ(runs[i].wHour, 23);
    CoTaskMemFree(runs);

    task->SetFlags(TASK_FLAG_DISABLED);
    EXPECT_EQ(task->GetNextRunTime(&next), SCHED_S_TASK_DISABLED);
    TASK_TRIGGER bad = record;
    bad.cbTriggerSize = 40;
    EXPECT_EQ(trigger->SetTrigger(&bad), E_INVALIDARG);
    ASSERT_EQ(task->DeleteTrigger(0), S_OK);
    EXPECT_EQ(trigger->GetTrigger(&bad), SCHED_E_TRIGGER_NOT_FOUND) << "a trigger object outlives its trigger";
    EXPECT_EQ(task->Run(), SCHED_E_TASK_NOT_READY) << "an item never saved cannot run";
}

TEST_F(TaskSchedulerTest, RunNeedsTheService) {
    ASSERT_EQ(MakeItem(u"Waits", u"true", DailyAt(3, 0)), S_OK);
    Held<ITask> task;
    ASSERT_EQ(m_scheduler->Activate(u"Waits", IID_ITask, task.putUnknown()), S_OK);
    EXPECT_EQ(task->Run(), SCHED_E_SERVICE_NOT_RUNNING);
    EXPECT_EQ(task->Terminate(), SCHED_E_SERVICE_NOT_RUNNING);
}

TEST_F(TaskSchedulerTest, AccountsAreCheckedWhenSet) {
    Held<ITask> task;
    ASSERT_EQ(m_scheduler->NewWorkItem(u"Account", CLSID_CTask, IID_ITask, task.putUnknown()), S_OK);
    EXPECT_EQ(task->SetAccountInformation(u"svc/host@LUMIVEL.TEST", u"x"), HRESULT_FROM_WIN32(ERROR_INVALID_ACCOUNT_NAME));
    EXPECT_EQ(task->SetAccountInformation(u"ann@", u"x"), HRESULT_FROM_WIN32(ERROR_INVALID_ACCOUNT_NAME));
    EXPECT_EQ(task->SetAccountInformation(u"ann@LUMIVEL.TEST", nullptr), E_INVALIDARG);

    // A realm whose KDC does not answer: the pair cannot be checked, so it is not taken.
    const std::string config = m_root.path() + "/krb5.conf";
    std::ofstream(config) << "[libdefaults]\n default_realm = NOWHERE.TEST\n dns_lookup_kdc = false\n"
                             " udp_preference_limit = 0\n[realms]\n NOWHERE.TEST = {\n  kdc = 127.0.0.1:9\n }\n";
    setenv("KRB5_CONFIG", config.c_str(), 1);
    setenv("KRB5CCNAME", ("FILE:" + m_root.path() + "/no-ccache").c_str(), 1);
    EXPECT_EQ(task->SetAccountInformation(u"ann", u"secret"), HRESULT_FROM_WIN32(ERROR_NO_LOGON_SERVERS));
    EXPECT_EQ(task->SetAccountInformation(u"OTHER\\ann", u"secret"), HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN));
    LPWSTR account = nullptr;
    EXPECT_EQ(task->GetAccountInformation(&account), SCHED_E_ACCOUNT_INFORMATION_NOT_SET) << "a refused account is not kept";
    unsetenv("KRB5_CONFIG");
    unsetenv("KRB5CCNAME");
}

TEST_F(TaskSchedulerTest, FoldersAndFilesOthersCouldChangeAreNotTrusted) {
    ASSERT_EQ(MakeItem(u"Mine", u"true", DailyAt(3, 0)), S_OK);
    const std::string item = m_tasks + "/Mine.job";

    // An item that is a link to a file elsewhere.
    ASSERT_EQ(symlink(item.c_str(), (m_tasks + "/Linked.job").c_str()), 0);
    EXPECT_TRUE(Exists(u"Mine"));
    EXPECT_FALSE(Exists(u"Linked"));

    // An item file others may write.
    ASSERT_EQ(chmod(item.c_str(), 0622), 0);
    Held<ITask> task;
    EXPECT_EQ(m_scheduler->Activate(u"Mine", IID_ITask, task.putUnknown()), E_ACCESSDENIED);
    ASSERT_EQ(chmod(item.c_str(), 0600), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(item.c_str(), 65534, 65534), 0);
        EXPECT_EQ(m_scheduler->Activate(u"Mine", IID_ITask, task.putUnknown()), E_ACCESSDENIED) << "another account's item";
        ASSERT_EQ(chown(item.c_str(), 0, 0), 0);
    }

    // A folder others may write.
    ASSERT_EQ(chmod(m_tasks.c_str(), 0777), 0);
    EXPECT_EQ(m_scheduler->Activate(u"Mine", IID_ITask, task.putUnknown()), E_ACCESSDENIED);
    EXPECT_EQ(MakeItem(u"Another", u"true", DailyAt(3, 0)), E_ACCESSDENIED);
    ASSERT_EQ(chmod(m_tasks.c_str(), 0700), 0);
    EXPECT_TRUE(Exists(u"Mine"));
}

}  // namespace
}  // namespace scheduler_test
