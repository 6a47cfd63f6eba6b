#include "cli/cli_answers.h"

#include <atomic>
#include <iostream>

#include "lumivel/ui_backend.h"
#include "lumivel/ui_test_hook.h"
#include "provider/resource_ids.h"
#include "shared/text_helpers.h"
#include "win/commctrl.h"

namespace lumivel_cli {

namespace {

using lumivel::ui::Surface;
using lumivel::ui::SurfaceKind;

std::atomic<int> g_messages{0};
// The new name is given once: a restore that finds it taken as well asks again, and typing
// the same name again would never end.
std::atomic<bool> g_newNameGiven{false};

// A question nobody can answer takes the way out: Cancel, No, else the default button.
int unattendedButton(UINT style) {
    std::vector<int> buttons = lumivel::ui::MessageBoxButtons(style);
    for (int way : {IDCANCEL, IDNO})
        for (int button : buttons)
            if (button == way) return way;
    return lumivel::ui::MessageBoxDefaultButton(style);
}

void typeAndConfirm(HWND dialog, int edit, const std::u16string& text) {
    SetDlgItemTextW(dialog, edit, text.c_str());
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

void press(HWND dialog, int button) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

std::u16string rowText(HWND list, int row) {
    WCHAR text[MAX_PATH] = {};
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

// Picks the archive in the list of dialog 204 and confirms it; false when it is not listed.
bool chooseArchive(HWND dialog, const std::u16string& wanted) {
    HWND list = GetDlgItem(dialog, IDC_BACKUP_LIST);
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    size_t cut = wanted.find_last_of(u"/\\");
    std::u16string name = cut == std::u16string::npos ? wanted : wanted.substr(cut + 1);
    int chosen = -1;
    if (lumivel::EqualsNoCase(wanted, u"latest")) {
        chosen = rows > 0 ? 0 : -1;  // the list is newest first
    } else {
        for (int row = 0; row < rows && chosen < 0; ++row)
            if (lumivel::EqualsNoCase(rowText(list, row), name)) chosen = row;
    }
    if (chosen < 0) return false;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, chosen, reinterpret_cast<LPARAM>(&state));
    press(dialog, IDOK);
    return true;
}

void cancel(HWND dialog) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
}

INT_PTR answer(const Answers& answers, const Surface& surface) {
    switch (surface.kind) {
        case SurfaceKind::MessageBox:
            ++g_messages;
            std::cerr << lumivel::shared::NarrowText(surface.caption) << ": " << lumivel::shared::NarrowText(surface.text) << "\n";
            return unattendedButton(surface.style);
        case SurfaceKind::Dialog:
            // A dialog still open after its answer refused it: give up rather than loop.
            if (surface.round == 0 && surface.resourceId == IDD_CONNECT_TO && answers.connectDomain) {
                typeAndConfirm(surface.window, IDC_CONNECT_DOMAIN, *answers.connectDomain);
            } else if (surface.round == 0 && surface.resourceId == IDD_NEW_NAME && answers.newName &&
                       !g_newNameGiven.exchange(true)) {
                typeAndConfirm(surface.window, IDC_NEW_NAME, *answers.newName);
            } else if (surface.round == 0 && surface.resourceId == IDD_PERFORM_BACKUP && answers.confirmBackup) {
                press(surface.window, IDOK);
            } else if (surface.round == 0 && surface.resourceId == IDD_CHOOSE_BACKUP && answers.fromBackup) {
                if (!chooseArchive(surface.window, *answers.fromBackup)) {
                    std::cerr << "Restore: no archive " << lumivel::shared::NarrowText(*answers.fromBackup)
                              << " in the backup folder holds the object\n";
                    cancel(surface.window);
                }
            } else {
                if (surface.resourceId == IDD_NEW_NAME && answers.newName)
                    std::cerr << "Name: " << lumivel::shared::NarrowText(*answers.newName) << " is taken too\n";
                cancel(surface.window);
            }
            return 0;
        case SurfaceKind::PopupMenu:
        case SurfaceKind::PropertySheet:
            return 0;
    }
    return 0;
}

}  // namespace

bool InstallAnswers(const Answers& answers, std::string* error) {
    lumivel::ui::SetBackend(lumivel::ui::MakeTerminalBackend());
    // On a terminal with nothing given in advance the administrator answers there; otherwise
    // the answers come from the command line and every message box is printed.
    bool needed = !answers.interactive || answers.connectDomain || answers.newName || answers.confirmBackup ||
                  answers.fromBackup;
    if (needed) lumivel::ui::SetTestHook([answers](const Surface& surface) { return answer(answers, surface); });
    (void)error;
    return true;
}

int MessagesShown() { return g_messages.load(); }

}  // namespace lumivel_cli
