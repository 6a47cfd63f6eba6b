#include "shared/audit_log.h"

#include <cstdio>
#include <vector>

#include "lumivel/audit_sinks.h"
#include "lumivel/system_messages.h"
#include "shared/json_text.h"
#include "shared/text_helpers.h"
#include "win/datetime.h"
#include "win/errors.h"

namespace lumivel::shared {

namespace {

std::string nowText() {
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                  utc.wMinute, utc.wSecond);
    return text;
}

std::string failureText(HRESULT result) {
    std::string text = NarrowText(lumivel::SystemMessageText(static_cast<DWORD>(result)));
    if (text.empty()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
        text = code;
    }
    return text;
}

// Held for the whole run: a subtree of thousands of objects writes one line each.
lumivel::AppendOnlyFile& auditFile() {
    static lumivel::AppendOnlyFile file;
    return file;
}

std::string writeAuditAs(const AuditEntry& entry, const std::string& principal);

}  // namespace

std::string AuditLogPath() { return lumivel::AuditLogFilePath(); }

std::string AuditLine(const AuditEntry& entry, std::string_view time, std::string_view principal) {
    std::string line = "{\"time\": " + JsonString(time) + ", \"principal\": " + JsonString(principal) +
                       ", \"command\": " + JsonString(entry.command) + ", \"object\": " + JsonString(entry.object) +
                       ", \"guid\": " + JsonString(entry.guid) + ", \"dc\": " + JsonString(entry.dc) +
                       ", \"result\": " + JsonString(entry.succeeded ? "success" : "failure") + ", \"error\": " +
                       JsonString(entry.error);
    auto text = [&](const char* key, const std::string& value) {
        if (!value.empty()) line += std::string(", \"") + key + "\": " + JsonString(value);
    };
    auto list = [&](const char* key, const std::vector<std::string>& values) {
        if (values.empty()) return;
        line += std::string(", \"") + key + "\": [";
        for (size_t i = 0; i < values.size(); ++i) line += (i ? ", " : "") + JsonString(values[i]);
        line += "]";
    };
    text("archive", entry.archive);
    text("archiveSha256", entry.archiveSha256);
    list("containersCreated", entry.containersCreated);
    list("attributesWritten", entry.attributesWritten);
    list("attributesRefused", entry.attributesRefused);
    list("groupsJoined", entry.groupsJoined);
    text("newDn", entry.newDn);
    return line + "}";
}

std::string WriteAudit(const AuditEntry& entry) { return writeAuditAs(entry, lumivel::CurrentPrincipalName()); }

std::vector<std::string> WriteAudits(const std::vector<AuditEntry>& entries) {
    std::vector<std::string> problems;
    if (entries.empty()) return problems;
    problems.reserve(entries.size());
    // One action of one caller: its credential cache is read once.
    const std::string principal = lumivel::CurrentPrincipalName();
    for (const AuditEntry& entry : entries) problems.push_back(writeAuditAs(entry, principal));
    return problems;
}

unsigned long AuditFileOpens() { return auditFile().opens(); }

namespace {

std::string writeAuditAs(const AuditEntry& entry, const std::string& principal) {
    std::string line = AuditLine(entry, nowText(), principal);
    std::vector<std::pair<std::string, std::string>> fields = {
        {"SYSLOG_IDENTIFIER", "lumivel"},          {"LUMIVEL_PRINCIPAL", principal},
        {"LUMIVEL_COMMAND", entry.command},        {"LUMIVEL_OBJECT_DN", entry.object},
        {"LUMIVEL_OBJECT_GUID", entry.guid},       {"LUMIVEL_DC", entry.dc},
        {"LUMIVEL_RESULT", entry.succeeded ? "success" : "failure"}, {"LUMIVEL_ERROR", entry.error},
        {"PRIORITY", entry.succeeded ? "6" : "4"}};
    if (!entry.archive.empty()) {
        fields.emplace_back("LUMIVEL_ARCHIVE", entry.archive);
        fields.emplace_back("LUMIVEL_ARCHIVE_SHA256", entry.archiveSha256);
    }
    if (!entry.newDn.empty()) fields.emplace_back("LUMIVEL_NEW_DN", entry.newDn);
    std::string problems;
    HRESULT journal = lumivel::SendToJournal(line, fields);
    if (FAILED(journal)) problems = "the system journal refused it (" + failureText(journal) + ")";
    std::string path = AuditLogPath();
    HRESULT file = auditFile().append(path, line);
    if (FAILED(file))
        problems += (problems.empty() ? "" : "; ") + std::string("it could not be appended to ") + path + " (" +
                    failureText(file) + ")";
    return problems;
}

}  // namespace

}  // namespace lumivel::shared
