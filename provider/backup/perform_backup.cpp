#include "provider/backup/perform_backup.h"

#include <optional>

#include "provider/backup/backup_writer.h"
#include "provider/backup/perform_backup_dialog.h"
#include "provider/common/command_report.h"
#include "provider/common/system_error_text.h"
#include "shared/provider_interfaces.h"
#include "shared/schedule_check.h"
#include "shared/text_helpers.h"

namespace revivo {

HRESULT PerformBackup(HWND parent, PerformBackupInput& input) {
    std::optional<std::u16string> choice = input.record ? input.record->copyString(kPerformBackupKey) : std::nullopt;
    if (!choice) {
        if (MayAskInDialogs()) return ShowPerformBackupDialog(parent, input) == 1 ? S_OK : S_FALSE;
        AskCaller(kPerformBackupKey);
        NoteFailure(HRESULT_FROM_WIN32(ERROR_CANCELLED), u"Perform Backup",
                    u"Neither a backup now nor a schedule was chosen.");
        return S_FALSE;
    }
    if (lumivel::EqualsNoCase(*choice, kPerformBackupNow)) {
        BackupRun run = RunBackup(input.sources, parent, input.server, input.selection);
        if (run.outcome == BackupRun::Outcome::Stored) return S_OK;
        // The run said why in its message; an error code with the high bit set is an HRESULT.
        if (run.outcome != BackupRun::Outcome::NothingToBackUp)
            NoteFailure(static_cast<HRESULT>(run.error) < 0 ? static_cast<HRESULT>(run.error)
                                                            : HRESULT_FROM_WIN32(run.error),
                        BackupFailureCaption(run.outcome), SystemErrorText(run.error));
        return S_FALSE;
    }
    if (lumivel::EqualsNoCase(*choice, kPerformBackupSchedule)) {
        bool made = ScheduleBackupWith(parent, input, *input.record);
        // The caller's record held the password only for this.
        lumivel::shared::ForgetPassword(*input.record);
        return made ? S_OK : S_FALSE;
    }
    ShowFailure(parent, E_INVALIDARG, u"\"" + *choice + u"\" is neither a backup now nor a schedule.", u"Perform Backup",
                MB_OK | MB_ICONSTOP);
    return S_FALSE;
}

}  // namespace revivo
