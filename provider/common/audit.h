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

// Names the archive an action read in the entry: its path and SHA-256.
void DescribeArchive(std::u16string_view archivePath, lumivel::shared::AuditEntry* entry);

// The DN of the live object with the GUID (text form), read back; empty when it cannot be.
std::u16string LiveDnOfGuid(std::u16string_view server, std::u16string_view guid);

// An entry from the texts the provider holds in UTF-16.
lumivel::shared::AuditEntry AuditEntryOf(const char* command, std::u16string_view object, std::u16string_view guid,
                                         std::u16string_view dc, bool succeeded, std::u16string_view error = {});

}  // namespace revivo
