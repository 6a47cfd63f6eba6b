// UNC paths on libsmbclient: Kerberos from the logged-on user's credential cache without
// fallback to other logons, one context for the process, every call under one lock (the
// library is not thread-safe), servers always named by their DNS names.
#include <libsmbclient.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "../directory/kerberos_identity.h"
#include "lumivel/text.h"
#include "lumivel/unc_file_system.h"
#include "smb_errors.h"

namespace lumivel::smb {
namespace {

std::mutex g_lock;

FILETIME ToFileTime(const timespec& t) {
    const uint64_t ticks = (static_cast<uint64_t>(t.tv_sec) + 11644473600ull) * 10000000ull + t.tv_nsec / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

DWORD AttributesOf(mode_t mode) {
    DWORD attributes = S_ISDIR(mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!(mode & 0222)) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

void NoAuthData(SMBCCTX*, const char*, const char*, char*, int, char*, int, char*, int) {
    // Kerberos takes the principal from the credential cache; nothing to fill in.
}

// The library context, created on first use; called with g_lock held.
SMBCCTX* Context() {
    static SMBCCTX* context = nullptr;
    if (context) return context;
    SMBCCTX* c = smbc_new_context();
    if (!c) return nullptr;
    smbc_setDebug(c, 0);
    smbc_setOptionUseKerberos(c, 1);
    smbc_setOptionFallbackAfterKerberos(c, 0);
    smbc_setOptionUseCCache(c, 1);
    smbc_setOptionNoAutoAnonymousLogin(c, 1);
    smbc_setTimeout(c, 15000);
    smbc_setFunctionAuthDataWithContext(c, NoAuthData);
    if (!smbc_init_context(c)) {
        smbc_free_context(c, 1);
        return nullptr;
    }
    context = c;
    return context;
}

struct Url {
    std::string text;  // smb://server/share/path, percent-encoded
    std::string server, share;
    bool shareRoot = false;
};

// "\\server\share\dir\file" -> smb://server.domain/share/dir/file. False for a path without a
// share or with an empty component.
bool MakeUrl(std::u16string_view path, Url* url) {
    if (path.size() < 3 || path[0] != u'\\' || path[1] != u'\\') return false;
    std::vector<std::string> parts;
    size_t start = 2;
    while (start <= path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos) end = path.size();
        parts.push_back(ToUtf8(path.substr(start, end - start)));
        start = end + 1;
    }
    while (parts.size() > 2 && parts.back().empty()) parts.pop_back();  // a trailing separator
    if (parts.size() < 2 || parts[0].empty() || parts[1].empty()) return false;
    for (const auto& p : parts)
        if (p.empty() || p == "..") return false;
    std::string server = parts[0];
    for (char c : server)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_')) return false;
    // Kerberos needs the host's DNS name.
    if (server.find('.') == std::string::npos) {
        const std::string domain = directory::DefaultDomainName();
        if (!domain.empty()) server += "." + domain;
    }
    url->server = server;
    url->share = parts[1];
    url->shareRoot = parts.size() == 2;
    url->text = "smb://" + server;
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (size_t i = 1; i < parts.size(); ++i) {
        url->text.push_back('/');
        for (unsigned char c : parts[i]) {
            if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c >= 0x80) {
                url->text.push_back(static_cast<char>(c));
            } else {
                url->text.push_back('%');
                url->text.push_back(kHex[c >> 4]);
                url->text.push_back(kHex[c & 15]);
            }
        }
    }
    return true;
}

// Whether the server's name resolves; names that did once are remembered. Called with g_lock held.
bool ServerResolves(const std::string& host) {
    static std::set<std::string> known;
    if (known.count(host)) return true;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return false;
    freeaddrinfo(found);
    known.insert(host);
    return true;
}

// The Win32 error of a failed libsmbclient call on `url` (errno read by the caller at once).
DWORD Failure(int error, Operation operation, const Url& url) {
    return Win32FromErrno(error, operation, [&] { return ServerResolves(url.server); });
}

// Checks the path and the ticket; on success the caller holds g_lock through `lock`.
DWORD Prepare(std::u16string_view path, Url* url, SMBCCTX** context, std::unique_lock<std::mutex>* lock) {
    if (!MakeUrl(path, url)) return ERROR_BAD_NETPATH;
    if (FAILED(directory::CheckCredentials())) return ERROR_LOGON_FAILURE;
    *lock = std::unique_lock<std::mutex>(g_lock);
    *context = Context();
    return *context ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

class SmbFile final : public FileObject {
public:
    SmbFile(SMBCFILE* file, std::string url) : m_file(file), m_url(std::move(url)) {}
    ~SmbFile() override {
        std::lock_guard<std::mutex> lock(g_lock);
        if (SMBCCTX* c = Context()) smbc_getFunctionClose(c)(c, m_file);
    }

    DWORD read(void* buffer, DWORD size, DWORD* done) override {
        std::lock_guard<std::mutex> lock(g_lock);
        SMBCCTX* c = Context();
        DWORD total = 0;
        while (total < size) {
            const ssize_t n = smbc_getFunctionRead(c)(c, m_file, static_cast<char*>(buffer) + total, size - total);
            if (n < 0) {
                if (done) *done = total;
                return Win32FromErrno(errno, Operation::Other);
            }
            if (n == 0) break;
            total += static_cast<DWORD>(n);
        }
        if (done) *done = total;
        return ERROR_SUCCESS;
    }

    DWORD write(const void* buffer, DWORD size, DWORD* done) override {
        std::lock_guard<std::mutex> lock(g_lock);
        SMBCCTX* c = Context();
        DWORD total = 0;
        while (total < size) {
            const ssize_t n = smbc_getFunctionWrite(c)(c, m_file, static_cast<const char*>(buffer) + total, size - total);
            if (n <= 0) {
                if (done) *done = total;
                return Win32FromErrno(n < 0 ? errno : EIO, Operation::Other);
            }
            total += static_cast<DWORD>(n);
        }
        if (done) *done = total;
        return ERROR_SUCCESS;
    }

    DWORD seek(LONGLONG distance, DWORD method, ULONGLONG* position) override {
        std::lock_guard<std::mutex> lock(g_lock);
        SMBCCTX* c = Context();
        const int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
        if (method == FILE_BEGIN && distance < 0) return ERROR_NEGATIVE_SEEK;
        const off_t at = smbc_getFunctionLseek(c)(c, m_file, distance, whence);
        if (at < 0) return errno == EINVAL ? ERROR_NEGATIVE_SEEK : Win32FromErrno(errno, Operation::Other);
        if (position) *position = static_cast<ULONGLONG>(at);
        return ERROR_SUCCESS;
    }

    DWORD size(ULONGLONG* bytes) override {
        struct stat st;
        const DWORD rc = Stat(&st);
        if (rc == ERROR_SUCCESS && bytes) *bytes = static_cast<ULONGLONG>(st.st_size);
        return rc;
    }

    DWORD flush() override { return ERROR_SUCCESS; }

    DWORD information(BY_HANDLE_FILE_INFORMATION* info) override {
        struct stat st;
        const DWORD rc = Stat(&st);
        if (rc != ERROR_SUCCESS || !info) return rc;
        *info = BY_HANDLE_FILE_INFORMATION{};
        info->dwFileAttributes = AttributesOf(st.st_mode);
        info->ftCreationTime = ToFileTime(st.st_ctim);
        info->ftLastAccessTime = ToFileTime(st.st_atim);
        info->ftLastWriteTime = ToFileTime(st.st_mtim);
        info->nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
        info->nFileSizeLow = static_cast<DWORD>(st.st_size);
        info->nNumberOfLinks = 1;
        info->nFileIndexHigh = static_cast<DWORD>(st.st_ino >> 32);
        info->nFileIndexLow = static_cast<DWORD>(st.st_ino);
        return ERROR_SUCCESS;
    }

private:
    DWORD Stat(struct stat* st) {
        std::lock_guard<std::mutex> lock(g_lock);
        SMBCCTX* c = Context();
        if (smbc_getFunctionFstat(c)(c, m_file, st) < 0) return Win32FromErrno(errno, Operation::Other);
        return ERROR_SUCCESS;
    }

    SMBCFILE* m_file;
    std::string m_url;
};

class Listing final : public UncDirectoryListing {
public:
    explicit Listing(std::vector<WIN32_FIND_DATAW> entries) : m_entries(std::move(entries)) {}
    DWORD next(WIN32_FIND_DATAW* entry) override {
        if (m_next >= m_entries.size()) return ERROR_NO_MORE_FILES;
        *entry = m_entries[m_next++];
        return ERROR_SUCCESS;
    }

private:
    std::vector<WIN32_FIND_DATAW> m_entries;
    size_t m_next = 0;
};

class SmbFileSystem final : public UncFileSystem {
public:
    DWORD createDirectory(std::u16string_view path) override {
        Url url;
        SMBCCTX* c = nullptr;
        std::unique_lock<std::mutex> lock;
        if (DWORD rc = Prepare(path, &url, &c, &lock)) return rc;
        if (url.shareRoot) return ERROR_ALREADY_EXISTS;
        if (smbc_getFunctionMkdir(c)(c, url.text.c_str(), 0755) < 0) return Failure(errno, Operation::CreateDirectory, url);
        return ERROR_SUCCESS;
    }

    DWORD removeDirectory(std::u16string_view path) override {
        Url url;
        SMBCCTX* c = nullptr;
        std::unique_lock<std::mutex> lock;
        if (DWORD rc = Prepare(path, &url, &c, &lock)) return rc;
        if (smbc_getFunctionRmdir(c)(c, url.text.c_str()) < 0) return Failure(errno, Operation::Other, url);
        return ERROR_SUCCESS;
    }

    DWORD openFile(std::u16string_view path, DWORD access, DWORD, DWORD disposition, DWORD,
                   std::shared_ptr<FileObject>* file) override {
        Url url;
        SMBCCTX* c = nullptr;
        std::unique_lock<std::mutex> lock;
        if (DWORD rc = Prepare(path, &url, &c, &lock)) return rc;
        const bool reading = access & (GENERIC_READ | GENERIC_ALL | 0x0001u);  // FILE_READ_DATA
        const bool writing = access & (GENERIC_WRITE | GENERIC_ALL | 0x0002u | 0x0004u);  // FILE_WRITE_DATA, APPEND
        int flags = reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
        switch (disposition) {
            case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
            case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
            case OPEN_ALWAYS: flags |= O_CREAT; break;
            case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
            case OPEN_EXISTING: break;
            default: return ERROR_INVALID_PARAMETER;
        }
        SMBCFILE* handle = smbc_getFunctionOpen(c)(c, url.text.c_str(), flags, 0644);
        if (!handle) return Failure(errno, (flags & O_CREAT) ? Operation::Create : Operation::Open, url);
        lock.unlock();
        *file = std::make_shared<SmbFile>(handle, url.text);
        return ERROR_SUCCESS;
    }

    DWORD deleteFile(std::u16string_view path) override {
        Url url;
        SMBCCTX* c = nullptr;
        std::unique_lock<std::mutex> lock;
        if (DWORD rc = Prepare(path, &url, &c, &lock)) return rc;
        if (smbc_getFunctionUnlink(c)(c, url.text.c_str()) < 0) return Failure(errno, Operation::Other, url);
        return ERROR_SUCCESS;
    }

    DWORD getAttributes(std::u16string_view path, DWORD* attributes) override {
        Url url;
        SMBCCTX* c = nullptr;
        std::unique_lock<std::mutex> lock;
        if (DWORD rc = Prepare(path, &url, &c, &lock)) return rc;
        struct stat st;
        if (smbc_getFunctionStat(c)(c, url.text.c_str(), &st) < 0) {
            const int error = errno;
            const DWORD rc = Failure(error, Operation::Other, url);
            return url.shareRoot && rc == ERROR_FILE_NOT_FOUND ? static_cast<DWORD>(ERROR_BAD_NET_NAME) : rc;
        }
        *attributes = AttributesOf(st.st_mode);
        return ERROR_SUCCESS;
    }

    DWORD ownerSid(std::u16string_view path, std::u16string* sid) override {
        Url url;
        SMBCCTX* c = nullptr;
        std::unique_lock<std::mutex> lock;
        if (DWORD rc = Prepare(path, &url, &c, &lock)) return rc;
        // The library answers in the server's SID text form when the name is not asked for
        // ("+" variant: names, which another server may spell differently).
        char value[256] = {};
        if (smbc_getFunctionGetxattr(c)(c, url.text.c_str(), "system.nt_sec_desc.owner", value, sizeof value - 1) < 0)
            return Failure(errno, Operation::Other, url);
        std::string text(value);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\0')) text.pop_back();
        // Some versions answer "OWNER:S-1-...".
        if (size_t colon = text.find(':'); colon != std::string::npos && text.compare(0, 2, "S-") != 0)
            text = text.substr(colon + 1);
        if (text.compare(0, 2, "S-") != 0) return ERROR_INVALID_SID;
        *sid = FromUtf8(text);
        return ERROR_SUCCESS;
    }

    DWORD listDirectory(std::u16string_view directory, std::unique_ptr<UncDirectoryListing>* listing) override {
        Url url;
        SMBCCTX* c = nullptr;
        std::unique_lock<std::mutex> lock;
        if (DWORD rc = Prepare(directory, &url, &c, &lock)) return rc;
        SMBCFILE* dir = smbc_getFunctionOpendir(c)(c, url.text.c_str());
        if (!dir) {
            const DWORD rc = Failure(errno, Operation::Other, url);
            return rc == ERROR_FILE_NOT_FOUND ? static_cast<DWORD>(ERROR_PATH_NOT_FOUND) : rc;
        }
        std::vector<WIN32_FIND_DATAW> entries;
        while (const libsmb_file_info* info = smbc_getFunctionReaddirPlus(c)(c, dir)) {
            if (!info->name) continue;
            WIN32_FIND_DATAW entry{};
            entry.dwFileAttributes = info->attrs ? info->attrs : FILE_ATTRIBUTE_NORMAL;
            entry.ftCreationTime = ToFileTime(info->btime_ts);
            entry.ftLastAccessTime = ToFileTime(info->atime_ts);
            entry.ftLastWriteTime = ToFileTime(info->mtime_ts);
            entry.nFileSizeHigh = static_cast<DWORD>(info->size >> 32);
            entry.nFileSizeLow = static_cast<DWORD>(info->size);
            const std::u16string name = FromUtf8(info->name);
            if (name.size() >= MAX_PATH) continue;
            std::memcpy(entry.cFileName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
            entries.push_back(entry);
        }
        smbc_getFunctionClosedir(c)(c, dir);
        *listing = std::make_unique<Listing>(std::move(entries));
        return ERROR_SUCCESS;
    }

    DWORD rename(std::u16string_view from, std::u16string_view to, bool replaceExisting) override {
        Url source, target;
        if (!MakeUrl(to, &target)) return ERROR_BAD_NETPATH;
        SMBCCTX* c = nullptr;
        std::unique_lock<std::mutex> lock;
        if (DWORD rc = Prepare(from, &source, &c, &lock)) return rc;
        if (source.server != target.server || source.share != target.share) return ERROR_NOT_SAME_DEVICE;
        if (!replaceExisting) {
            struct stat st;
            if (smbc_getFunctionStat(c)(c, target.text.c_str(), &st) == 0) return ERROR_ALREADY_EXISTS;
        }
        if (smbc_getFunctionRename(c)(c, source.text.c_str(), c, target.text.c_str()) < 0)
            return Failure(errno, Operation::Other, source);
        return ERROR_SUCCESS;
    }
};

// The file functions hand UNC paths here from the moment the library is loaded.
const bool g_registered = [] {
    RegisterUncFileSystem(std::make_shared<SmbFileSystem>());
    return true;
}();

}  // namespace
}  // namespace lumivel::smb
