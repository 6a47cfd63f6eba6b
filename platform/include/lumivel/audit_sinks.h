// Where audit records go: the system journal with structured fields, and a file that is only
// ever appended to. Not Windows APIs; the product's audit log (shared/) writes through these.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "win/types.h"

namespace lumivel {

// One journal entry: MESSAGE and the fields (names in upper case, as the journal wants them).
// S_OK; S_FALSE when no journal runs on this host (nothing to write to); otherwise the
// failure, as an HRESULT of the Win32 error.
LUMIVEL_EXPORT HRESULT SendToJournal(std::string_view message,
                                     const std::vector<std::pair<std::string, std::string>>& fields);

// Appends one line (a line feed is added) to the file, which is created with mode 0600 when
// missing, together with missing parent folders (mode 0700), and never opened through a link.
// The line goes in with one write of an O_APPEND descriptor, so writers never interleave.
LUMIVEL_EXPORT HRESULT AppendLineToFile(const std::string& path, std::string_view line);

// Appends lines as AppendLineToFile does, through one descriptor held open between calls, so
// that a run writing thousands of entries opens the file once. Before each line the path is
// looked at again (never followed): a file rotated, removed or replaced by a link since is
// reopened, or refused, as a fresh open would be. Safe to share between threads.
class LUMIVEL_EXPORT AppendOnlyFile {
public:
    AppendOnlyFile() = default;
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;
    ~AppendOnlyFile();

    HRESULT append(const std::string& path, std::string_view line);
    // How often a file was opened, for the checks that it stays once.
    unsigned long opens() const;

private:
    void closeHeld();

    mutable std::mutex m_lock;
    std::string m_path;
    int m_descriptor = -1;
    unsigned long m_device = 0, m_inode = 0;
    unsigned long m_opens = 0;
};

// The audit log file of this process: $LUMIVEL_AUDIT_LOG when set, else
// /var/log/lumivel/audit.log for root, else $XDG_STATE_HOME/lumivel/audit.log
// ($HOME/.local/state, or the password database's home, when XDG_STATE_HOME is unset); empty
// when there is no place for one.
LUMIVEL_EXPORT std::string AuditLogFilePath();

// The Kerberos principal of the caller's credential cache ("user@REALM"); empty without one.
LUMIVEL_EXPORT std::string CurrentPrincipalName();

}  // namespace lumivel
