#include "cli/cli_answers.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <mutex>

#include "cli/cli_schedule.h"
#include "cli/terminal_text.h"
#include "lumivel/ui_backend.h"
#include "lumivel/ui_test_hook.h"
#include "shared/provider_dialog_ids.h"
#include "shared/text_helpers.h"
#include "win/commctrl.h"

namespace lumivel_cli {

namespace {

using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;
using lumivel::ui::Surface;
using lumivel::ui::SurfaceKind;

std::mutex g_lock;
Answers g_answers;
Transcript g_transcript;
// The new name answers once per operation: a restore that finds it taken as well asks again,
// and typing the same name again would never end.
bool g_newNameGiven = false;

std::string shown(std::u16string_view text) { return TerminalText(NarrowText(text), Escaping::ReadableLines); }

// A line typed at the terminal; nothing once input has ended.
std::optional<std::string> ask(const std::string& prompt) {
    std::cerr << prompt << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) {
        std::cerr << "\n";
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void press(HWND dialog, int button) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

void typeAndConfirm(HWND dialog, int edit, const std::u16string& text) {
    SetDlgItemTextW(dialog, edit, text.c_str());
    press(dialog, IDOK);
}

std::u16string itemText(HWND dialog, int control) {
    WCHAR text[1024] = {};
    GetDlgItemTextW(dialog, control, text, ARRAYSIZE(text));
    return text;
}

std::u16string cellText(HWND list, int row, int column) {
    WCHAR text[MAX_PATH] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

void select(HWND list, int row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
}

// The row of dialog 204's list that the answer names: "latest" is the first (the list is
// newest first), else the row whose file name is the answer's last path part.
int archiveRow(HWND list, const std::u16string& wanted) {
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (lumivel::EqualsNoCase(wanted, u"latest")) return rows > 0 ? 0 : -1;
    for (int row = 0; row < rows; ++row)
        if (NamesArchive(wanted, cellText(list, row, 0))) return row;
    return -1;
}

// Asks the person to pick one of dialog 204's archives; -1 for none.
int askForArchive(HWND list) {
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (rows == 0) return -1;
    std::cerr << "Archives in the backup folder that hold the object, newest first:\n";
    for (int row = 0; row < rows; ++row)
        std::cerr << "  " << row + 1 << ") " << shown(cellText(list, row, 0)) << "  " << shown(cellText(list, row, 1))
                  << "  " << shown(cellText(list, row, 2)) << "\n";
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::optional<std::string> answer = ask("Recreate the deleted parent from archive (1-" + std::to_string(rows) +
                                                ", empty for none): ");
        if (!answer || answer->empty()) return -1;
        char* end = nullptr;
        long number = std::strtol(answer->c_str(), &end, 10);
        if (end && *end == 0 && number >= 1 && number <= rows) return static_cast<int>(number - 1);
    }
    return -1;
}

// A question nobody can answer takes the way out: Cancel, No, else the default button.
int unattendedButton(UINT style) {
    std::vector<int> buttons = lumivel::ui::MessageBoxButtons(style);
    for (int way : {IDCANCEL, IDNO})
        for (int button : buttons)
            if (button == way) return way;
    return lumivel::ui::MessageBoxDefaultButton(style);
}

int askForButton(UINT style) {
    std::vector<int> buttons = lumivel::ui::MessageBoxButtons(style);
    int fallback = lumivel::ui::MessageBoxDefaultButton(style);
    std::string prompt;
    for (size_t i = 0; i < buttons.size(); ++i)
        prompt += std::to_string(i + 1) + ") " + shown(lumivel::ui::MessageBoxButtonCaption(buttons[i])) + "  ";
    std::optional<std::string> answer =
        ask(prompt + "[" + shown(lumivel::ui::MessageBoxButtonCaption(fallback)) + "]: ");
    if (!answer) return unattendedButton(style);
    char* end = nullptr;
    long number = std::strtol(answer->c_str(), &end, 10);
    if (!answer->empty() && end && *end == 0 && number >= 1 && number <= static_cast<long>(buttons.size()))
        return buttons[static_cast<size_t>(number - 1)];
    return fallback;
}

INT_PTR messageBox(const Answers& answers, const Surface& surface) {
    std::string line = shown(surface.caption) + ": " + shown(surface.text);
    {
        std::lock_guard lock(g_lock);
        g_transcript.messages.push_back(line);
    }
    bool choice = lumivel::ui::MessageBoxButtons(surface.style).size() > 1;
    if (answers.headless) return lumivel::ui::CurrentBackend().messageBox(surface.owner, surface.text, surface.caption,
                                                                          surface.style);
    std::cerr << line << "\n" << std::flush;
    if (choice && answers.interaction == Interaction::Terminal) return askForButton(surface.style);
    return choice ? unattendedButton(surface.style) : lumivel::ui::MessageBoxDefaultButton(surface.style);
}

void answerNewName(const Answers& answers, const Surface& surface) {
    std::u16string taken = itemText(surface.window, IDC_NEW_NAME);
    std::optional<std::u16string> typed;
    bool given = false;
    {
        std::lock_guard lock(g_lock);
        if (!g_transcript.takenName) g_transcript.takenName = taken;
        if (answers.newName && !g_newNameGiven) {
            typed = answers.newName;
            g_newNameGiven = given = true;
        }
    }
    if (!typed && answers.interaction == Interaction::Terminal && !answers.newName) {
        std::optional<std::string> line =
            ask("Name: " + shown(taken) + " is taken there. Restore it under another name (empty to leave it): ");
        if (line && !line->empty()) typed = WidenText(*line);
    }
    if (typed) {
        {
            std::lock_guard lock(g_lock);
            g_transcript.typedName = typed;
        }
        typeAndConfirm(surface.window, IDC_NEW_NAME, *typed);
        return;
    }
    if (answers.newName && !given)
        std::cerr << "Name: " << shown(*answers.newName) << " is taken too\n";
    else if (answers.interaction == Interaction::Unattended)
        std::cerr << "Name: " << shown(taken) << " is taken; give another with --new-name NAME\n";
    {
        std::lock_guard lock(g_lock);
        g_transcript.nameUnanswered = true;
    }
    press(surface.window, IDCANCEL);
}

void answerArchiveChoice(const Answers& answers, const Surface& surface) {
    HWND list = GetDlgItem(surface.window, IDC_BACKUP_LIST);
    int row = -1;
    if (answers.fromBackup) {
        row = archiveRow(list, *answers.fromBackup);
        if (row < 0)
            std::cerr << "Restore: no archive " << shown(*answers.fromBackup) << " in the backup folder holds the object\n";
    } else if (answers.interaction == Interaction::Terminal) {
        row = askForArchive(list);
    } else {
        std::cerr << "Restore: the deleted parent is no longer listed; name a backup archive to recreate it from with "
                     "--from-backup ARCHIVE|latest\n";
    }
    std::lock_guard lock(g_lock);
    if (row < 0) {
        g_transcript.archiveUnanswered = true;
        press(surface.window, IDCANCEL);
        return;
    }
    g_transcript.archiveChosen = cellText(list, row, 0);
    select(list, row);
    press(surface.window, IDOK);
}

INT_PTR answer(const Surface& surface) {
    Answers answers;
    {
        std::lock_guard lock(g_lock);
        answers = g_answers;
    }
    switch (surface.kind) {
        case SurfaceKind::MessageBox: return messageBox(answers, surface);
        case SurfaceKind::Dialog:
            // A dialog still open after its answer refused it: give up rather than loop.
            if (surface.round > 0) {
                if (surface.resourceId == IDD_NEW_NAME && answers.newName)
                    std::cerr << "Name: " << shown(*answers.newName) << " is taken too\n";
                press(surface.window, IDCANCEL);
            } else if (surface.resourceId == IDD_CONNECT_TO && answers.connectDomain) {
                typeAndConfirm(surface.window, IDC_CONNECT_DOMAIN, *answers.connectDomain);
            } else if (surface.resourceId == IDD_NEW_NAME) {
                answerNewName(answers, surface);
            } else if (surface.resourceId == IDD_PERFORM_BACKUP && answers.confirmBackup) {
                press(surface.window, IDOK);
            } else if (surface.resourceId == IDD_PERFORM_BACKUP && answers.schedule) {
                press(surface.window, IDC_SCHEDULE);
            } else if (surface.resourceId == IDD_CHOOSE_BACKUP) {
                answerArchiveChoice(answers, surface);
            } else {
                std::cerr << "lumivel: \"" << shown(surface.caption)
                          << "\" was cancelled: the command line has no answer for it\n";
                press(surface.window, IDCANCEL);
            }
            return 0;
        case SurfaceKind::PropertySheet:
            // A form that refused its answers stays open: it is cancelled, not asked again.
            if (surface.round == 0 && answers.schedule && answers.password)
                FillScheduleForm(surface.window, *answers.schedule, *answers.password);
            else
                SendMessageW(surface.window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            return 0;
        case SurfaceKind::PopupMenu: return 0;
    }
    return 0;
}

}  // namespace

void InstallAnswers(const Answers& answers) {
    {
        std::lock_guard lock(g_lock);
        g_answers = answers;
    }
    // The hook answers every surface; the backend only shows nothing (and logs message boxes
    // under LUMIVEL_UI=headless).
    lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend());
    lumivel::ui::SetTestHook(answer);
}

Transcript TakeTranscript() {
    std::lock_guard lock(g_lock);
    Transcript taken = std::move(g_transcript);
    g_transcript = Transcript{};
    g_newNameGiven = false;
    return taken;
}

Interaction InteractionFor(bool yes) {
    const char* ui = std::getenv("LUMIVEL_UI");
    bool headless = ui && std::string(ui) == "headless";
    if (yes || headless || isatty(STDIN_FILENO) != 1 || isatty(STDERR_FILENO) != 1) return Interaction::Unattended;
    return Interaction::Terminal;
}

bool NamesArchive(const std::u16string& wanted, std::u16string_view fileName) {
    size_t cut = wanted.find_last_of(u"/\\");
    std::u16string_view name = cut == std::u16string::npos ? std::u16string_view(wanted) : std::u16string_view(wanted).substr(cut + 1);
    return !fileName.empty() && lumivel::EqualsNoCase(name, fileName);
}

}  // namespace lumivel_cli
