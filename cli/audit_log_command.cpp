#include "cli/audit_log_command.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>

#include "cli/cli_arguments.h"
#include "cli/cli_output.h"
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

std::string AuditLinesSince(std::istream& log, std::optional<long long> since) {
    std::string out, line;
    while (std::getline(log, line)) {
        if (line.empty()) continue;
        std::optional<long long> when = lineTime(line);
        if (since && when && *when < *since) continue;
        // The writer escapes every control character; a line that holds one was not written by it.
        out += TerminalText(line) + "\n";
    }
    return out;
}

int RunLog(const Arguments& arguments) {
    std::optional<long long> since;
    if (arguments.since) {
        since = SinceSeconds(*arguments.since, static_cast<long long>(std::time(nullptr)));
        if (!since) {
            std::cerr << "lumivel: --since takes YYYY-MM-DD, YYYY-MM-DDThh:mm:ssZ, Nd or Nh\n";
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
    std::cout << AuditLinesSince(log, since);
    std::cout.flush();
    return std::cout.good() ? kExitSuccess : kExitFailure;
}

}  // namespace lumivel_cli
