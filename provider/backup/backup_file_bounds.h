// How much of a backup file the provider reads at all. A backup file comes from a share that
// others may write, and the INF parser holds a whole file, and each line, in memory: a file
// made to be huge would take the console down with it, so it is refused before parsing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "win/types.h"
#include "win/winerror.h"

namespace revivo {

inline constexpr uint64_t kMaxBackupFileBytes = 64ull << 20;
inline constexpr uint64_t kMaxBackupLineBytes = 1ull << 20;

// Follows a backup file's bytes as they come and says when they leave the bounds.
class BackupBoundsGuard {
public:
    // False once the bytes so far exceed a bound; it then stays false.
    bool Feed(const char* bytes, size_t count);
    bool Exceeded() const { return !m_why.empty(); }
    // What was exceeded, in words; empty while within bounds.
    const std::u16string& Why() const { return m_why; }

private:
    uint64_t m_total = 0;
    uint64_t m_line = 0;
    uint64_t m_lineNumber = 1;
    std::u16string m_why;
};

// ERROR_SUCCESS when the file lies within the bounds; ERROR_FILE_TOO_LARGE with *why saying
// which bound it passes (naming the file), or the error of reading it.
DWORD CheckBackupFileBounds(const std::u16string& path, std::u16string* why);

}  // namespace revivo
