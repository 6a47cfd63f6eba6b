// What a backup archive holds: the time and origin of its [Backup Info] and the sections of
// the objects it backs up. Reading that means inflating the whole backup file, so it is done
// once per archive and kept in a small index file in the user's cache folder, which is used
// again for as long as the archive keeps its path, size and last-write time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win/types.h"

namespace revivo {

struct ArchiveSummary {
    std::u16string path;  // as listed
    std::u16string fileName;
    uint64_t size = 0;
    FILETIME lastWrite{};
    // False when the archive cannot be read, or holds no backup file named like itself
    // (the member a restore reads); it then holds nothing.
    bool readable = false;
    std::u16string dateTime;  // as recorded, UTC
    std::u16string origin;
    std::vector<std::u16string> sections;  // lower case, sorted

    bool Holds(std::u16string_view section) const;
};

// Reads an archive's summary straight from its backup member, writing nothing to disk.
// False (and a summary that is not readable) when that fails; *error holds the system error
// when a file operation failed, else ERROR_FILE_CORRUPT.
bool ReadArchiveSummary(const std::u16string& archivePath, ArchiveSummary* summary, DWORD* error = nullptr);

// Why the archive's summary cannot be read, in words for the listing (such an archive is
// never offered, so this is where the administrator learns why).
std::u16string WhyArchiveIsUnreadable(const std::u16string& archivePath);

class ArchiveIndex {
public:
    // The index files go into the folder, created when missing; by default the user's
    // "%LOCALAPPDATA%/lumivel/backup-index/". A folder or index file that is not the caller's
    // alone (another owner, writable by group or others, a link) is not used: every archive
    // is then read.
    explicit ArchiveIndex(std::u16string folder = DefaultFolder());
    static std::u16string DefaultFolder();
    const std::u16string& Folder() const { return m_folder; }

    // The summary of an archive as the listing found it: from its index file when that
    // describes this very archive, else read from the archive and stored for the next time.
    ArchiveSummary Summary(const std::u16string& archivePath, uint64_t size, const FILETIME& lastWrite);

    // How many archives the last calls had to read (for the tests and the benchmark).
    size_t ArchivesRead() const { return m_archivesRead; }

private:
    std::u16string IndexFileOf(const std::u16string& archivePath) const;
    bool Load(const std::u16string& indexFile, const std::u16string& archivePath, uint64_t size,
              const FILETIME& lastWrite, ArchiveSummary* summary) const;
    void Store(const std::u16string& indexFile, const ArchiveSummary& summary) const;

    std::u16string m_folder;
    size_t m_archivesRead = 0;
    // The folder is used only when it is the caller's alone (checked at first use).
    bool m_folderChecked = false;
    bool m_folderTrusted = false;
};

// The archives of a backup folder, newest first by the file's last-write time (then by the
// recorded time). False with the system error when the folder cannot be listed; a
// folder without archives is an empty list.
bool ListBackupArchives(const std::u16string& folder, ArchiveIndex& index, std::vector<ArchiveSummary>* archives,
                        DWORD* error = nullptr);

}  // namespace revivo
