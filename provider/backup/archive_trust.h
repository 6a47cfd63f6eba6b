// Whether an archive in the backup folder may be believed: who wrote it, and whether the time
// it claims fits the file. The folder is a share others may be able to write; an archive
// planted there would otherwise recreate containers and write attributes with the rights of
// whoever restores. A failing archive is shown with the reason and used only when the
// administrator names it (kTrustArchiveKey).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "lumivel/file_owner.h"
#include "provider/backup/archive_index.h"
#include "shared/property_set.h"

namespace revivo {

// Why a local archive's writer is not trusted: the file and its folder must belong to root or
// the caller and be writable by nobody else, and the file must be no link. Empty when trusted.
std::u16string LocalWriterDistrust(const lumivel::FileWriterInfo& file, const lumivel::FileWriterInfo& folder,
                                   uint32_t callerUid);

// How far the time a backup records may lie from its file's last write.
inline constexpr int64_t kMostDateSkewSeconds = 24 * 60 * 60;
// Why the recorded "DateTime" ("2026-12-01 09:00:00", UTC) is not believed: it lies in the
// future (past a few minutes of clock skew), far from the file's last write, or is no time.
std::u16string BackupDateDistrust(std::u16string_view dateTime, const FILETIME& lastWrite, const FILETIME& now);

// Why a parent path from a backup is refused for the tombstone: it must lie inside the
// tombstone's own naming context, and not inside another one of the server's (its
// namingContexts) that lies below it, as the configuration and schema contexts and the DNS
// partitions lie below the forest root domain's. Empty when it does.
std::u16string ParentOutsideNamingContext(std::u16string_view tombstoneDn, std::u16string_view parentDn,
                                          const std::vector<std::u16string>& namingContexts = {});

// The server's namingContexts (its rootDSE); empty when they cannot be read.
std::vector<std::u16string> NamingContextsOf(std::u16string_view server);

// Whether the record's kTrustArchiveKey names the archive (its path, file name, or file name
// without ".zip", compared without regard to case).
bool TrustNamedArchive(const PropertySet* record, std::u16string_view archivePath);

// SIDs in text form and as the directory stores them.
std::vector<uint8_t> SidBytesOfText(std::u16string_view text);
std::u16string SidTextOfBytes(const std::vector<uint8_t>& bytes);

// The writer check against one domain controller's directory; what it learns there (the
// caller's SID, the administrators' groups, owners looked up) is read once per object.
class ArchiveTrust {
public:
    explicit ArchiveTrust(std::u16string server);

    // Why the archive may not be believed; empty when it may.
    std::u16string Distrust(const ArchiveSummary& archive);
    // The same for an archive known only by its path (read and summed up first).
    std::u16string DistrustOfPath(const std::u16string& archivePath);

private:
    std::u16string shareDistrust(const ArchiveSummary& archive);
    void learnDirectory();
    bool ownerIsAdministrator(const std::u16string& ownerSid);
    std::u16string jobAccountSid(const std::u16string& originDn);

    std::u16string m_server;
    bool m_learned = false;
    std::u16string m_callerSid;
    std::vector<std::u16string> m_adminSids;  // Administrators, Domain Admins, Enterprise Admins
    std::map<std::u16string, bool> m_ownersSeen;
    std::map<std::u16string, std::u16string> m_jobAccounts;  // origin DN (folded) -> SID
};

}  // namespace revivo
