// From the schedule settings to the work item's trigger, and the script a scheduled backup
// runs, byte for byte.
#include <gtest/gtest.h>

#include <cstring>

#include "provider/backup/backup_script.h"
#include "provider/backup/schedule_settings.h"

namespace {

using namespace revivo;

// The settings as the form leaves them; StartTime on 10 March 2026 at 09:45.
struct Settings {
    PropertySet* record = PropertySet::create();
    Settings(LONG schedule, LONG slice, LONG daysOrMonths) {
        record->setInt(kScheduleKey, schedule);
        record->setInt(kTimeSliceKey, slice);
        record->setInt(kDaysOrMonthsKey, daysOrMonths);
        setDate(kStartTimeKey, 2026, 3, 10, 9, 45);
    }
    ~Settings() { record->release(); }
    void setDate(LPCWSTR key, WORD y, WORD m, WORD d, WORD h = 0, WORD mi = 0) {
        SYSTEMTIME t{y, m, 0, d, h, mi, 30, 0};
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_DATE;
        SystemTimeToVariantTime(&t, &v.date);
        record->setValue(key, &v);
    }
    TASK_TRIGGER trigger(HRESULT expected = S_OK) {
        TASK_TRIGGER t{};
        EXPECT_EQ(TriggerFromSettings(*record, &t), expected);
        return t;
    }
};

TEST(ScheduleSettings, TriggersForEverySchedule) {
    {
        Settings daily(kDaily, 3, 0);
        TASK_TRIGGER t = daily.trigger();
        EXPECT_EQ(t.cbTriggerSize, 48);
        EXPECT_EQ(t.TriggerType, TASK_TIME_TRIGGER_DAILY);
        EXPECT_EQ(t.Type.Daily.DaysInterval, 3);
        EXPECT_EQ(t.wBeginYear, 2026);
        EXPECT_EQ(t.wBeginMonth, 3);
        EXPECT_EQ(t.wBeginDay, 10);
        EXPECT_EQ(t.wStartHour, 9);
        EXPECT_EQ(t.wStartMinute, 45);
        // Everything the schedule does not set stays zero.
        TASK_TRIGGER expected{};
        expected.cbTriggerSize = 48;
        expected.wBeginYear = 2026, expected.wBeginMonth = 3, expected.wBeginDay = 10;
        expected.wStartHour = 9, expected.wStartMinute = 45;
        expected.TriggerType = TASK_TIME_TRIGGER_DAILY;
        expected.Type.Daily.DaysInterval = 3;
        EXPECT_EQ(std::memcmp(&t, &expected, sizeof t), 0);
    }
    {
        // Monday (bit 0) and Sunday (bit 6).
        Settings weekly(kWeekly, 2, 0x41);
        TASK_TRIGGER t = weekly.trigger();
        EXPECT_EQ(t.TriggerType, TASK_TIME_TRIGGER_WEEKLY);
        EXPECT_EQ(t.Type.Weekly.WeeksInterval, 2);
        EXPECT_EQ(t.Type.Weekly.rgfDaysOfTheWeek, TASK_MONDAY | TASK_SUNDAY);
        EXPECT_EQ(t.Type.Weekly.rgfDaysOfTheWeek, 0x3);
    }
    {
        // Every day from Monday to Saturday maps onto TASK_MONDAY .. TASK_SATURDAY.
        Settings weekdays(kWeekly, 1, 0x3F);
        EXPECT_EQ(weekdays.trigger().Type.Weekly.rgfDaysOfTheWeek, 0x7E);
    }
    {
        // "The" "First" "Monday" in March.
        Settings monthly(kMonthly, 0, 1 << 2);
        monthly.record->setInt(kCycleOfWeekKey, 0);
        TASK_TRIGGER t = monthly.trigger();
        EXPECT_EQ(t.TriggerType, TASK_TIME_TRIGGER_MONTHLYDOW);
        EXPECT_EQ(t.Type.MonthlyDOW.wWhichWeek, TASK_FIRST_WEEK);
        EXPECT_EQ(t.Type.MonthlyDOW.rgfDaysOfTheWeek, TASK_MONDAY);
        EXPECT_EQ(t.Type.MonthlyDOW.rgfMonths, TASK_MARCH);
    }
    {
        // "The" "Last" "Sunday" in December.
        Settings monthly(kMonthly, 4, 1 << 11);
        monthly.record->setInt(kCycleOfWeekKey, 6);
        TASK_TRIGGER t = monthly.trigger();
        EXPECT_EQ(t.Type.MonthlyDOW.wWhichWeek, TASK_LAST_WEEK);
        EXPECT_EQ(t.Type.MonthlyDOW.rgfDaysOfTheWeek, TASK_SUNDAY);
        EXPECT_EQ(t.Type.MonthlyDOW.rgfMonths, TASK_DECEMBER);
    }
    {
        // "Day" 15 in all months.
        Settings monthly(kMonthly, 15, 0xFFF);
        TASK_TRIGGER t = monthly.trigger();
        EXPECT_EQ(t.TriggerType, TASK_TIME_TRIGGER_MONTHLYDATE);
        EXPECT_EQ(t.Type.MonthlyDate.rgfDays, 1u << 14);
        EXPECT_EQ(t.Type.MonthlyDate.rgfMonths, 0xFFF);
    }
    {
        // Once: the date from DaysOrMonths, the time from StartTime.
        Settings once(kOnce, 0, 0);
        once.setDate(kDaysOrMonthsKey, 2026, 12, 24);
        TASK_TRIGGER t = once.trigger();
        EXPECT_EQ(t.TriggerType, TASK_TIME_TRIGGER_ONCE);
        EXPECT_EQ(t.wBeginYear, 2026);
        EXPECT_EQ(t.wBeginMonth, 12);
        EXPECT_EQ(t.wBeginDay, 24);
        EXPECT_EQ(t.wStartHour, 9);
        EXPECT_EQ(t.wStartMinute, 45);
    }
}

TEST(ScheduleSettings, SettingsNoTriggerCanHoldAreRefused) {
    Settings day0(kMonthly, 0, 0xFFF);
    day0.trigger(E_INVALIDARG);
    Settings day32(kMonthly, 32, 0xFFF);
    day32.trigger(E_INVALIDARG);
    Settings weeks0(kWeekly, 0, 1);
    weeks0.trigger(E_INVALIDARG);
    Settings weeks53(kWeekly, 53, 1);
    weeks53.trigger(E_INVALIDARG);
    Settings noDays(kWeekly, 1, 0);
    noDays.trigger(E_INVALIDARG);
    Settings days366(kDaily, 366, 0);
    days366.trigger(E_INVALIDARG);
    Settings onceWithoutDate(kOnce, 0, 0);
    onceWithoutDate.trigger(E_INVALIDARG);
    Settings noStart(kDaily, 1, 0);
    noStart.record->removeValue(kStartTimeKey);
    noStart.trigger(E_INVALIDARG);
    Settings day31(kMonthly, 31, 0xFFF);
    EXPECT_EQ(day31.trigger().Type.MonthlyDate.rgfDays, 1u << 30);
}

TEST(ScheduleSettings, NamesFromTheObjectsGuid) {
    EXPECT_EQ(BackupTaskName(u"0123456789abcdef0123456789ABCDEF"), u"BackupObjects (0123456789abcdef0123456789ABCDEF)");
    EXPECT_EQ(BackupScriptFileName(u"0123"), u"BackupObjects (0123).vbs");
    EXPECT_TRUE(IsObjectGuidText(u"0123456789abcdef0123456789ABCDEF"));
    EXPECT_FALSE(IsObjectGuidText(u"{01234567-89ab-cdef-0123-456789ABCDEF}"));
    EXPECT_FALSE(IsObjectGuidText(u"../../../../etc/cron.d/x0123456789"));
    EXPECT_FALSE(IsObjectGuidText(u""));
}

TEST(BackupScript, TheScriptByteForByte) {
    EXPECT_EQ(BackupScriptText(u"OU=Staff,DC=lumivel,DC=test"),
              "Set oObject = CreateObject(\"RevivoProvider.Revivo\")\r\n"
              "\r\n"
              "If IsObject(oObject) Then\r\n"
              "   oObject.BackupObjects \"OU=Staff,DC=lumivel,DC=test\"\r\n"
              "End If");
    // Quotes doubled, so that the name stays one string; Cyrillic and a character outside the
    // Basic Multilingual Plane in UTF-8, the ANSI code page here; an unpaired surrogate as "?".
    const std::u16string hostile = u"CN=\"\" Execute \"x,CN=\u0416\u0435\U0001F600\xD800,DC=lumivel,DC=test";
    EXPECT_EQ(BackupScriptText(hostile),
              "Set oObject = CreateObject(\"RevivoProvider.Revivo\")\r\n"
              "\r\n"
              "If IsObject(oObject) Then\r\n"
              "   oObject.BackupObjects \"CN=\"\"\"\" Execute \"\"x,CN=\xD0\x96\xD0\xB5\xF0\x9F\x98\x80?,DC=lumivel,DC=test\"\r\n"
              "End If");
    std::u16string back = hostile;
    back[back.find(u'\xD800')] = u'?';
    EXPECT_EQ(ObjectOfBackupScript(BackupScriptText(hostile)), back);
}

TEST(BackupScript, OnlyOurOwnScriptsNameAnObject) {
    EXPECT_FALSE(ObjectOfBackupScript("").has_value());
    EXPECT_FALSE(ObjectOfBackupScript("o.Run \"x\"").has_value());
    std::string lone = BackupScriptText(u"CN=a");
    lone.replace(lone.find("CN=a"), 4, "CN=\"a");
    EXPECT_FALSE(ObjectOfBackupScript(lone).has_value()) << "a quote standing alone ends the string";
    EXPECT_FALSE(ObjectOfBackupScript(BackupScriptText(u"CN=a") + "\r\nMore").has_value());
}

}  // namespace
