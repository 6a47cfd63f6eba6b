// Exclusive temporary files and private temporary folders (see lumivel/temporary_file.h).
#include "lumivel/temporary_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <vector>

#include "local_file.h"
#include "lumivel/errno_map.h"
#include "lumivel/text.h"
#include "path.h"
#include "win/errors.h"

namespace lumivel {
namespace {

constexpr int kAttempts = 100;
constexpr size_t kPrefixLimit = 120;

std::mutex g_folderMutex;
std::string g_madeFolder;  // the folder mkdtemp made for this process, if any

// Only the owner may add, remove or rename entries: nothing can be planted there.
bool IsPrivateFolder(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

void RemoveMadeFolder() {
    std::lock_guard lock(g_folderMutex);
    if (!g_madeFolder.empty()) ::rmdir(g_madeFolder.c_str());  // only when empty
}

std::string RandomSuffix() {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[12];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    std::string suffix;
    for (unsigned char b : bytes) suffix += kLetters[b % (sizeof kLetters - 1)];
    return suffix;
}

// A prefix never leaves its folder, and stays well inside a file name's length.
std::string SafePrefix(std::string_view prefix) {
    std::string out(prefix.substr(0, kPrefixLimit));
    for (char& c : out)
        if (c == '/' || c == '\0') c = '_';
    return out;
}

}  // namespace

std::string TemporaryBaseFolder() {
    for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            std::string dir = value;
            while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
            return dir;
        }
    }
    return "/tmp";
}

DWORD PrivateTemporaryFolder(std::string* folder) {
    std::string base = TemporaryBaseFolder();
    struct stat st {};
    // The user's own folder (as the temporary folder of a Windows profile is) serves as it is.
    if (::stat(base.c_str(), &st) == 0 && IsPrivateFolder(st)) {
        *folder = base;
        return ERROR_SUCCESS;
    }
    if (::stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) base = "/tmp";
    std::lock_guard lock(g_folderMutex);
    // The folder made earlier is used again while it is still ours and still private.
    if (!g_madeFolder.empty() && ParentDirectory(g_madeFolder) == base && ::lstat(g_madeFolder.c_str(), &st) == 0 &&
        IsPrivateFolder(st)) {
        *folder = g_madeFolder;
        return ERROR_SUCCESS;
    }
    std::string pattern = base + "/lumivel-XXXXXX";
    if (!::mkdtemp(pattern.data())) return Win32ErrorFromErrno(errno);
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(RemoveMadeFolder); });
    g_madeFolder = pattern;
    *folder = pattern;
    return ERROR_SUCCESS;
}

DWORD TemporaryPathFolder(std::string* folder) {
    std::string base = TemporaryBaseFolder();
    struct stat st {};
    if (::stat(base.c_str(), &st) == 0) return PrivateTemporaryFolder(folder);
    *folder = base;
    return ERROR_SUCCESS;
}

std::unique_ptr<PrivateTempDirectory> PrivateTempDirectory::Create(std::u16string_view prefix, DWORD* error) {
    std::string base;
    DWORD code = TemporaryPathFolder(&base);
    std::string pattern = base + "/" + SafePrefix(ToUtf8(prefix.substr(0, 32))) + ".XXXXXX";
    if (code == ERROR_SUCCESS && !::mkdtemp(pattern.data())) code = PathError(errno, pattern);
    if (error) *error = code;
    SetLastError(code);
    if (code != ERROR_SUCCESS) return nullptr;
    std::u16string path = FromUtf8(pattern) + u"/";
    return std::unique_ptr<PrivateTempDirectory>(new PrivateTempDirectory(pattern, std::move(path)));
}

PrivateTempDirectory::~PrivateTempDirectory() { RemoveFolderTree(m_local); }

namespace {

// Passes over a folder before RemoveFolderTree gives up on entries that keep coming back.
constexpr int kRemovalPasses = 100000;

std::vector<std::string> EntriesOf(int folder) {
    std::vector<std::string> names;
    int listing = ::dup(folder);
    DIR* entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!entries) {
        if (listing >= 0) ::close(listing);
        return names;
    }
    // The duplicate shares the folder's offset, which an earlier listing left at the end.
    ::rewinddir(entries);
    while (dirent* entry = ::readdir(entries)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(entries);
    return names;
}

}  // namespace

// Entries are removed by name relative to folders opened without following a link, so a link
// is removed itself and its target never touched. A folder that is not empty has its entries
// moved up into the top folder and is removed then: however deep a tree someone made, the
// work needs neither recursion nor a descriptor per level.
void RemoveFolderTree(const std::string& path) {
    int top = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (top < 0) return;
    uint64_t hoisted = 0;
    for (int pass = 0; pass < kRemovalPasses; ++pass) {
        std::vector<std::string> names = EntriesOf(top);
        if (names.empty()) break;
        for (const std::string& name : names) {
            if (::unlinkat(top, name.c_str(), 0) == 0 || errno != EISDIR) continue;
            if (::unlinkat(top, name.c_str(), AT_REMOVEDIR) == 0) continue;
            int inner = ::openat(top, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (inner < 0) continue;
            for (const std::string& child : EntriesOf(inner)) {
                for (int attempt = 0; attempt < kAttempts; ++attempt) {
                    std::string moved = ".removed-" + std::to_string(hoisted++);
                    if (::renameat2(inner, child.c_str(), top, moved.c_str(), RENAME_NOREPLACE) == 0 || errno != EEXIST)
                        break;
                }
            }
            ::close(inner);
            ::unlinkat(top, name.c_str(), AT_REMOVEDIR);
        }
    }
    ::close(top);
    ::rmdir(path.c_str());
}

ExclusiveTemporaryFile::~ExclusiveTemporaryFile() { discard(); }

ExclusiveTemporaryFile::ExclusiveTemporaryFile(ExclusiveTemporaryFile&& other) noexcept
    : m_fd(other.m_fd), m_path(std::move(other.m_path)) {
    other.m_fd = -1;
    other.m_path.clear();
}

ExclusiveTemporaryFile& ExclusiveTemporaryFile::operator=(ExclusiveTemporaryFile&& other) noexcept {
    if (this != &other) {
        discard();
        m_fd = other.m_fd;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
        other.m_path.clear();
    }
    return *this;
}

void ExclusiveTemporaryFile::discard() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_path.empty()) ::unlink(m_path.c_str());
    m_fd = -1;
    m_path.clear();
}

DWORD ExclusiveTemporaryFile::create(const std::string& folder, std::string_view prefix, unsigned mode) {
    discard();
    std::string dir = folder;
    if (dir.empty())
        if (DWORD e = PrivateTemporaryFolder(&dir)) return e;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    std::string stem = (dir == "/" ? "/" : dir + "/") + SafePrefix(prefix);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string path = stem + RandomSuffix();
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode & 07777);
        if (fd >= 0) {
            // The umask may have taken bits away; it never adds any.
            ::fchmod(fd, mode & 07777);
            m_fd = fd;
            m_path = std::move(path);
            return ERROR_SUCCESS;
        }
        if (errno != EEXIST) return PathError(errno, path);
    }
    return ERROR_FILE_EXISTS;
}

DWORD ExclusiveTemporaryFile::createBeside(const std::string& finalPath, unsigned mode) {
    return create(ParentDirectory(finalPath), "." + std::string(BaseName(finalPath)) + ".", mode);
}

DWORD ExclusiveTemporaryFile::write(std::string_view bytes) {
    if (m_fd < 0) return ERROR_INVALID_HANDLE;
    while (!bytes.empty()) {
        ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return Win32ErrorFromErrno(errno);
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return ERROR_SUCCESS;
}

DWORD ExclusiveTemporaryFile::commit(const std::string& finalPath, ExistingFile existing) {
    if (m_path.empty()) return ERROR_INVALID_HANDLE;
    DWORD error = ERROR_SUCCESS;
    if (m_fd >= 0) {
        if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS) error = Win32ErrorFromErrno(errno);
        if (::close(m_fd) != 0 && error == ERROR_SUCCESS) error = Win32ErrorFromErrno(errno);
        m_fd = -1;
    }
    if (error == ERROR_SUCCESS) {
        int r = existing == ExistingFile::Replace
                    ? ::rename(m_path.c_str(), finalPath.c_str())
                    : ::renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE);
        // File systems without RENAME_NOREPLACE (NFS among them) still refuse to link over a name.
        if (r != 0 && existing == ExistingFile::Keep && (errno == EINVAL || errno == ENOSYS)) {
            r = ::link(m_path.c_str(), finalPath.c_str());
            if (r == 0) ::unlink(m_path.c_str());
        }
        if (r != 0) error = errno == EEXIST ? ERROR_ALREADY_EXISTS : PathError(errno, finalPath);
    }
    if (error != ERROR_SUCCESS) {
        discard();
        return error;
    }
    m_path.clear();
    return ERROR_SUCCESS;
}

std::string ExclusiveTemporaryFile::keep() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    std::string path = std::move(m_path);
    m_path.clear();
    return path;
}

DWORD WriteFileAtomically(const std::string& path, std::string_view bytes, unsigned mode, ExistingFile existing) {
    ExclusiveTemporaryFile file;
    DWORD error = file.createBeside(path, mode);
    if (error == ERROR_SUCCESS) error = file.write(bytes);
    if (error == ERROR_SUCCESS) error = file.commit(path, existing);
    if (error == ERROR_ALREADY_EXISTS) return ERROR_FILE_EXISTS;
    if (error != ERROR_SUCCESS) return error;
    // The new name itself survives a crash only once its folder is on disk.
    int folder = ::open(ParentDirectory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) ::fsync(folder), ::close(folder);
    return ERROR_SUCCESS;
}

HANDLE CreateExclusiveTemporaryFile(LPCWSTR folder, std::u16string_view prefix, std::u16string* path, unsigned mode) {
    std::string dir;
    if (folder && *folder) {
        DWORD error = ERROR_SUCCESS;
        std::optional<std::string> local = LocalPath(folder, &error);
        if (!local) return Fail(error, INVALID_HANDLE_VALUE);
        dir = *local;
    }
    ExclusiveTemporaryFile file;
    if (DWORD e = file.create(dir, ToUtf8(prefix), mode)) return Fail(e, INVALID_HANDLE_VALUE);
    int fd = ::dup(file.descriptor());
    if (fd < 0) return Fail(Win32ErrorFromErrno(errno), INVALID_HANDLE_VALUE);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    auto object = std::make_shared<LocalFile>(fd, GENERIC_READ | GENERIC_WRITE, std::string());
    HANDLE handle = InsertHandle(std::move(object));
    if (!handle) return INVALID_HANDLE_VALUE;
    std::string made = file.keep();
    if (path) *path = FromUtf8(made);
    return handle;
}

}  // namespace lumivel
