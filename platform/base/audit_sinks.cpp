#include "lumivel/audit_sinks.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>

#include "lumivel/errno_map.h"
#include "win/errors.h"

namespace lumivel {

namespace {

HRESULT fromErrno(int error) { return HRESULT_FROM_WIN32(Win32ErrorFromErrno(error)); }

// Missing parent folders of a path, made private to the user.
int makeParents(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    return 0;
}

}  // namespace

HRESULT SendToJournal(std::string_view message, const std::vector<std::pair<std::string, std::string>>& fields) {
    std::vector<std::string> texts;
    texts.reserve(fields.size() + 1);
    texts.push_back("MESSAGE=" + std::string(message));
    for (const auto& [name, value] : fields) texts.push_back(name + "=" + value);
    std::vector<iovec> vector;
    vector.reserve(texts.size());
    for (std::string& text : texts) vector.push_back(iovec{text.data(), text.size()});
    int result = sd_journal_sendv(vector.data(), static_cast<int>(vector.size()));
    if (result >= 0) return S_OK;
    // No journal daemon on this host: its socket is not there, or nobody listens on it.
    if (result == -ENOENT || result == -ECONNREFUSED) return S_FALSE;
    return fromErrno(-result);
}

std::string AuditLogFilePath() {
    if (const char* chosen = std::getenv("LUMIVEL_AUDIT_LOG"); chosen && *chosen) return chosen;
    if (geteuid() == 0) return "/var/log/lumivel/audit.log";
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/') return std::string(state) + "/lumivel/audit.log";
    const char* home = std::getenv("HOME");
    // Never a shared folder such as /tmp, where another user could lay out the file first.
    if (!home || *home != '/') {
        const struct passwd* account = getpwuid(geteuid());
        home = account && account->pw_dir && account->pw_dir[0] == '/' ? account->pw_dir : nullptr;
    }
    // No place at all: the write fails and says so.
    return home ? std::string(home) + "/.local/state/lumivel/audit.log" : std::string();
}

namespace {

// The file opened for appending, or -errno: created private when missing, never through a
// link, never something that is no regular file.
int openForAppend(const std::string& path, struct stat* status) {
    if (path.empty() || path.front() != '/') return -EINVAL;
    if (int error = makeParents(path)) return -error;
    int descriptor = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0) return -errno;
    if (fstat(descriptor, status) != 0 || !S_ISREG(status->st_mode)) {
        int error = errno ? errno : EINVAL;
        close(descriptor);
        return -error;
    }
    return descriptor;
}

// One write, so that writers never interleave; the line feed is added.
HRESULT writeLine(int descriptor, std::string_view line) {
    std::string text(line);
    text += '\n';
    ssize_t written = write(descriptor, text.data(), text.size());
    if (written < 0) return fromErrno(errno);
    if (static_cast<size_t>(written) != text.size()) return fromErrno(ENOSPC);
    return S_OK;
}

}  // namespace

HRESULT AppendLineToFile(const std::string& path, std::string_view line) {
    if (path.empty() || path.front() != '/') return E_INVALIDARG;
    struct stat status{};
    int descriptor = openForAppend(path, &status);
    if (descriptor < 0) return fromErrno(-descriptor);
    HRESULT result = writeLine(descriptor, line);
    if (close(descriptor) != 0 && SUCCEEDED(result)) result = fromErrno(errno);
    return result;
}

AppendOnlyFile::~AppendOnlyFile() { closeHeld(); }

void AppendOnlyFile::closeHeld() {
    if (m_descriptor >= 0) close(m_descriptor);
    m_descriptor = -1;
    m_path.clear();
}

HRESULT AppendOnlyFile::append(const std::string& path, std::string_view line) {
    if (path.empty() || path.front() != '/') return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_descriptor >= 0) {
        struct stat now{};
        bool same = path == m_path && lstat(path.c_str(), &now) == 0 && S_ISREG(now.st_mode) &&
                    static_cast<unsigned long>(now.st_dev) == m_device &&
                    static_cast<unsigned long>(now.st_ino) == m_inode;
        if (!same) closeHeld();
    }
    if (m_descriptor < 0) {
        struct stat status{};
        int descriptor = openForAppend(path, &status);
        if (descriptor < 0) return fromErrno(-descriptor);
        m_descriptor = descriptor;
        m_path = path;
        m_device = static_cast<unsigned long>(status.st_dev);
        m_inode = static_cast<unsigned long>(status.st_ino);
        ++m_opens;
    }
    HRESULT result = writeLine(m_descriptor, line);
    // A descriptor that failed once is not trusted with the next line.
    if (FAILED(result)) closeHeld();
    return result;
}

unsigned long AppendOnlyFile::opens() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_opens;
}

}  // namespace lumivel
