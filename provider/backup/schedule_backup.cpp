// "&Schedule" of the "Perform Backup" dialog, and the same job made from a record's answers:
// the schedule form's settings, the script and the work item.
#include "lumivel/system_messages.h"
#include "provider/backup/backup_script.h"
#include "provider/backup/backup_task.h"
#include "provider/backup/perform_backup_dialog.h"
#include "provider/backup/schedule_form.h"
#include "provider/backup/schedule_settings.h"
#include "provider/common/audit.h"
#include "provider/common/command_report.h"
#include "provider/common/system_error_text.h"
#include "win/commctrl.h"
#include "win/files.h"
#include "win/oleauto.h"

namespace revivo {

namespace {

// The system's own text for a failure, as the administrator should read it.
void showFailure(HWND owner, HRESULT result) {
    std::u16string message = lumivel::SystemMessageText(static_cast<DWORD>(result));
    if (message.empty()) {
        static const char16_t kDigits[] = u"0123456789ABCDEF";
        message = u"Error 0x";
        for (int shift = 28; shift >= 0; shift -= 4) message += kDigits[(static_cast<DWORD>(result) >> shift) & 0xF];
    }
    ShowFailure(owner, result, message, u"Error", MB_OK | MB_ICONSTOP);
}

struct SettingsHolder {
    PropertySet* settings = PropertySet::create();
    ~SettingsHolder() {
        if (!settings) return;
        ForgetPassword(*settings);
        settings->release();
    }
};

// What one job is about: the object, and where its script goes.
struct Job {
    std::u16string guid, dn, folder, script;
    DWORD folderError = ERROR_SUCCESS;
};

// The settings the form does not ask for: the work item's name and what it runs. False for a
// record that names no object to make a job for.
bool prepare(const PerformBackupInput& input, PropertySet* settings, Job* job) {
    if (!settings || !input.record) return false;
    // The GUID names the work item and the script file: only the 32 digits ADSI gives are
    // taken, so that no record can point them elsewhere.
    job->guid = input.record->getText(u"guid");
    // Nor is there a job to make for a record without the name of the object to back up.
    job->dn = input.record->getText(u"distinguishedName");
    if (!IsObjectGuidText(job->guid) || job->dn.empty()) return false;

    settings->setText(kScheduleNameKey, BackupTaskName(job->guid));
    job->folder = ScheduledBackupsFolder(&job->folderError);
    job->script = job->folder + BackupScriptFileName(job->guid);
    WCHAR windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    settings->setText(kSchedulePathKey, std::u16string(windows) + u"/System32/wscript");
    settings->setText(kScheduleParameterKey, u"\"" + job->script + u"\"");
    return true;
}

// The job of confirmed settings: the script first, for a work item is made only for a script
// that is there to run. True when the work item was made.
bool makeJob(HWND owner, const PerformBackupInput& input, const PropertySet& settings, const Job& job) {
    const std::u16string server(input.server);
    DWORD error = job.folderError;
    if (job.folder.empty() || (error = WriteBackupScript(job.script, job.dn)) != ERROR_SUCCESS) {
        AuditAction(owner, AuditEntryOf("schedule", job.dn, job.guid, server, false,
                                        SystemErrorText(error ? error : ERROR_PATH_NOT_FOUND)));
        showFailure(owner, HRESULT_FROM_WIN32(error));
        return false;
    }
    HRESULT result = CreateBackupTask(settings);
    AuditAction(owner, AuditEntryOf("schedule", job.dn, job.guid, server, SUCCEEDED(result),
                                    SUCCEEDED(result) ? u"job " + BackupTaskName(job.guid)
                                                      : SystemErrorText(static_cast<DWORD>(result))));
    if (FAILED(result)) {
        // A script no work item runs goes again; one of an existing item stays for it.
        if (result != HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)) DeleteFileW(job.script.c_str());
        showFailure(owner, result);
        return false;
    }
    return true;
}

// The answers of the form, copied from a record into the settings.
constexpr const char16_t* kAnswerKeys[] = {kScheduleKey, kTimeSliceKey,  kDaysOrMonthsKey, kCycleOfWeekKey,
                                           kStartTimeKey, kAccountKey,   kPasswordKey};

}  // namespace

bool ScheduleBackup(HWND dialog, PerformBackupInput& input) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), 0xFFFF};
    InitCommonControlsEx(&controls);
    SettingsHolder holder;
    Job job;
    if (!prepare(input, holder.settings, &job)) return false;
    if (!ShowScheduleForm(dialog, holder.settings)) return false;
    makeJob(dialog, input, *holder.settings, job);
    return true;
}

bool ScheduleBackupWith(HWND owner, PerformBackupInput& input, const PropertySet& answers) {
    SettingsHolder holder;
    Job job;
    if (!prepare(input, holder.settings, &job)) {
        ShowFailure(owner, E_INVALIDARG, u"The object has no GUID and name to make a backup job for.",
                    u"Perform Backup", MB_OK | MB_ICONSTOP);
        return false;
    }
    std::optional<lumivel::shared::ScheduleEntries> entries = lumivel::shared::ScheduleEntriesOf(answers);
    if (!entries) {
        ShowFailure(owner, E_INVALIDARG, u"The schedule is not one the schedule form can give.", u"Schedule",
                    MB_OK | MB_ICONSTOP);
        return false;
    }
    if (std::optional<lumivel::shared::ScheduleRefusal> refused = lumivel::shared::CheckScheduleEntries(*entries)) {
        ShowFailure(owner, E_INVALIDARG, refused->text, refused->caption, MB_OK | refused->icon);
        return false;
    }
    for (const char16_t* key : kAnswerKeys) {
        VARIANT value;
        if (answers.getValue(key, &value)) holder.settings->setValue(key, &value);
    }
    return makeJob(owner, input, *holder.settings, job);
}

}  // namespace revivo
