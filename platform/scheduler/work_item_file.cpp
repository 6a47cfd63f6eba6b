#include "work_item_file.h"

#include <charconv>
#include <cstdio>
#include <map>

#include "lumivel/terminal_text.h"
#include "lumivel/text.h"
#include "run_times.h"

namespace lumivel::scheduler {
namespace {

constexpr std::string_view kHeader = "LumivelWorkItem=1";
constexpr std::string_view kHeaderKey = "LumivelWorkItem";
constexpr size_t kMostTriggers = 1024;

struct TriggerTypeName {
    TASK_TRIGGER_TYPE type;
    std::string_view name;
};
constexpr TriggerTypeName kTriggerTypeNames[] = {
    {TASK_TIME_TRIGGER_ONCE, "once"},
    {TASK_TIME_TRIGGER_DAILY, "daily"},
    {TASK_TIME_TRIGGER_WEEKLY, "weekly"},
    {TASK_TIME_TRIGGER_MONTHLYDATE, "monthly-date"},
    {TASK_TIME_TRIGGER_MONTHLYDOW, "monthly-dow"},
};

template <typename T>
std::optional<T> Number(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) base = 16, text.remove_prefix(2);
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::string Hex(uint64_t value) {
    char text[64];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string DateText(WORD year, WORD month, WORD day) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", year, month, day);
    return text;
}

bool ParseDate(std::string_view text, WORD* year, WORD* month, WORD* day) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    auto y = Number<WORD>(text.substr(0, 4)), m = Number<WORD>(text.substr(5, 2)), d = Number<WORD>(text.substr(8, 2));
    if (!y || !m || !d) return false;
    *year = *y, *month = *m, *day = *d;
    return true;
}

std::string SystemTimeText(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

std::optional<SYSTEMTIME> ParseSystemTime(std::string_view text) {
    SYSTEMTIME t{};
    if (text.size() != 19 || text[10] != ' ' || text[13] != ':' || text[16] != ':') return std::nullopt;
    if (!ParseDate(text.substr(0, 10), &t.wYear, &t.wMonth, &t.wDay)) return std::nullopt;
    auto h = Number<WORD>(text.substr(11, 2)), m = Number<WORD>(text.substr(14, 2)), s = Number<WORD>(text.substr(17, 2));
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
    t.wHour = *h, t.wMinute = *m, t.wSecond = *s;
    return t;
}

std::string TriggerText(const TASK_TRIGGER& t) {
    std::string out = "type=";
    for (const auto& entry : kTriggerTypeNames)
        if (entry.type == t.TriggerType) out += entry.name;
    out += " begin=" + DateText(t.wBeginYear, t.wBeginMonth, t.wBeginDay);
    if (t.rgFlags & TASK_TRIGGER_FLAG_HAS_END_DATE) out += " end=" + DateText(t.wEndYear, t.wEndMonth, t.wEndDay);
    char start[64];
    std::snprintf(start, sizeof start, "%02u:%02u", t.wStartHour, t.wStartMinute);
    out += std::string(" start=") + start + " flags=" + Hex(t.rgFlags);
    switch (t.TriggerType) {
        case TASK_TIME_TRIGGER_DAILY: out += " every=" + std::to_string(t.Type.Daily.DaysInterval); break;
        case TASK_TIME_TRIGGER_WEEKLY:
            out += " weeks=" + std::to_string(t.Type.Weekly.WeeksInterval) + " days=" + Hex(t.Type.Weekly.rgfDaysOfTheWeek);
            break;
        case TASK_TIME_TRIGGER_MONTHLYDATE:
            out += " dates=" + Hex(t.Type.MonthlyDate.rgfDays) + " months=" + Hex(t.Type.MonthlyDate.rgfMonths);
            break;
        case TASK_TIME_TRIGGER_MONTHLYDOW:
            out += " week=" + std::to_string(t.Type.MonthlyDOW.wWhichWeek) +
                   " days=" + Hex(t.Type.MonthlyDOW.rgfDaysOfTheWeek) + " months=" + Hex(t.Type.MonthlyDOW.rgfMonths);
            break;
        default: break;
    }
    return out;
}

std::optional<TASK_TRIGGER> ParseTrigger(std::string_view text) {
    std::map<std::string, std::string, std::less<>> fields;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view field = text.substr(at, end - at);
        at = end + 1;
        if (field.empty()) continue;
        size_t equals = field.find('=');
        if (equals == std::string_view::npos) return std::nullopt;
        if (!fields.emplace(std::string(field.substr(0, equals)), std::string(field.substr(equals + 1))).second)
            return std::nullopt;
    }
    auto field = [&](std::string_view name) -> std::optional<std::string_view> {
        auto it = fields.find(name);
        if (it == fields.end()) return std::nullopt;
        return std::string_view(it->second);
    };
    TASK_TRIGGER t{};
    t.cbTriggerSize = sizeof(TASK_TRIGGER);
    auto type = field("type");
    bool known = false;
    for (const auto& entry : kTriggerTypeNames)
        if (type && *type == entry.name) t.TriggerType = entry.type, known = true;
    if (!known) return std::nullopt;
    auto begin = field("begin"), start = field("start"), flags = field("flags");
    if (!begin || !start || !flags || !ParseDate(*begin, &t.wBeginYear, &t.wBeginMonth, &t.wBeginDay)) return std::nullopt;
    if (start->size() != 5 || (*start)[2] != ':') return std::nullopt;
    auto hour = Number<WORD>(start->substr(0, 2)), minute = Number<WORD>(start->substr(3, 2));
    auto flagValue = Number<DWORD>(*flags);
    if (!hour || !minute || !flagValue) return std::nullopt;
    t.wStartHour = *hour, t.wStartMinute = *minute, t.rgFlags = *flagValue;
    if (auto end = field("end"); end && !ParseDate(*end, &t.wEndYear, &t.wEndMonth, &t.wEndDay)) return std::nullopt;
    auto word = [&](std::string_view name) { return field(name) ? Number<WORD>(*field(name)) : std::nullopt; };
    switch (t.TriggerType) {
        case TASK_TIME_TRIGGER_DAILY: {
            auto every = word("every");
            if (!every) return std::nullopt;
            t.Type.Daily.DaysInterval = *every;
            break;
        }
        case TASK_TIME_TRIGGER_WEEKLY: {
            auto weeks = word("weeks"), days = word("days");
            if (!weeks || !days) return std::nullopt;
            t.Type.Weekly = {*weeks, *days};
            break;
        }
        case TASK_TIME_TRIGGER_MONTHLYDATE: {
            auto dates = field("dates") ? Number<DWORD>(*field("dates")) : std::nullopt;
            auto months = word("months");
            if (!dates || !months) return std::nullopt;
            t.Type.MonthlyDate.rgfDays = *dates;
            t.Type.MonthlyDate.rgfMonths = *months;
            break;
        }
        case TASK_TIME_TRIGGER_MONTHLYDOW: {
            auto week = word("week"), days = word("days"), months = word("months");
            if (!week || !days || !months) return std::nullopt;
            t.Type.MonthlyDOW = {*week, *days, *months};
            break;
        }
        default: break;
    }
    if (FAILED(CheckTrigger(t))) return std::nullopt;
    return t;
}

std::string BytesHex(const std::vector<BYTE>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (BYTE b : bytes) out += kDigits[b >> 4], out += kDigits[b & 0xF];
    return out;
}

std::optional<std::vector<BYTE>> ParseBytesHex(std::string_view text) {
    if (text.size() % 2) return std::nullopt;
    std::vector<BYTE> bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        auto b = Number<unsigned>(std::string("0x") + std::string(text.substr(i, 2)));
        if (!b) return std::nullopt;
        bytes.push_back(static_cast<BYTE>(*b));
    }
    return bytes;
}

}  // namespace

std::string EncodeWorkItem(const WorkItemRecord& r) {
    std::string out(kHeader);
    out += '\n';
    auto line = [&](std::string_view key, std::string_view value) {
        out += key;
        out += '=';
        // Stored as reversible terminal text: one line a value, and nothing in it steers a
        // terminal that shows the file.
        out += TerminalText(value, TerminalEscaping::Reversible);
        out += '\n';
    };
    auto text = [&](std::string_view key, const std::u16string& value) { line(key, ToUtf8(value)); };
    text("ApplicationName", r.applicationName);
    text("Parameters", r.parameters);
    text("WorkingDirectory", r.workingDirectory);
    text("Comment", r.comment);
    text("Creator", r.creator);
    if (r.accountSet) {
        text("Account", r.account);
        line("Principal", r.principal);
        if (!r.keytab.empty()) line("Keytab", BytesHex(r.keytab));
    }
    line("Flags", Hex(r.flags));
    line("TaskFlags", Hex(r.taskFlags));
    line("Priority", Hex(r.priority));
    line("MaxRunTime", std::to_string(r.maxRunTime));
    line("IdleWait", std::to_string(r.idleMinutes) + " " + std::to_string(r.idleDeadline));
    line("ErrorRetry", std::to_string(r.retryCount) + " " + std::to_string(r.retryInterval));
    if (!r.data.empty()) line("WorkItemData", BytesHex(r.data));
    for (const TASK_TRIGGER& trigger : r.triggers) line("Trigger", TriggerText(trigger));
    line("UserHive", r.userHive);
    line("MachineHive", r.machineHive);
    if (r.mostRecentRun) line("MostRecentRun", SystemTimeText(*r.mostRecentRun));
    line("Running", r.running ? "1" : "0");
    line("HasRun", r.hasRun ? "1" : "0");
    line("ExitCode", std::to_string(r.exitCode));
    line("StartError", Hex(static_cast<DWORD>(r.startError)));
    line("Terminated", r.terminated ? "1" : "0");
    line("RunRequest", std::to_string(r.runRequest));
    line("RunHandled", std::to_string(r.runHandled));
    line("TerminateRequest", std::to_string(r.terminateRequest));
    line("TerminateHandled", std::to_string(r.terminateHandled));
    return out;
}

std::optional<WorkItemRecord> DecodeWorkItem(std::string_view text, HRESULT* error) {
    *error = SCHED_E_INVALID_TASK;
    size_t firstEnd = text.find('\n');
    std::string_view first = text.substr(0, firstEnd);
    if (first.substr(0, first.find('=')) != kHeaderKey) return std::nullopt;
    if (first != kHeader) {
        *error = SCHED_E_UNKNOWN_OBJECT_VERSION;
        return std::nullopt;
    }
    WorkItemRecord r;
    size_t at = firstEnd == std::string_view::npos ? text.size() : firstEnd + 1;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view row = text.substr(at, end - at);
        at = end + 1;
        if (row.empty()) continue;
        size_t equals = row.find('=');
        if (equals == std::string_view::npos) return std::nullopt;
        std::string_view key = row.substr(0, equals);
        auto value = UnescapeTerminalText(row.substr(equals + 1));
        if (!value) return std::nullopt;
        auto wide = [&] { return FromUtf8(*value); };
        auto dword = [&](DWORD* target) {
            auto n = Number<DWORD>(*value);
            if (n) *target = *n;
            return n.has_value();
        };
        auto flag = [&](bool* target) {
            if (*value != "0" && *value != "1") return false;
            *target = *value == "1";
            return true;
        };
        auto counter = [&](uint64_t* target) {
            auto n = Number<uint64_t>(*value);
            if (n) *target = *n;
            return n.has_value();
        };
        auto pair = [&](WORD* a, WORD* b) {
            size_t space = value->find(' ');
            if (space == std::string::npos) return false;
            auto x = Number<WORD>(std::string_view(*value).substr(0, space));
            auto y = Number<WORD>(std::string_view(*value).substr(space + 1));
            if (!x || !y) return false;
            *a = *x, *b = *y;
            return true;
        };
        bool ok = true;
        if (key == "ApplicationName") r.applicationName = wide();
        else if (key == "Parameters") r.parameters = wide();
        else if (key == "WorkingDirectory") r.workingDirectory = wide();
        else if (key == "Comment") r.comment = wide();
        else if (key == "Creator") r.creator = wide();
        else if (key == "Account") r.account = wide(), r.accountSet = true;
        else if (key == "Principal") r.principal = *value;
        else if (key == "Keytab") {
            auto bytes = ParseBytesHex(*value);
            ok = bytes.has_value();
            if (ok) r.keytab = std::move(*bytes);
        }
        else if (key == "Flags") ok = dword(&r.flags);
        else if (key == "TaskFlags") ok = dword(&r.taskFlags);
        else if (key == "Priority") ok = dword(&r.priority);
        else if (key == "MaxRunTime") ok = dword(&r.maxRunTime);
        else if (key == "IdleWait") ok = pair(&r.idleMinutes, &r.idleDeadline);
        else if (key == "ErrorRetry") ok = pair(&r.retryCount, &r.retryInterval);
        else if (key == "WorkItemData") {
            auto bytes = ParseBytesHex(*value);
            ok = bytes && bytes->size() <= 0xFFFF;
            if (ok) r.data = std::move(*bytes);
        } else if (key == "Trigger") {
            auto trigger = ParseTrigger(*value);
            ok = trigger && r.triggers.size() < kMostTriggers;
            if (ok) r.triggers.push_back(*trigger);
        } else if (key == "UserHive") r.userHive = *value;
        else if (key == "MachineHive") r.machineHive = *value;
        else if (key == "MostRecentRun") {
            r.mostRecentRun = ParseSystemTime(*value);
            ok = r.mostRecentRun.has_value();
        } else if (key == "Running") ok = flag(&r.running);
        else if (key == "HasRun") ok = flag(&r.hasRun);
        else if (key == "ExitCode") ok = dword(&r.exitCode);
        else if (key == "StartError") {
            DWORD code = 0;
            ok = dword(&code);
            r.startError = static_cast<HRESULT>(code);
        } else if (key == "Terminated") ok = flag(&r.terminated);
        else if (key == "RunRequest") {
            auto n = Number<uint64_t>(*value);
            ok = n.has_value();
            if (ok) r.runRequest = *n;
        } else if (key == "RunHandled") {
            ok = counter(&r.runHandled);
        } else if (key == "TerminateRequest") {
            ok = counter(&r.terminateRequest);
        } else if (key == "TerminateHandled") {
            ok = counter(&r.terminateHandled);
        }
        if (!ok) return std::nullopt;
    }
    // A principal or key without an account is no item this scheduler wrote.
    if (!r.accountSet && (!r.principal.empty() || !r.keytab.empty())) return std::nullopt;
    *error = S_OK;
    return r;
}

}  // namespace lumivel::scheduler
