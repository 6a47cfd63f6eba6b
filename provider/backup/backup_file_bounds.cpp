#include "provider/backup/backup_file_bounds.h"

#include <vector>

#include "provider/archive/archive_files.h"
#include "shared/text_helpers.h"
#include "win/errors.h"
#include "win/files.h"

namespace revivo {

namespace {

constexpr size_t kChunk = 1 << 16;

std::u16string number(uint64_t value) { return lumivel::shared::WidenText(std::to_string(value)); }

}  // namespace

bool BackupBoundsGuard::Feed(const char* bytes, size_t count) {
    if (Exceeded()) return false;
    m_total += count;
    if (m_total > kMaxBackupFileBytes) {
        m_why = u"it is larger than 64 MiB";
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] == '\n') {
            m_line = 0;
            ++m_lineNumber;
        } else if (bytes[i] != '\r' && ++m_line > kMaxBackupLineBytes) {
            m_why = u"its line " + number(m_lineNumber) + u" is longer than 1 MiB";
            return false;
        }
    }
    return true;
}

DWORD CheckBackupFileBounds(const std::u16string& path, std::u16string* why) {
    why->clear();
    zip::FileHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return GetLastError();
    BackupBoundsGuard guard;
    // The size first, so that a huge file is not read at all.
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.Get(), &size) && static_cast<uint64_t>(size.QuadPart) > kMaxBackupFileBytes) {
        *why = u"The backup file " + path + u" is refused: it is larger than 64 MiB.";
        return ERROR_FILE_TOO_LARGE;
    }
    std::vector<char> buffer(kChunk);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return GetLastError();
        if (read == 0) return ERROR_SUCCESS;
        if (!guard.Feed(buffer.data(), read)) {
            *why = u"The backup file " + path + u" is refused: " + guard.Why() + u".";
            return ERROR_FILE_TOO_LARGE;
        }
    }
}

}  // namespace revivo
