#include "cli/cli_schedule.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>

#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"
#include "win/datetime.h"
#include "win/oleauto.h"

namespace lumivel_cli {

namespace {

constexpr std::streamsize kLongestPasswordFile = 64 * 1024;

// A day and time of the local clock as a VARIANT date.
bool setDate(PropertySet* record, LPCWSTR key, SYSTEMTIME time) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_DATE;
    return SystemTimeToVariantTime(&time, &value.date) && record->setValue(key, &value);
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

lumivel::shared::ScheduleEntries ScheduleEntriesFor(const ScheduleRequest& r, const std::u16string& account,
                                                    const std::u16string& password) {
    using Kind = ScheduleRequest::Kind;
    lumivel::shared::ScheduleEntries entries;
    // Numbers as the form's fields read what is typed into them.
    const LONG count = lumivel::shared::ScheduleNumber(lumivel::shared::WidenText(r.count));
    switch (r.kind) {
        case Kind::Daily:
            entries.schedule = lumivel::shared::kScheduleDaily;
            entries.count = count;
            break;
        case Kind::Weekly:
            entries.schedule = lumivel::shared::kScheduleWeekly;
            entries.count = count;
            entries.mask = static_cast<LONG>(r.days);
            break;
        case Kind::MonthlyDay:
        case Kind::MonthlyWeek:
            entries.schedule = lumivel::shared::kScheduleMonthly;
            entries.byWeekday = r.kind == Kind::MonthlyWeek;
            entries.count = entries.byWeekday ? r.week : count;
            entries.mask = static_cast<LONG>(r.months);
            break;
        case Kind::Once: entries.schedule = lumivel::shared::kScheduleOnce; break;
    }
    entries.account = account;
    entries.password = password;
    entries.confirmation = password;
    return entries;
}

bool PutScheduleAnswers(const ScheduleRequest& r, const std::u16string& password, PropertySet* record) {
    const std::u16string account = lumivel::shared::WidenText(r.account);
    const lumivel::shared::ScheduleEntries entries = ScheduleEntriesFor(r, account, password);
    bool put = record->setInt(kScheduleKey, entries.schedule);
    if (entries.schedule != lumivel::shared::kScheduleOnce) put = put && record->setInt(kTimeSliceKey, entries.count);
    if (entries.mask) put = put && record->setInt(kDaysOrMonthsKey, entries.mask);
    if (entries.byWeekday) put = put && record->setInt(kCycleOfWeekKey, r.weekday);
    if (r.kind == ScheduleRequest::Kind::Once) {
        SYSTEMTIME day{};
        day.wYear = static_cast<WORD>(r.year);
        day.wMonth = static_cast<WORD>(r.month);
        day.wDay = static_cast<WORD>(r.day);
        put = put && setDate(record, kDaysOrMonthsKey, day);
    }
    // Today is the schedule's first day, as on the form's time picker.
    SYSTEMTIME start{};
    GetLocalTime(&start);
    start.wHour = static_cast<WORD>(r.hour), start.wMinute = static_cast<WORD>(r.minute);
    start.wSecond = 0, start.wMilliseconds = 0;
    put = put && setDate(record, kStartTimeKey, start);
    return put && record->setText(kAccountKey, account) && record->setText(kPasswordKey, password);
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
