#include "provider/backup/perform_backup_dialog.h"

#include "lumivel/com_object.h"
#include "provider/backup/backup_writer.h"
#include "provider/common/dialog_helpers.h"
#include "provider/common/resource_ids.h"
#include "win/user.h"

namespace revivo {

namespace {

PerformBackupInput* inputOf(HWND dialog) {
    return reinterpret_cast<PerformBackupInput*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void backUpNow(HWND dialog, PerformBackupInput* input) {
    // The run blocks this thread; the buttons would do nothing meanwhile and say so.
    for (int id : {IDOK, IDCANCEL, IDC_SCHEDULE}) EnableWindow(GetDlgItem(dialog, id), FALSE);
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    BackupToArchive(input->sources, dialog, input->server, input->selection);
    SetCursor(previous);
    EndDialog(dialog, 1);
}

INT_PTR CALLBACK performBackupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            auto* input = reinterpret_cast<PerformBackupInput*>(lParam);
            std::u16string dn(input->record ? input->record->getText(u"distinguishedName") : std::u16string_view());
            SetDlgItemTextW(dialog, IDC_BACKUP_OBJECT, dn.c_str());
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    backUpNow(dialog, inputOf(dialog));
                    return TRUE;
                case IDC_SCHEDULE:
                    if (ScheduleBackup(dialog, *inputOf(dialog))) EndDialog(dialog, 0);
                    return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

}  // namespace

INT_PTR ShowPerformBackupDialog(HWND parent, PerformBackupInput& input) {
    return DialogBoxParamW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDD_PERFORM_BACKUP), parent,
                           performBackupDialogProc, reinterpret_cast<LPARAM>(&input));
}

}  // namespace revivo
