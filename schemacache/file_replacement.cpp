#include "schemacache/file_replacement.h"

#include <algorithm>
#include <utility>

#include "lumivel/temporary_file.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/threads.h"

namespace glossar {
namespace {

constexpr DWORD kLargestWrite = 1u << 30;

}  // namespace

FileReplacement::FileReplacement(std::u16string target) : m_target(std::move(target)) {
    // A hidden name beside the target, readable by every user of a shared folder as the file
    // it replaces is.
    const size_t cut = m_target.find_last_of(u"/\\");
    const std::u16string folder = cut == std::u16string::npos ? u"." : m_target.substr(0, cut + 1);
    const std::u16string prefix = u"." + m_target.substr(cut == std::u16string::npos ? 0 : cut + 1) + u".";
    HANDLE file = lumivel::CreateExclusiveTemporaryFile(folder.c_str(), prefix, &m_temporary, 0644);
    if (file != INVALID_HANDLE_VALUE)
        m_file = file;
    else
        m_temporary.clear();
}

FileReplacement::FileReplacement(FileReplacement&& other) noexcept
    : m_target(std::move(other.m_target)),
      m_temporary(std::exchange(other.m_temporary, std::u16string())),
      m_file(std::exchange(other.m_file, INVALID_HANDLE_VALUE)),
      m_failed(other.m_failed) {}

FileReplacement::~FileReplacement() {
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    if (!m_temporary.empty()) DeleteFileW(m_temporary.c_str());
}

bool FileReplacement::write(const void* data, size_t size) {
    if (m_file == INVALID_HANDLE_VALUE || m_failed) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, kLargestWrite));
        DWORD written = 0;
        if (!WriteFile(m_file, bytes, chunk, &written, nullptr) || written != chunk) {
            m_failed = true;
            return false;
        }
        bytes += chunk;
        size -= chunk;
    }
    return true;
}

bool FileReplacement::close() {
    if (m_file == INVALID_HANDLE_VALUE) return !m_temporary.empty() && !m_failed;
    const bool flushed = FlushFileBuffers(m_file);
    const bool closed = CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    if (!flushed || !closed) m_failed = true;
    return !m_failed;
}

bool FileReplacement::commit() {
    if (m_temporary.empty() || !close()) return false;
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (!MoveFileExW(m_temporary.c_str(), m_target.c_str(), flags)) {
        // Only a read-only file itself refuses the move: a link in its place is replaced, and
        // whatever it points at keeps its attributes.
        if (GetLastError() != ERROR_ACCESS_DENIED) return false;
        const DWORD attributes = GetFileAttributesW(m_target.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY) ||
            !SetFileAttributesW(m_target.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) ||
            !MoveFileExW(m_temporary.c_str(), m_target.c_str(), flags))
            return false;
    }
    m_temporary.clear();
    return true;
}

}  // namespace glossar
