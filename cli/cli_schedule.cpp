#include "cli/cli_schedule.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>

#include "shared/provider_dialog_ids.h"
#include "shared/text_helpers.h"
#include "win/commctrl.h"

namespace lumivel_cli {

namespace {

constexpr std::streamsize kLongestPasswordFile = 64 * 1024;

// The panel among the page's children that holds the control.
HWND panelWith(HWND page, int control) {
    for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgItem(child, control)) return child;
    return nullptr;
}

void choose(HWND dialog, int list, int index) {
    SendDlgItemMessageW(dialog, list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dialog, list)));
}

void tick(HWND panel, int first, unsigned mask, int count) {
    for (int i = 0; i < count; ++i) CheckDlgButton(panel, first + i, (mask & (1u << i)) ? BST_CHECKED : BST_UNCHECKED);
}

std::string lineOf(std::string text) {
    text = text.substr(0, text.find('\n'));
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

// One line from the terminal with echo off.
bool askHidden(const char* prompt, std::string* answer) {
    std::cerr << prompt << std::flush;
    termios old{};
    bool quiet = tcgetattr(STDIN_FILENO, &old) == 0;
    if (quiet) {
        termios silent = old;
        silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    bool read = static_cast<bool>(std::getline(std::cin, *answer));
    if (quiet) tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::cerr << "\n";
    return read;
}

}  // namespace

void FillScheduleForm(HWND sheet, const ScheduleRequest& r, const std::u16string& password) {
    using Kind = ScheduleRequest::Kind;
    HWND page = PropSheet_GetCurrentPageHwnd(sheet);
    const std::u16string count = lumivel::shared::WidenText(r.count);
    switch (r.kind) {
        case Kind::Daily: {
            choose(page, IDC_SCHEDULE_LIST, SCHEDULE_ITEM_DAILY);
            SetDlgItemTextW(panelWith(page, IDC_DAILY_EVERY), IDC_DAILY_EVERY, count.c_str());
            break;
        }
        case Kind::Weekly: {
            choose(page, IDC_SCHEDULE_LIST, SCHEDULE_ITEM_WEEKLY);
            HWND panel = panelWith(page, IDC_WEEKLY_EVERY);
            SetDlgItemTextW(panel, IDC_WEEKLY_EVERY, count.c_str());
            tick(panel, IDC_WEEKLY_MONDAY, r.days, 7);
            break;
        }
        case Kind::MonthlyDay:
        case Kind::MonthlyWeek: {
            choose(page, IDC_SCHEDULE_LIST, SCHEDULE_ITEM_MONTHLY);
            HWND panel = panelWith(page, IDC_MONTHLY_DAY);
            if (r.kind == Kind::MonthlyDay) {
                SendDlgItemMessageW(panel, IDC_MONTHLY_DAY, BM_CLICK, 0, 0);
                SetDlgItemTextW(panel, IDC_MONTHLY_DAY_NUMBER, count.c_str());
            } else {
                SendDlgItemMessageW(panel, IDC_MONTHLY_THE, BM_CLICK, 0, 0);
                choose(panel, IDC_MONTHLY_WEEK, r.week);
                choose(panel, IDC_MONTHLY_WEEKDAY, r.weekday);
            }
            tick(panel, IDC_MONTHLY_JANUARY, r.months, 12);
            break;
        }
        case Kind::Once: {
            choose(page, IDC_SCHEDULE_LIST, SCHEDULE_ITEM_ONCE);
            SYSTEMTIME day{};
            day.wYear = static_cast<WORD>(r.year), day.wMonth = static_cast<WORD>(r.month), day.wDay = static_cast<WORD>(r.day);
            SendDlgItemMessageW(panelWith(page, IDC_ONCE_DATE), IDC_ONCE_DATE, DTM_SETSYSTEMTIME, GDT_VALID,
                                reinterpret_cast<LPARAM>(&day));
            break;
        }
    }
    // The time picker keeps today as the schedule's first day; only the time is set.
    SYSTEMTIME start{};
    SendDlgItemMessageW(page, IDC_START_TIME, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&start));
    start.wHour = static_cast<WORD>(r.hour), start.wMinute = static_cast<WORD>(r.minute), start.wSecond = 0;
    SendDlgItemMessageW(page, IDC_START_TIME, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&start));
    SetDlgItemTextW(page, IDC_ACCOUNT, lumivel::shared::WidenText(r.account).c_str());
    SetDlgItemTextW(page, IDC_PASSWORD, password.c_str());
    SetDlgItemTextW(page, IDC_CONFIRM_PASSWORD, password.c_str());
    SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
}

bool ReadPassword(const ScheduleRequest& request, std::u16string* password, std::string* problem) {
    std::string text;
    if (request.passwordFile) {
        std::ifstream file(*request.passwordFile, std::ios::binary);
        if (!file) {
            *problem = "cannot read the password file " + *request.passwordFile;
            return false;
        }
        text.resize(static_cast<size_t>(kLongestPasswordFile));
        file.read(text.data(), kLongestPasswordFile);
        text.resize(static_cast<size_t>(file.gcount()));
        std::string line = lineOf(text);
        std::fill(text.begin(), text.end(), '\0');
        *password = lumivel::shared::WidenText(line);
        std::fill(line.begin(), line.end(), '\0');
        return true;
    }
    if (isatty(STDIN_FILENO) != 1) {
        *problem = "no password: give --password-file FILE, or run on a terminal to be asked";
        return false;
    }
    std::string again;
    bool asked = askHidden(("Password for " + request.account + ": ").c_str(), &text) &&
                 askHidden("Confirm password: ", &again);
    // A mistyped confirmation goes to the form, which refuses it in its own words.
    *password = lumivel::shared::WidenText(text);
    bool same = text == again;
    std::fill(text.begin(), text.end(), '\0');
    std::fill(again.begin(), again.end(), '\0');
    if (!asked) *problem = "no password was given";
    if (asked && !same) *problem = "The passwords do not match.";
    return asked && same;
}

void Forget(std::u16string& password) { std::fill(password.begin(), password.end(), u'\0'); }

}  // namespace lumivel_cli
