// The provider's entries in the audit log.
#pragma once

#include <string>
#include <vector>

#include "shared/audit_log.h"
#include "win/types.h"

namespace revivo {

// Writes the entry; when it cannot be written, a message box owned by the window says so and
// why (under the headless interface: stderr and the system log), so no entry is lost quietly.
void AuditAction(HWND owner, const lumivel::shared::AuditEntry& entry);

// Many entries of one action; at most one message box says how many could not be written.
void AuditActions(HWND owner, const std::vector<lumivel::shared::AuditEntry>& entries);

// An entry from the texts the provider holds in UTF-16.
lumivel::shared::AuditEntry AuditEntryOf(const char* command, std::u16string_view object, std::u16string_view guid,
                                         std::u16string_view dc, bool succeeded, std::u16string_view error = {});

}  // namespace revivo
