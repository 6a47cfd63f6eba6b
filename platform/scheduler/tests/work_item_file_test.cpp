// The text form of a work item: everything an item holds comes back as it was, and files that
// are not items of this scheduler are refused whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "../work_item_file.h"

namespace lumivel::scheduler {
namespace {

TASK_TRIGGER Trigger(TASK_TRIGGER_TYPE type) {
    TASK_TRIGGER t{};
    t.cbTriggerSize = sizeof t;
    t.wBeginYear = 2026, t.wBeginMonth = 3, t.wBeginDay = 10, t.wStartHour = 23, t.wStartMinute = 59;
    t.TriggerType = type;
    return t;
}

bool SameTrigger(const TASK_TRIGGER& a, const TASK_TRIGGER& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(WorkItemFile, EverythingComesBack) {
    WorkItemRecord r;
    r.applicationName = u"\"/opt/lumivel/System32/wscript\"";
    // Line ends, backslashes, '=', control characters and text from any script.
    r.parameters = u"\"/srv/Scheduled Backups/BackupObjects (0123).vbs\"\nFlags=0x0\\n\r\t\x01";
    r.comment = u"Scheduled Revivo Backup \u0416\u00e9 \U0001F600";
    r.creator = u"root";
    r.workingDirectory = u"/var/tmp";
    r.accountSet = true;
    r.account = u"LUMIVEL\\Administrator";
    r.principal = "Administrator@LUMIVEL.TEST";
    r.keytab = {0x05, 0x02, 0x00, 0xFF, 0x0A};
    r.flags = TASK_FLAG_DELETE_WHEN_DONE | TASK_FLAG_DISABLED;
    r.taskFlags = 7;
    r.priority = 0x40;
    r.maxRunTime = 0xFFFFFFFF;
    r.idleMinutes = 3, r.idleDeadline = 4, r.retryCount = 5, r.retryInterval = 6;
    r.data = {0, 1, 2, 0xFE};
    TASK_TRIGGER once = Trigger(TASK_TIME_TRIGGER_ONCE);
    TASK_TRIGGER daily = Trigger(TASK_TIME_TRIGGER_DAILY);
    daily.Type.Daily.DaysInterval = 365;
    daily.rgFlags = TASK_TRIGGER_FLAG_HAS_END_DATE | TASK_TRIGGER_FLAG_DISABLED;
    daily.wEndYear = 2027, daily.wEndMonth = 1, daily.wEndDay = 31;
    TASK_TRIGGER weekly = Trigger(TASK_TIME_TRIGGER_WEEKLY);
    weekly.Type.Weekly = {52, TASK_MONDAY | TASK_SUNDAY};
    TASK_TRIGGER date = Trigger(TASK_TIME_TRIGGER_MONTHLYDATE);
    date.Type.MonthlyDate.rgfDays = 0x40000001;
    date.Type.MonthlyDate.rgfMonths = 0xFFF;
    TASK_TRIGGER dow = Trigger(TASK_TIME_TRIGGER_MONTHLYDOW);
    dow.Type.MonthlyDOW = {TASK_LAST_WEEK, TASK_FRIDAY, TASK_MARCH};
    r.triggers = {once, daily, weekly, date, dow};
    r.userHive = "/home/ann/.config/lumivel/user.hive";
    r.machineHive = "/var/lib/lumivel/machine.hive";
    r.mostRecentRun = SYSTEMTIME{2026, 3, 0, 10, 9, 0, 5, 0};
    r.running = true, r.hasRun = true, r.terminated = true;
    r.exitCode = 0xC0000005;
    r.startError = HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE);
    r.runRequest = 9, r.runHandled = 8, r.terminateRequest = 2, r.terminateHandled = 1;

    const std::string text = EncodeWorkItem(r);
    EXPECT_EQ(text.substr(0, 18), "LumivelWorkItem=1\n");
    // Every line is one key and its value: no text of the item starts a line of its own.
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        const std::string key = line.substr(0, line.find('='));
        EXPECT_TRUE(!key.empty() && std::all_of(key.begin(), key.end(), [](char c) { return std::isalpha(c); })) << line;
    }
    HRESULT error = E_FAIL;
    auto back = DecodeWorkItem(text, &error);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(error, S_OK);
    EXPECT_EQ(back->applicationName, r.applicationName);
    EXPECT_EQ(back->parameters, r.parameters);
    EXPECT_EQ(back->comment, r.comment);
    EXPECT_EQ(back->creator, r.creator);
    EXPECT_EQ(back->workingDirectory, r.workingDirectory);
    EXPECT_TRUE(back->accountSet);
    EXPECT_EQ(back->account, r.account);
    EXPECT_EQ(back->principal, r.principal);
    EXPECT_EQ(back->keytab, r.keytab);
    EXPECT_EQ(back->flags, r.flags);
    EXPECT_EQ(back->taskFlags, r.taskFlags);
    EXPECT_EQ(back->priority, r.priority);
    EXPECT_EQ(back->maxRunTime, r.maxRunTime);
    EXPECT_EQ(back->idleMinutes, 3);
    EXPECT_EQ(back->idleDeadline, 4);
    EXPECT_EQ(back->retryCount, 5);
    EXPECT_EQ(back->retryInterval, 6);
    EXPECT_EQ(back->data, r.data);
    ASSERT_EQ(back->triggers.size(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_TRUE(SameTrigger(back->triggers[i], r.triggers[i])) << "trigger " << i;
    EXPECT_EQ(back->userHive, r.userHive);
    EXPECT_EQ(back->machineHive, r.machineHive);
    ASSERT_TRUE(back->mostRecentRun.has_value());
    EXPECT_EQ(back->mostRecentRun->wSecond, 5);
    EXPECT_TRUE(back->running && back->hasRun && back->terminated);
    EXPECT_EQ(back->exitCode, 0xC0000005u);
    EXPECT_EQ(back->startError, r.startError);
    EXPECT_EQ(back->runRequest, 9u);
    EXPECT_EQ(back->runHandled, 8u);
    EXPECT_EQ(back->terminateRequest, 2u);
    EXPECT_EQ(back->terminateHandled, 1u);
}

TEST(WorkItemFile, NoValueCanStartAnotherLine) {
    WorkItemRecord r;
    r.comment = u"x\nRunRequest=99\nAccount=root";
    HRESULT error = E_FAIL;
    auto back = DecodeWorkItem(EncodeWorkItem(r), &error);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->comment, r.comment);
    EXPECT_EQ(back->runRequest, 0u);
    EXPECT_FALSE(back->accountSet);
}

// An item file may be shown with cat: its values hold nothing that steers a terminal, and a
// hive path that is no UTF-8 comes back byte for byte.
TEST(WorkItemFile, ValuesAreStoredHarmlessAndComeBackWhole) {
    WorkItemRecord r;
    r.comment = u"\x1b]0;owned\x07 \u009b2J txt.\u202eexe \u2066x\u2069";
    r.userHive = "/home/Ren\xe9/\x9b" "2J/user.hive";
    const std::string text = EncodeWorkItem(r);
    for (const char* raw : {"\x1b", "\x07", "\xc2\x9b", "\xe2\x80\xae", "\xe2\x81\xa6", "\xe9", "\x9b"})
        EXPECT_EQ(text.find(raw), std::string::npos) << text;
    HRESULT error = E_FAIL;
    auto back = DecodeWorkItem(text, &error);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->comment, r.comment);
    EXPECT_EQ(back->userHive, r.userHive);

    // Items written before spelt tabs, carriage returns and DEL as \x and capitals.
    auto old = DecodeWorkItem(EncodeWorkItem(WorkItemRecord{}) + "Comment=a\\x09b\\x0Dc\\x7F\\\\n\n", &error);
    ASSERT_TRUE(old.has_value());
    EXPECT_EQ(old->comment, u"a\tb\rc\x7f\\n");
}

TEST(WorkItemFile, RefusesFilesThatAreNoItems) {
    const std::string good = EncodeWorkItem(WorkItemRecord{});
    struct Case {
        const char* what;
        std::string text;
        HRESULT error;
    };
    const Case cases[] = {
        {"empty", "", SCHED_E_INVALID_TASK},
        {"another file", "[Version]\nSignature=\"$Chicago$\"\n", SCHED_E_INVALID_TASK},
        {"a later version", "LumivelWorkItem=2\n", SCHED_E_UNKNOWN_OBJECT_VERSION},
        {"a line without '='", good + "Comment\n", SCHED_E_INVALID_TASK},
        {"a broken escape", good + "Comment=a\\q\n", SCHED_E_INVALID_TASK},
        {"an escape cut short", good + "Comment=a\\x4\n", SCHED_E_INVALID_TASK},
        {"a flag that is no number", good + "Flags=two\n", SCHED_E_INVALID_TASK},
        {"a trigger SetTrigger refuses", good + "Trigger=type=weekly begin=2026-03-10 start=09:00 flags=0x0 weeks=1 days=0x0\n",
         SCHED_E_INVALID_TASK},
        {"a trigger of an unknown type", good + "Trigger=type=at-logon begin=2026-03-10 start=09:00 flags=0x0\n",
         SCHED_E_INVALID_TASK},
        {"a trigger without its start", good + "Trigger=type=once begin=2026-03-10 flags=0x0\n", SCHED_E_INVALID_TASK},
        {"a key without an account", good + "Keytab=0502\n", SCHED_E_INVALID_TASK},
        {"a bad last run", good + "MostRecentRun=2026-03-10 25:00:00\n", SCHED_E_INVALID_TASK},
    };
    for (const Case& c : cases) {
        HRESULT error = S_OK;
        EXPECT_FALSE(DecodeWorkItem(c.text, &error).has_value()) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
    // Keys of a later version are passed over.
    HRESULT error = E_FAIL;
    EXPECT_TRUE(DecodeWorkItem(good + "Colour=blue\n", &error).has_value());
}

}  // namespace
}  // namespace lumivel::scheduler
