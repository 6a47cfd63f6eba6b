// "&Schedule" of the "Perform Backup" dialog and the work item it makes, on a private task
// folder: the item as CreateBackupTask saves it, and every way scheduling fails without
// leaving half of it behind. The account check against a domain is the directory test's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "../../platform/qtui/tests/qt_test_support.h"
#include "lumivel/ui_test_hook.h"
#include "provider/backup/backup_script.h"
#include "provider/backup/backup_task.h"
#include "provider/backup/module_directory.h"
#include "provider/backup/perform_backup_dialog.h"
#include "provider/backup/schedule_settings.h"
#include "provider/common/resource_ids.h"
#include "lumivel/com_ptr.h"
#include "shared/text_helpers.h"
#include "tests/support/temporary_directory.h"
#include "win/mstask.h"

namespace {

using lumivel::ui::Surface;
using lumivel::ui::SurfaceKind;
using namespace revivo;

class ScheduleBackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        qttest::UseQtBackend();
        m_folder = m_root.path();
        setenv("LUMIVEL_TASK_FOLDER", (m_folder + "/tasks").c_str(), 1);
        // A realm whose KDC does not answer: no account can be checked.
        std::ofstream(m_folder + "/krb5.conf") << "[libdefaults]\n default_realm = NOWHERE.TEST\n dns_lookup_kdc = false\n"
                                                  " udp_preference_limit = 0\n[realms]\n NOWHERE.TEST = {\n  kdc = 127.0.0.1:9\n }\n";
        setenv("KRB5_CONFIG", (m_folder + "/krb5.conf").c_str(), 1);
        setenv("KRB5CCNAME", ("FILE:" + m_folder + "/ccache").c_str(), 1);
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                   m_scheduler.putVoid()),
                  S_OK);
        // A GUID of this run, so that the scripts beside the module are this test's alone.
        GUID random{};
        CoCreateGuid(&random);
        WCHAR text[40] = {};
        StringFromGUID2(random, text, 40);
        for (char16_t c : std::u16string(text))
            if (std::isxdigit(static_cast<int>(c))) m_guid += c;
        m_record = PropertySet::create();
        m_record->setText(u"guid", m_guid);
        m_record->setText(u"distinguishedName", u"OU=Staff \"East\",OU=Lumivel Corp,DC=lumivel,DC=test");
        DWORD error = 0;
        m_script = lumivel::shared::NarrowText(ScheduledBackupsFolder(&error) + BackupScriptFileName(m_guid));
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        m_record->release();
        m_scheduler.reset();
        CoUninitialize();
        std::error_code ignored;
        std::filesystem::remove_all(m_script, ignored);
        unsetenv("LUMIVEL_TASK_FOLDER");
        unsetenv("KRB5_CONFIG");
        unsetenv("KRB5CCNAME");
    }

    // Runs "Perform Backup", presses "&Schedule" and fills the form with `account`; message
    // boxes are noted and confirmed. The dialog's result.
    INT_PTR schedule(const std::u16string& account, bool formExpected = true) {
        PerformBackupInput input{{}, u"dc1.lumivel.test", m_record, {m_record}};
        lumivel::ui::SetTestHook([&](const Surface& surface) -> INT_PTR {
            if (surface.kind == SurfaceKind::MessageBox) {
                m_messages.push_back(lumivel::shared::NarrowText(surface.caption) + ": " + lumivel::shared::NarrowText(surface.text));
                return IDOK;
            }
            if (surface.kind == SurfaceKind::PropertySheet) {
                ++m_forms;
                HWND page = PropSheet_GetCurrentPageHwnd(surface.window);
                SetDlgItemTextW(page, IDC_ACCOUNT, account.c_str());
                SetDlgItemTextW(page, IDC_PASSWORD, u"secret");
                SetDlgItemTextW(page, IDC_CONFIRM_PASSWORD, u"secret");
                SendMessageW(surface.window, PSM_PRESSBUTTON, PSBTN_OK, 0);
                return 0;
            }
            SendMessageW(surface.window, WM_COMMAND, surface.round == 0 ? IDC_SCHEDULE : IDCANCEL, 0);
            return 0;
        });
        INT_PTR result = ShowPerformBackupDialog(nullptr, input);
        EXPECT_EQ(m_forms, formExpected ? 1 : 0);
        return result;
    }

    bool itemExists() {
        lumivel::ComPtr<ITask> task;
        return SUCCEEDED(m_scheduler->Activate(BackupTaskName(m_guid).c_str(), IID_ITask,
                                               reinterpret_cast<IUnknown**>(task.put())));
    }

    lumivel::testing::TemporaryDirectory m_root{"revivo-schedule"};
    std::string m_folder;
    std::u16string m_guid;
    std::string m_script;
    PropertySet* m_record = nullptr;
    lumivel::ComPtr<ITaskScheduler> m_scheduler;
    std::vector<std::string> m_messages;
    int m_forms = 0;
};

TEST_F(ScheduleBackupTest, TheWorkItemAsCreateBackupTaskSavesIt) {
    PropertySet* settings = PropertySet::create();
    settings->setText(kScheduleNameKey, BackupTaskName(m_guid));
    settings->setText(kSchedulePathKey, u"/opt/lumivel/System32/wscript");
    settings->setText(kScheduleParameterKey, u"\"/opt/lumivel/Scheduled Backups/x.vbs\"");
    settings->setInt(kScheduleKey, kWeekly);
    settings->setInt(kTimeSliceKey, 2);
    settings->setInt(kDaysOrMonthsKey, 0x41);
    SYSTEMTIME start{2026, 3, 0, 10, 21, 5, 0, 0};
    VARIANT date;
    VariantInit(&date);
    date.vt = VT_DATE;
    SystemTimeToVariantTime(&start, &date.date);
    settings->setValue(kStartTimeKey, &date);
    ASSERT_EQ(CreateBackupTask(*settings), S_OK);
    EXPECT_EQ(CreateBackupTask(*settings), HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
    settings->release();

    lumivel::ComPtr<ITask> task;
    ASSERT_EQ(m_scheduler->Activate(BackupTaskName(m_guid).c_str(), IID_ITask, reinterpret_cast<IUnknown**>(task.put())),
              S_OK);
    LPWSTR text = nullptr;
    task->GetApplicationName(&text);
    EXPECT_EQ(std::u16string(text), u"\"/opt/lumivel/System32/wscript\"");
    CoTaskMemFree(text);
    task->GetParameters(&text);
    EXPECT_EQ(std::u16string(text), u"\"/opt/lumivel/Scheduled Backups/x.vbs\"");
    CoTaskMemFree(text);
    task->GetComment(&text);
    EXPECT_EQ(std::u16string(text), u"Scheduled Revivo Backup");
    CoTaskMemFree(text);
    DWORD flags = 0;
    task->GetFlags(&flags);
    EXPECT_EQ(flags, DWORD(TASK_FLAG_DELETE_WHEN_DONE));
    LPWSTR account = nullptr;
    EXPECT_EQ(task->GetAccountInformation(&account), SCHED_E_ACCOUNT_INFORMATION_NOT_SET) << "no \"Account\", none set";
    lumivel::ComPtr<ITaskTrigger> trigger;
    ASSERT_EQ(task->GetTrigger(0, trigger.put()), S_OK);
    TASK_TRIGGER record{};
    trigger->GetTrigger(&record);
    EXPECT_EQ(record.TriggerType, TASK_TIME_TRIGGER_WEEKLY);
    EXPECT_EQ(record.Type.Weekly.WeeksInterval, 2);
    EXPECT_EQ(record.Type.Weekly.rgfDaysOfTheWeek, TASK_MONDAY | TASK_SUNDAY);
    EXPECT_EQ(record.wStartHour, 21);
    EXPECT_EQ(record.wStartMinute, 5);
}

TEST_F(ScheduleBackupTest, ARecordWithoutAUsableGuidSchedulesNothing) {
    m_record->removeValue(u"guid");
    EXPECT_EQ(schedule(u"backup", false), 0);
    m_record->setText(u"guid", u"../../../etc/cron.d/x");
    EXPECT_EQ(schedule(u"backup", false), 0);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_FALSE(std::filesystem::exists(m_script));
}

TEST_F(ScheduleBackupTest, ARefusedAccountLeavesNeitherItemNorScriptAndSaysWhy) {
    EXPECT_EQ(schedule(u"backup"), 0) << "the dialog closes, as after any scheduling";
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Error: There are currently no logon servers available to service the logon request.");
    EXPECT_FALSE(itemExists());
    EXPECT_FALSE(std::filesystem::exists(m_script));
}

TEST_F(ScheduleBackupTest, AnObjectScheduledAlreadyKeepsItsOneItemAndIsTold) {
    lumivel::ComPtr<ITask> first;
    ASSERT_EQ(m_scheduler->NewWorkItem(BackupTaskName(m_guid).c_str(), CLSID_CTask, IID_ITask,
                                       reinterpret_cast<IUnknown**>(first.put())),
              S_OK);
    first->SetComment(u"the first");
    lumivel::ComPtr<IPersistFile> file;
    first.queryInterface(IID_IPersistFile, &file);
    ASSERT_EQ(file->Save(nullptr, TRUE), S_OK);

    EXPECT_EQ(schedule(u"backup"), 0);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Error: The file exists.");
    lumivel::ComPtr<ITask> kept;
    ASSERT_EQ(m_scheduler->Activate(BackupTaskName(m_guid).c_str(), IID_ITask, reinterpret_cast<IUnknown**>(kept.put())),
              S_OK);
    LPWSTR comment = nullptr;
    kept->GetComment(&comment);
    EXPECT_EQ(std::u16string(comment), u"the first");
    CoTaskMemFree(comment);
    // The item's script is there, rewritten for the object as it is named now.
    EXPECT_EQ(lumivel::testing::ReadText(m_script), BackupScriptText(m_record->getText(u"distinguishedName")));
}

TEST_F(ScheduleBackupTest, AScriptThatCannotBeWrittenMakesNoItem) {
    // A folder where the script should go cannot be replaced by a file.
    std::filesystem::create_directories(m_script);
    EXPECT_EQ(schedule(u"backup"), 0);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Error: Access is denied.");
    EXPECT_FALSE(itemExists());
    EXPECT_TRUE(std::filesystem::is_directory(m_script));
}

}  // namespace
