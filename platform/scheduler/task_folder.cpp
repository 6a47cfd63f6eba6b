#include "task_folder.h"

#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "bounded_read.h"
#include "lumivel/temporary_file.h"
#include "lumivel/errno_map.h"
#include "lumivel/text.h"

// After the platform headers: it defines LOCK_WRITE, a name objidl.h uses.
#include <fcntl.h>

namespace lumivel::scheduler {
namespace {

constexpr char kItemSuffix[] = ".job";
constexpr size_t kLongestName = 200;
constexpr off_t kLargestItem = 1 << 20;
constexpr auto kLockPatience = std::chrono::seconds(5);

HRESULT FromErrno(int error) { return HRESULT_FROM_WIN32(Win32ErrorFromErrno(error)); }

// The folder and each item must be this account's alone, or another account could hand the
// service a job to run.
HRESULT CheckOwnership(const struct stat& st) {
    if (st.st_uid != ::geteuid()) return E_ACCESSDENIED;
    if (st.st_mode & (S_IWGRP | S_IWOTH)) return E_ACCESSDENIED;
    return S_OK;
}

}  // namespace

std::string TaskFolderPath() {
    const char* overridden = std::getenv("LUMIVEL_TASK_FOLDER");
    std::string path = overridden && *overridden == '/' ? overridden : "/var/lib/lumivel/tasks";
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

HRESULT CheckItemName(std::u16string_view name) {
    if (name.empty() || name.size() > kLongestName || name.front() == u'.' || name.back() == u'.' ||
        name.back() == u' ')
        return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    for (char16_t c : name)
        if (c < 0x20 || c == 0x7F || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos)
            return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    // An unpaired surrogate would name another file once converted.
    if (FromUtf8(ToUtf8(name)) != name) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    return S_OK;
}

HRESULT TaskFolder::Open(CreateFolder create, TaskFolder* folder) {
    folder->m_path = TaskFolderPath();
    struct stat st {};
    if (::lstat(folder->m_path.c_str(), &st) != 0) {
        if (errno != ENOENT || create == CreateFolder::No) return FromErrno(errno);
        // Parents as an installation makes them; the folder itself private.
        const std::string parent = folder->m_path.substr(0, folder->m_path.find_last_of('/'));
        if (!parent.empty()) {
            std::string built;
            for (size_t at = 1; at <= parent.size(); ++at) {
                if (at == parent.size() || parent[at] == '/') {
                    built = parent.substr(0, at);
                    if (::mkdir(built.c_str(), 0755) != 0 && errno != EEXIST) return FromErrno(errno);
                }
            }
        }
        if (::mkdir(folder->m_path.c_str(), 0700) != 0 && errno != EEXIST) return FromErrno(errno);
        if (::lstat(folder->m_path.c_str(), &st) != 0) return FromErrno(errno);
    }
    if (!S_ISDIR(st.st_mode)) return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
    return CheckOwnership(st);
}

std::string TaskFolder::itemPath(std::u16string_view name) const { return m_path + "/" + ToUtf8(name) + kItemSuffix; }

bool TaskFolder::exists(std::u16string_view name) const {
    struct stat st {};
    return ::lstat(itemPath(name).c_str(), &st) == 0;
}

HRESULT TaskFolder::read(std::u16string_view name, WorkItemRecord* record) const {
    if (HRESULT hr = CheckItemName(name); FAILED(hr)) return hr;
    int fd = ::open(itemPath(name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ELOOP ? SCHED_E_INVALID_TASK : FromErrno(errno);
    struct stat st {};
    HRESULT hr = ::fstat(fd, &st) == 0 ? S_OK : FromErrno(errno);
    if (SUCCEEDED(hr) && !S_ISREG(st.st_mode)) hr = SCHED_E_INVALID_TASK;
    if (SUCCEEDED(hr)) hr = CheckOwnership(st);
    if (SUCCEEDED(hr) && st.st_size > kLargestItem) hr = SCHED_E_INVALID_TASK;
    std::string text;
    if (SUCCEEDED(hr)) text = ReadUpTo(fd, static_cast<size_t>(st.st_size));
    ::close(fd);
    if (FAILED(hr)) return hr;
    auto decoded = DecodeWorkItem(text, &hr);
    if (!decoded) return hr;
    *record = std::move(*decoded);
    return S_OK;
}

HRESULT TaskFolder::write(std::u16string_view name, const WorkItemRecord& record, bool replace) const {
    if (HRESULT hr = CheckItemName(name); FAILED(hr)) return hr;
    DWORD error = WriteFileAtomically(itemPath(name), EncodeWorkItem(record), 0600,
                                      replace ? ExistingFile::Replace : ExistingFile::Keep);
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

HRESULT TaskFolder::remove(std::u16string_view name) const {
    if (HRESULT hr = CheckItemName(name); FAILED(hr)) return hr;
    if (::unlink(itemPath(name).c_str()) != 0) return FromErrno(errno);
    return S_OK;
}

HRESULT TaskFolder::list(std::vector<std::u16string>* names) const {
    names->clear();
    DIR* dir = ::opendir(m_path.c_str());
    if (!dir) return FromErrno(errno);
    const std::string suffix = kItemSuffix;
    while (dirent* entry = ::readdir(dir)) {
        std::string file = entry->d_name;
        if (file.size() <= suffix.size() || file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        std::u16string name = FromUtf8(file.substr(0, file.size() - suffix.size()));
        if (SUCCEEDED(CheckItemName(name))) names->push_back(std::move(name));
    }
    ::closedir(dir);
    std::sort(names->begin(), names->end());
    return S_OK;
}

FolderWriteLock::FolderWriteLock(const TaskFolder& folder) {
    m_fd = ::open((folder.path() + "/.lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        m_result = FromErrno(errno);
        return;
    }
    // Holders keep it for one read and one write, so a few seconds is ample.
    const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_result = FromErrno(errno);
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            m_result = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

FolderWriteLock::~FolderWriteLock() {
    if (m_fd >= 0) ::close(m_fd);
}

ServiceMark::~ServiceMark() {
    if (m_fd >= 0) ::close(m_fd);
}

HRESULT ServiceMark::take(const TaskFolder& folder) {
    m_fd = ::open((folder.path() + "/.service").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_fd < 0) return FromErrno(errno);
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(m_fd);
        m_fd = -1;
        return error == EWOULDBLOCK ? HRESULT_FROM_WIN32(ERROR_SERVICE_ALREADY_RUNNING) : FromErrno(error);
    }
    return S_OK;
}

bool ServiceMark::IsHeld(const TaskFolder& folder) {
    int fd = ::open((folder.path() + "/.service").c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

}  // namespace lumivel::scheduler
