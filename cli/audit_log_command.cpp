#include "cli/audit_log_command.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>

#include "cli/cli_arguments.h"
#include "cli/cli_output.h"
#include "cli/output_schemas.h"
#include "cli/terminal_text.h"
#include "shared/audit_log.h"

namespace lumivel_cli {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The "time" of a line the log writes: it always comes first.
std::optional<long long> lineTime(const std::string& line) {
    const std::string prefix = "{\"time\": \"";
    if (line.rfind(prefix, 0) != 0) return std::nullopt;
    size_t end = line.find('"', prefix.size());
    if (end == std::string::npos) return std::nullopt;
    return SecondsOfIsoUtc(line.substr(prefix.size(), end - prefix.size()));
}

}  // namespace

std::optional<long long> SinceSeconds(const std::string& text, long long now) {
    if (std::optional<long long> exact = SecondsOfIsoUtc(text)) return exact;
    if (text.size() == 10)
        if (std::optional<long long> day = SecondsOfIsoUtc(text + "T00:00:00Z")) return day;
    if (std::optional<long long> ago = DurationSeconds(text)) return now - *ago;
    return std::nullopt;
}

std::vector<std::string> AuditLinesSince(std::istream& log, std::optional<long long> since) {
    std::vector<std::string> out;
    std::string line;
    while (std::getline(log, line)) {
        if (line.empty()) continue;
        std::optional<long long> when = lineTime(line);
        if (since && when && *when < *since) continue;
        out.push_back(std::move(line));
    }
    return out;
}

std::string FormatAuditLines(const std::vector<std::string>& lines, OutputFormat format) {
    std::vector<Record> records;
    records.reserve(lines.size());
    for (const std::string& line : lines) {
        Record record;
        Json parsed = Json::parse(line, nullptr, false);
        if (parsed.is_object()) {
            record.values = std::move(parsed);
            // Only a time of the writer's form is a time; anything else is said as it stands.
            if (auto time = record.values.find("time"); time != record.values.end() && time->is_string() &&
                                                         UtcTime(time->get<std::string>()).is_null()) {
                record.shown["time"] = time->get<std::string>();
                *time = nullptr;
            }
        } else {
            record.set("result", "unreadable").set("error", line);
        }
        records.push_back(std::move(record));
    }
    return FormatRecords(kLogSchema, records, format);
}

int RunLog(const Arguments& arguments) {
    std::optional<long long> since;
    if (arguments.since) {
        since = SinceSeconds(*arguments.since, static_cast<long long>(std::time(nullptr)));
        if (!since) {
            std::cerr << MistakeText(ParseResult{std::nullopt, "--since takes YYYY-MM-DD, YYYY-MM-DDThh:mm:ssZ, Nd or Nh",
                                                 Command::Log});
            return kExitUsage;
        }
    }
    std::string path = lumivel::shared::AuditLogPath();
    std::ifstream log(path);
    if (!log) {
        std::cerr << "lumivel: the audit log " << TerminalText(path) << " cannot be read (nothing was logged yet, or it "
                  << "is not yours to read)\n";
        return kExitFailure;
    }
    std::cout << FormatAuditLines(AuditLinesSince(log, since), arguments.format);
    std::cout.flush();
    return std::cout.good() ? kExitSuccess : kExitFailure;
}

}  // namespace lumivel_cli
