// The audit lines of a run handed to the job account (scheduler area only).
//
// The account may not write the machine's audit log, so its run writes its lines into its own
// folder and the service appends them to the log once the run has ended. What the run wrote is
// the run's word: only lines of the shape the audit log writes for a backup, one per line, are
// taken, and no more than a backup of a large subtree writes.
#pragma once

#include <string>

#include "win/types.h"

namespace lumivel::scheduler {

struct RelayedAudit {
    size_t taken = 0;
    size_t refused = 0;  // lines that are not a backup's audit line
    bool cutShort = false;  // the file was larger than any backup writes
};

// Moves the lines of `runFile` to the audit log at `logFile`; the failure of the append, if any.
HRESULT RelayAuditLines(const std::string& runFile, const std::string& logFile, RelayedAudit* relayed);

}  // namespace lumivel::scheduler
