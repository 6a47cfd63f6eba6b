#include "provider/backup/backup_choice_dialog.h"

#include <string>
#include <vector>

#include "lumivel/com_object.h"
#include "provider/backup/archive_index.h"
#include "provider/backup/archive_trust.h"
#include "provider/backup/backup_folder.h"
#include "provider/backup/section_name.h"
#include "provider/common/command_report.h"
#include "provider/common/dialog_helpers.h"
#include "provider/common/resource_ids.h"
#include "shared/text_list.h"
#include "win/commctrl.h"

namespace revivo {

namespace {

struct ChoiceState {
    std::vector<ArchiveSummary> archives;  // the rows, in order
    std::vector<std::u16string> distrusts;  // why each row is not believed; empty when it is
    std::u16string chosen;
    bool trustChosen = false;  // the administrator confirmed a row that fails the check
};

struct Column {
    const char16_t* title;
    int share;  // of the list's width, in percent
};
constexpr Column kColumns[] = {{u"Name", 30}, {u"Date", 18}, {u"Origin", 27}, {u"Trust", 25}};

HWND listOf(HWND dialog) { return GetDlgItem(dialog, IDC_BACKUP_LIST); }

int selectedRow(HWND dialog) {
    return static_cast<int>(SendMessageW(listOf(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void setCell(HWND list, int row, int column, const std::u16string& text) {
    LVITEMW cell{};
    cell.iSubItem = column;
    cell.pszText = const_cast<LPWSTR>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
}

void fill(HWND dialog, ChoiceState* state) {
    HWND list = listOf(dialog);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    RECT client{};
    GetClientRect(list, &client);
    int width = client.right - client.left;
    for (int i = 0; i < static_cast<int>(ARRAYSIZE(kColumns)); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = width * kColumns[i].share / 100;
        column.pszText = const_cast<LPWSTR>(kColumns[i].title);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    for (size_t i = 0; i < state->archives.size(); ++i) {
        const ArchiveSummary& archive = state->archives[i];
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<LPWSTR>(archive.fileName.c_str());
        item.lParam = static_cast<LPARAM>(i);
        int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        setCell(list, row, 1, archive.dateTime);
        setCell(list, row, 2, archive.origin);
        setCell(list, row, 3, state->distrusts[i].empty() ? u"Trusted" : state->distrusts[i]);
    }
    // The newest backup is the likeliest choice.
    LVITEMW selection{};
    selection.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    selection.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&selection));
}

void confirm(HWND dialog, ChoiceState* state) {
    int row = selectedRow(dialog);
    if (row < 0) return;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageW(listOf(dialog), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (item.lParam < 0 || static_cast<size_t>(item.lParam) >= state->archives.size()) return;
    const size_t index = static_cast<size_t>(item.lParam);
    if (!state->distrusts[index].empty()) {
        std::u16string question = u"The backup archive " + state->archives[index].fileName + u" is not to be believed: " +
                                  state->distrusts[index] +
                                  u".\n\nUse it all the same to recreate the object's former parent?";
        if (MessageBoxW(dialog, question.c_str(), u"Restore", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) return;
        state->trustChosen = true;
    }
    state->chosen = state->archives[index].path;
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK choiceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (EndsOnCancelOrClose(dialog, message, wParam)) return TRUE;
    auto* state = reinterpret_cast<ChoiceState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            fill(dialog, reinterpret_cast<ChoiceState*>(lParam));
            EnableWindow(GetDlgItem(dialog, IDOK), selectedRow(dialog) >= 0);
            SetFocus(listOf(dialog));
            return FALSE;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->idFrom != IDC_BACKUP_LIST) return FALSE;
            if (header->code == LVN_ITEMCHANGED || header->code == NM_CLICK)
                EnableWindow(GetDlgItem(dialog, IDOK), selectedRow(dialog) >= 0);
            if (header->code == NM_DBLCLK) confirm(dialog, state);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                confirm(dialog, state);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

// The dialog's question handed to a caller that asks it itself: the archives as the list shows them.
void askCaller(const std::vector<ArchiveSummary>& archives, const std::vector<std::u16string>& distrusts) {
    PropertySet* question = AskCaller(kRestoreFromFileKey);
    if (!question) return;
    std::vector<std::u16string> paths, dates, origins;
    for (const ArchiveSummary& archive : archives) {
        paths.push_back(archive.path);
        dates.push_back(archive.dateTime);
        origins.push_back(archive.origin);
    }
    lumivel::shared::SetTextList(question, kArchivesKey, paths);
    lumivel::shared::SetTextList(question, kArchiveDatesKey, dates);
    lumivel::shared::SetTextList(question, kArchiveOriginsKey, origins);
    lumivel::shared::SetTextList(question, kArchiveDistrustsKey, distrusts);
}

}  // namespace

bool ChooseBackupArchive(HWND parent, PropertySet* record) {
    std::u16string section = SectionNameOfTombstone(record->getText(u"distinguishedName"));
    if (section.empty()) return false;
    ChoiceState state;
    {
        // Archives seen before answer from their index; new ones are read once.
        BusyCursor busy;
        ArchiveIndex index;
        std::vector<ArchiveSummary> archives;
        ListBackupArchives(BackupFolderFor(record->getText(u"FocusedDC")).path, index, &archives);
        ArchiveTrust trust(std::u16string(record->getText(u"FocusedDC")));
        for (ArchiveSummary& archive : archives) {
            if (!archive.readable || !archive.Holds(section)) continue;
            state.distrusts.push_back(trust.Distrust(archive));
            state.archives.push_back(std::move(archive));
        }
    }
    if (state.archives.empty()) return false;
    if (!MayAskInDialogs()) {
        askCaller(state.archives, state.distrusts);
        return false;
    }
    INT_PTR result = DialogBoxParamW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDD_CHOOSE_BACKUP), parent,
                                     choiceDialogProc, reinterpret_cast<LPARAM>(&state));
    if (result != IDOK || state.chosen.empty()) return false;
    if (state.trustChosen && !record->setText(kTrustArchiveKey, state.chosen)) return false;
    return record->setText(kRestoreFromFileKey, state.chosen);
}

}  // namespace revivo
