// "&Schedule" of the "Perform Backup" dialog: the schedule form, the script and the work item.
#include "lumivel/system_messages.h"
#include "provider/backup/backup_script.h"
#include "provider/backup/backup_task.h"
#include "provider/backup/perform_backup_dialog.h"
#include "provider/backup/schedule_form.h"
#include "provider/backup/schedule_settings.h"
#include "win/files.h"

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
    MessageBoxW(owner, message.c_str(), u"Error", MB_OK | MB_ICONSTOP);
}

struct SettingsHolder {
    PropertySet* settings = PropertySet::create();
    ~SettingsHolder() {
        if (!settings) return;
        ForgetPassword(*settings);
        settings->release();
    }
};

}  // namespace

bool ScheduleBackup(HWND dialog, PerformBackupInput& input) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), 0xFFFF};
    InitCommonControlsEx(&controls);
    SettingsHolder holder;
    PropertySet* settings = holder.settings;
    if (!settings || !input.record) return false;
    // The GUID names the work item and the script file: only the 32 digits ADSI gives are
    // taken, so that no record can point them elsewhere.
    const std::u16string guid(input.record->getText(u"guid"));
    // Nor is there a job to make for a record without the name of the object to back up.
    const std::u16string dn(input.record->getText(u"distinguishedName"));
    if (!IsObjectGuidText(guid) || dn.empty()) return false;

    settings->setText(kScheduleNameKey, BackupTaskName(guid));
    DWORD error = ERROR_SUCCESS;
    const std::u16string folder = ScheduledBackupsFolder(&error);
    const std::u16string script = folder + BackupScriptFileName(guid);
    WCHAR windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    settings->setText(kSchedulePathKey, std::u16string(windows) + u"/System32/wscript");
    settings->setText(kScheduleParameterKey, u"\"" + script + u"\"");

    if (!ShowScheduleForm(dialog, settings)) return false;

    // The script first: a work item is made only for a script that is there to run.
    if (folder.empty() || (error = WriteBackupScript(script, dn)) != ERROR_SUCCESS) {
        showFailure(dialog, HRESULT_FROM_WIN32(error));
        return true;
    }
    HRESULT result = CreateBackupTask(*settings);
    if (FAILED(result)) {
        // A script no work item runs goes again; one of an existing item stays for it.
        if (result != HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)) DeleteFileW(script.c_str());
        showFailure(dialog, result);
    }
    return true;
}

}  // namespace revivo
