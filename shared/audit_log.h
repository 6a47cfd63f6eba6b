// The audit log: one JSON line per restore, backup, schedule change and domain-node change,
// sent to the system journal with structured fields and appended to a file of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumivel::shared {

struct AuditEntry {
    std::string command;  // "restore", "restore-subtree", "backup", "schedule", "connect-domain", ...
    std::string object;   // the object's DN (a tombstone's while it was one)
    std::string guid;
    std::string dc;
    bool succeeded = false;
    std::string error;
    // What a restore, re-apply or recovery took from a backup and did with it; each key is in
    // the line only when set, so lines of other commands read as before.
    std::string archive = {}, archiveSha256 = {};
    std::vector<std::string> containersCreated = {}, attributesWritten = {}, attributesRefused = {}, groupsJoined = {};
    std::string newDn = {};
};

// The file: $LUMIVEL_AUDIT_LOG when set, else /var/log/lumivel/audit.log for root, else
// $XDG_STATE_HOME/lumivel/audit.log ($HOME/.local/state when XDG_STATE_HOME is unset).
std::string AuditLogPath();

// The entry's JSON line: time (ISO 8601 UTC), principal, command, object, guid, dc, result
// ("success" or "failure") and error, in that order; then, when set, archive, archiveSha256,
// containersCreated, attributesWritten, attributesRefused, groupsJoined (arrays) and newDn.
std::string AuditLine(const AuditEntry& entry, std::string_view time, std::string_view principal);

// Writes the entry to both places; empty when it reached the file and the journal (or the
// host has no journal), else what failed, in words. The file is written even when the
// journal failed, and the other way round.
std::string WriteAudit(const AuditEntry& entry);

// Many entries of one action, each as WriteAudit writes it, with the principal read once; what
// failed for each entry, in order.
std::vector<std::string> WriteAudits(const std::vector<AuditEntry>& entries);

// How often this process opened an audit file: once a run, unless the file was rotated.
unsigned long AuditFileOpens();

}  // namespace lumivel::shared
