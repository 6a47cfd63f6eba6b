#include "job_audit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "bounded_read.h"
#include "lumivel/audit_sinks.h"
#include "lumivel/errno_map.h"
#include "win/errors.h"

// After the platform headers: it defines LOCK_WRITE, a name objidl.h uses.
#include <fcntl.h>

namespace lumivel::scheduler {
namespace {

// A backup writes one line per object; this is ample for a subtree of a million.
constexpr off_t kLargestRunAudit = 256 << 20;
constexpr size_t kLongestLine = 64 << 10;
// Lines go to the log in appends of about this size, each whole lines.
constexpr size_t kAppendSize = 1 << 20;

bool IsBackupLine(std::string_view line) {
    if (line.size() > kLongestLine || line.rfind("{\"time\": \"", 0) != 0 || line.back() != '}') return false;
    for (unsigned char c : line)
        if (c < 0x20 || c == 0x7F) return false;
    return line.find(", \"command\": \"backup\", ") != std::string_view::npos;
}

}  // namespace

HRESULT RelayAuditLines(const std::string& runFile, const std::string& logFile, RelayedAudit* relayed) {
    *relayed = {};
    int fd = ::open(runFile.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? S_FALSE : HRESULT_FROM_WIN32(Win32ErrorFromErrno(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
    }
    const std::string text = ReadUpTo(fd, static_cast<size_t>(std::min<off_t>(st.st_size, kLargestRunAudit)));
    ::close(fd);
    relayed->cutShort = st.st_size > kLargestRunAudit;

    std::string batch;
    HRESULT result = S_OK;
    auto flush = [&] {
        if (batch.empty()) return;
        HRESULT hr = AppendLineToFile(logFile, batch);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
        batch.clear();
    };
    size_t start = 0;
    // Only lines that end in a line feed: a last line cut short is not a line.
    for (size_t end = text.find('\n'); end != std::string::npos; start = end + 1, end = text.find('\n', start)) {
        std::string_view line(text.data() + start, end - start);
        if (line.empty()) continue;
        if (!IsBackupLine(line)) {
            ++relayed->refused;
            continue;
        }
        if (!batch.empty()) batch += '\n';
        batch.append(line);
        ++relayed->taken;
        if (batch.size() >= kAppendSize) flush();
    }
    if (start < text.size()) ++relayed->refused;
    flush();
    return result;
}

}  // namespace lumivel::scheduler
