// Registry hives on SQLite (see hive.h).
#include "hive.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "../base/calendar.h"
#include "lumivel/errno_map.h"
#include "lumivel/temporary_file.h"
#include "lumivel/wide_string.h"
#include "sqlite_errors.h"
#include "win/winerror.h"

namespace lumivel {
namespace {

// "LMVR": marks a file as a hive of this registry.
constexpr int kApplicationId = 0x4C4D5652;
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 30000;
// After a checkpoint the log is cut back to this size, so that it does not keep the space of
// one large change for ever.
constexpr int kJournalSizeLimit = 1 << 20;
// Free pages worth giving back to the file system after a deletion.
constexpr int kFreePagesWorthReleasing = 16;

constexpr const char* kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name BLOB NOT NULL,"
    " fold BLOB NOT NULL, written INTEGER NOT NULL, UNIQUE(parent, fold));"
    "CREATE TABLE vals(seq INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL, name BLOB NOT NULL,"
    " fold BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold));"
    "CREATE INDEX keys_by_parent ON keys(parent, id);"
    "INSERT INTO keys(id, parent, name, fold, written) VALUES(1, 0, x'', x'', 0);";

int64_t NowTicks() {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return (int64_t(ts.tv_sec) + kFileTimeEpochSeconds) * kTicksPerSecond + ts.tv_nsec / 100;
}

// A prepared statement that finalises itself. A value that cannot be bound (too big for the
// hive) fails the step with the bind's own result, rather than running with the value unset.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { m_result = sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr); }
    ~Statement() { sqlite3_finalize(m_statement); }
    int prepared() const { return m_result; }
    Statement& bind(int index, int64_t value) { return check(sqlite3_bind_int64(m_statement, index, value)); }
    Statement& bind(int index, std::u16string_view text) {
        return check(sqlite3_bind_blob64(m_statement, index, text.empty() ? "" : static_cast<const void*>(text.data()),
                                         text.size() * sizeof(char16_t), SQLITE_TRANSIENT));
    }
    Statement& bind(int index, const BYTE* data, size_t size) {
        return check(
            sqlite3_bind_blob64(m_statement, index, size ? static_cast<const void*>(data) : "", size, SQLITE_TRANSIENT));
    }
    int step() { return m_result == SQLITE_OK ? sqlite3_step(m_statement) : m_result; }
    int64_t integer(int column) { return sqlite3_column_int64(m_statement, column); }
    std::u16string text(int column) {
        auto* data = static_cast<const char16_t*>(sqlite3_column_blob(m_statement, column));
        int bytes = sqlite3_column_bytes(m_statement, column);
        return data ? std::u16string(data, static_cast<size_t>(bytes) / sizeof(char16_t)) : std::u16string();
    }
    std::vector<BYTE> blob(int column) {
        auto* data = static_cast<const BYTE*>(sqlite3_column_blob(m_statement, column));
        int bytes = sqlite3_column_bytes(m_statement, column);
        return data ? std::vector<BYTE>(data, data + bytes) : std::vector<BYTE>();
    }

private:
    Statement& check(int result) {
        if (m_result == SQLITE_OK && result != SQLITE_OK) m_result = result;
        return *this;
    }

    sqlite3_stmt* m_statement = nullptr;
    int m_result;
};

// The first column of the first row as text; *result is the step's result code.
std::string FirstText(sqlite3* db, const char* sql, int* result) {
    sqlite3_stmt* statement = nullptr;
    *result = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    std::string text;
    if (*result == SQLITE_OK) {
        *result = sqlite3_step(statement);
        if (*result == SQLITE_ROW) {
            const unsigned char* value = sqlite3_column_text(statement, 0);
            if (value) text = reinterpret_cast<const char*>(value);
        }
    }
    sqlite3_finalize(statement);
    return text;
}

DWORD StepError(int result) { return (result == SQLITE_DONE || result == SQLITE_ROW) ? ERROR_SUCCESS : Win32ErrorFromSqlite(result); }

std::u16string Folded(std::u16string_view name) { return FoldCase(name); }

// Splits "a\b\c", ignoring empty parts from doubled or trailing separators.
std::vector<std::u16string_view> Components(std::u16string_view path) {
    std::vector<std::u16string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string DefaultMachineHive() { return "/var/lib/lumivel/machine.hive"; }

std::string HomeFromPasswordDatabase() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    return found && found->pw_dir && *found->pw_dir == '/' ? std::string(found->pw_dir) : std::string();
}

// Without either variable (a service, cron, the scheduler) the home folder comes from the
// password database: a shared fallback such as /tmp would let any user make the hive first.
std::string DefaultUserHive() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') return std::string(config) + "/lumivel/user.hive";
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.config/lumivel/user.hive";
    std::string passwordHome = HomeFromPasswordDatabase();
    return passwordHome.empty() ? std::string() : passwordHome + "/.config/lumivel/user.hive";
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Why another user could have made or changed the file or folder; empty when nobody could. A
// folder writable by the user's own group is accepted, as a umask of 002 makes them.
std::string UntrustedBecause(const struct stat& st, const char* what) {
    if (st.st_uid != ::geteuid()) return std::string(what) + " belongs to user " + std::to_string(st.st_uid);
    if (st.st_mode & S_IWOTH) return std::string(what) + " may be written by every user";
    if ((st.st_mode & S_IWGRP) && st.st_gid != ::getegid())
        return std::string(what) + " may be written by group " + std::to_string(st.st_gid);
    return {};
}

void ReportRefusedHive(const std::string& path, const std::string& reason) {
    static std::mutex mutex;
    static std::set<std::string> reported;
    std::lock_guard lock(mutex);
    if (!reported.insert(path + "\n" + reason).second) return;
    std::fprintf(stderr, "lumivel: the registry hive %s is not used: %s\n", path.c_str(), reason.c_str());
    ::syslog(LOG_AUTH | LOG_WARNING, "the registry hive %s is not used: %s", path.c_str(), reason.c_str());
}

// The hive file is created when missing, so a path that cannot be found is its folder's.
DWORD HiveFileError(DWORD error) { return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error; }

std::string FromEnvironment(const char* name, std::string (*fallback)()) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback();
}

DWORD MakeDirectories(const std::string& dir, mode_t mode) {
    if (dir.empty() || dir == "/" || dir == ".") return ERROR_SUCCESS;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
    size_t slash = dir.rfind('/');
    if (slash != std::string::npos && slash > 0)
        if (DWORD e = MakeDirectories(dir.substr(0, slash), mode)) return e;
    if (::mkdir(dir.c_str(), mode) != 0 && errno != EEXIST) return Win32ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

// A database file holds whole pages: a file cut short anywhere but at a page boundary is
// caught here, before SQLite could read the missing part as zeros.
// A hive without any write permission bit is read-only for everyone, root too, as a file
// marked read-only is on Windows.
bool MayWrite(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) && ::access(path.c_str(), W_OK) == 0;
}

DWORD CheckFileShape(const std::string& path, off_t size) {
    constexpr char kMagic[] = "SQLite format 3";
    unsigned char header[100];
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Win32ErrorFromErrno(errno);
    ssize_t got = ::pread(fd, header, sizeof(header), 0);
    ::close(fd);
    if (got != static_cast<ssize_t>(sizeof(header)) || std::memcmp(header, kMagic, sizeof(kMagic)) != 0)
        return ERROR_BADDB;
    unsigned pageSize = (unsigned(header[16]) << 8) | header[17];
    if (pageSize == 1) pageSize = 65536;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) return ERROR_BADDB;
    return size % pageSize == 0 ? ERROR_SUCCESS : ERROR_BADDB;
}

// The marker, the schema and a quick integrity check, which also catches a truncated file.
DWORD CheckContents(sqlite3* db) {
    int result = SQLITE_OK;
    std::string marker = FirstText(db, "PRAGMA application_id", &result);
    if (result != SQLITE_ROW) return (result & 0xFF) == SQLITE_BUSY ? ERROR_BUSY : ERROR_BADDB;
    if (marker != std::to_string(kApplicationId)) return ERROR_BADDB;
    std::string verdict = FirstText(db, "PRAGMA quick_check", &result);
    if (result != SQLITE_ROW) return (result & 0xFF) == SQLITE_BUSY ? ERROR_BUSY : ERROR_BADDB;
    if (verdict != "ok") return ERROR_BADDB;
    std::string tables = FirstText(db, "SELECT count(*) FROM sqlite_master WHERE name IN ('keys','vals')", &result);
    return result == SQLITE_ROW && tables == "2" ? ERROR_SUCCESS : ERROR_BADDB;
}

// Why the user hive at `path` may not be used by this process, as checkOwner decides, without
// making anything; empty when it may.
std::string UserHiveDistrust(const std::string& path) {
    struct stat st {};
    if (::stat(FolderOf(path).c_str(), &st) != 0) return {};
    std::string reason = UntrustedBecause(st, "its folder");
    if (reason.empty() && ::stat(path.c_str(), &st) == 0) reason = UntrustedBecause(st, "the file");
    return reason;
}

}  // namespace

Hive::~Hive() {
    if (m_db) sqlite3_close_v2(m_db);
}

std::string Hive::path() { return m_pathSource(); }

DWORD Hive::exec(const char* sql) {
    int r = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return r == SQLITE_OK ? ERROR_SUCCESS : Win32ErrorFromSqlite(r);
}

// A new hive is built under a temporary name and moved into place, so that no process ever
// sees a half-made file and an existing file is never replaced.
DWORD Hive::createFile(const std::string& path) {
    bool machine = path == DefaultMachineHive();
    if (DWORD e = MakeDirectories(FolderOf(path), machine ? 0755 : 0700)) return e;
    ExclusiveTemporaryFile temporary;
    if (DWORD e = temporary.createBeside(path, machine ? 0644 : 0600)) return e;
    sqlite3* db = nullptr;
    int r = sqlite3_open_v2(temporary.path().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    // Incremental vacuum must be chosen before the first table exists.
    std::string setup = std::string("PRAGMA auto_vacuum=INCREMENTAL;PRAGMA application_id=") +
                        std::to_string(kApplicationId) + ";PRAGMA user_version=" + std::to_string(kSchemaVersion) +
                        ";BEGIN;" + kSchema + "COMMIT;PRAGMA journal_mode=WAL;";
    if (r == SQLITE_OK) r = sqlite3_exec(db, setup.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    if (r != SQLITE_OK) return Win32ErrorFromSqlite(r);
    DWORD error = temporary.commit(path, ExistingFile::Keep);
    return error == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : error;
}

DWORD Hive::checkOwner(const std::string& path) {
    std::string folder = FolderOf(path);
    DWORD made = MakeDirectories(folder, 0700);
    // A user without a home to write (a service account) has no hive: it reads as empty, as
    // a machine hive that cannot be made does.
    if (made == ERROR_ACCESS_DENIED || made == ERROR_WRITE_PROTECT) return ERROR_SUCCESS;
    if (made) return HiveFileError(made);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return HiveFileError(Win32ErrorFromErrno(errno));
    std::string reason = UserHiveDistrust(path);
    if (reason.empty()) return ERROR_SUCCESS;
    ReportRefusedHive(path, reason);
    return ERROR_ACCESS_DENIED;
}

// An empty hive in memory that refuses writes.
DWORD Hive::openAbsent(const std::string& path) {
    sqlite3* db = nullptr;
    int r = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (r == SQLITE_OK) r = sqlite3_exec(db, (std::string("BEGIN;") + kSchema + "COMMIT;").c_str(), nullptr, nullptr, nullptr);
    if (r != SQLITE_OK) {
        sqlite3_close_v2(db);
        return Win32ErrorFromSqlite(r);
    }
    m_db = db;
    m_openPath = path;
    m_readOnly = true;
    m_absent = true;
    return ERROR_SUCCESS;
}

DWORD Hive::open() {
    std::string path = m_pathSource();
    if (path.empty()) return ERROR_PATH_NOT_FOUND;  // no home folder to keep a user hive in
    struct stat st {};
    if (m_db && path == m_openPath) {
        // An absent hive is looked for again, so that one installed meanwhile is used.
        if (!m_absent || ::stat(path.c_str(), &st) != 0) return ERROR_SUCCESS;
    }
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        m_absent = false;
    }
    if (m_owner == HiveOwner::CurrentUser)
        if (DWORD e = checkOwner(path)) return e;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return HiveFileError(Win32ErrorFromErrno(errno));
        DWORD e = createFile(path);
        if (e == ERROR_ACCESS_DENIED || e == ERROR_WRITE_PROTECT) return openAbsent(path);
        if (e) return HiveFileError(e);
        if (::stat(path.c_str(), &st) != 0) return HiveFileError(Win32ErrorFromErrno(errno));
    }
    if (!S_ISREG(st.st_mode)) return ERROR_BADDB;
    m_readOnly = !MayWrite(path);
    if (::access(path.c_str(), R_OK) != 0) return ERROR_ACCESS_DENIED;
    // An empty or shortened file is damage, never a hive to start afresh.
    if (DWORD e = CheckFileShape(path, st.st_size)) return e;
    sqlite3* db = nullptr;
    int flags = (m_readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_FULLMUTEX;
    int r = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (r != SQLITE_OK) {
        sqlite3_close_v2(db);
        return Win32ErrorFromSqlite(r);
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 0);
    if (!m_readOnly) {
        // Keep the -wal and -shm files after closing, so that readers without write access
        // to the directory can still open the hive.
        int persist = 1;
        sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    }
    // Check the file before anything is written to it.
    DWORD error = CheckContents(db);
    if (error == ERROR_SUCCESS && !m_readOnly) {
        std::string pragmas = "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA journal_size_limit=" +
                              std::to_string(kJournalSizeLimit) + ";";
        int w = sqlite3_exec(db, pragmas.c_str(), nullptr, nullptr, nullptr);
        if (w != SQLITE_OK && (w & 0xFF) != SQLITE_BUSY) error = Win32ErrorFromSqlite(w);
    }
    if (error != ERROR_SUCCESS) {
        sqlite3_close_v2(db);
        return error;
    }
    m_db = db;
    m_openPath = path;
    return ERROR_SUCCESS;
}

// The file's permission is looked at again for every write, so that a hive made read-only
// while this process runs is not written through an old descriptor.
DWORD Hive::beginWrite() {
    if (DWORD e = open()) return e;
    if (m_readOnly || !MayWrite(m_openPath)) return ERROR_ACCESS_DENIED;
    return exec("BEGIN IMMEDIATE");
}

DWORD Hive::commit() {
    DWORD e = exec("COMMIT");
    if (e != ERROR_SUCCESS) rollback();
    else ++m_localChanges;
    return e;
}

void Hive::rollback() { sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr); }

DWORD Hive::touch(int64_t key) {
    Statement s(m_db, "UPDATE keys SET written=? WHERE id=?");
    s.bind(1, NowTicks()).bind(2, key);
    return StepError(s.step());
}

DWORD Hive::finish(DWORD error) {
    if (error == ERROR_SUCCESS) return commit();
    rollback();
    return error;
}

DWORD Hive::checkKey(int64_t key) {
    Statement s(m_db, "SELECT 1 FROM keys WHERE id=?");
    s.bind(1, key);
    int r = s.step();
    if (r == SQLITE_ROW) return ERROR_SUCCESS;
    return r == SQLITE_DONE ? ERROR_KEY_DELETED : Win32ErrorFromSqlite(r);
}

// The number of keys from the root down to this one; more than kMaxKeyDepth (SIZE_MAX) when
// the chain of parents is longer than that, or never reaches the root of a damaged hive.
DWORD Hive::depthOf(int64_t key, size_t* depth) {
    Statement s(m_db,
                "WITH RECURSIVE up(id, n) AS (SELECT ?, 0 UNION ALL SELECT k.parent, up.n + 1 FROM keys k "
                "JOIN up ON k.id = up.id WHERE up.id <> 1 AND up.n <= ?) SELECT n FROM up WHERE id = 1");
    s.bind(1, key).bind(2, static_cast<int64_t>(kMaxKeyDepth));
    int r = s.step();
    if (r == SQLITE_ROW) {
        *depth = static_cast<size_t>(s.integer(0));
        return ERROR_SUCCESS;
    }
    if (r != SQLITE_DONE) return Win32ErrorFromSqlite(r);
    *depth = SIZE_MAX;
    return ERROR_SUCCESS;
}

DWORD Hive::keyExists(int64_t key) {
    std::lock_guard lock(m_mutex);
    if (DWORD e = open()) return e;
    return checkKey(key);
}

DWORD Hive::findChild(int64_t parent, std::u16string_view name, int64_t* child) {
    std::lock_guard lock(m_mutex);
    if (DWORD e = open()) return e;
    Statement s(m_db, "SELECT id FROM keys WHERE parent=? AND fold=?");
    s.bind(1, parent).bind(2, Folded(name));
    int r = s.step();
    if (r == SQLITE_ROW) {
        *child = s.integer(0);
        return ERROR_SUCCESS;
    }
    if (r != SQLITE_DONE) return Win32ErrorFromSqlite(r);
    DWORD e = checkKey(parent);
    return e == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : e;
}

DWORD Hive::findPath(int64_t from, std::u16string_view path, int64_t* key) {
    std::lock_guard lock(m_mutex);
    if (DWORD e = open()) return e;
    int64_t current = from;
    if (DWORD e = checkKey(current)) return e;
    for (auto part : Components(path)) {
        if (DWORD e = findChild(current, part, &current)) return e;
    }
    *key = current;
    return ERROR_SUCCESS;
}

DWORD Hive::createPath(int64_t from, std::u16string_view path, int64_t* key, bool* created) {
    std::lock_guard lock(m_mutex);
    *created = false;
    // Opening what exists needs no write transaction (and works on a read-only hive).
    DWORD found = findPath(from, path, key);
    if (found != ERROR_FILE_NOT_FOUND) return found;
    if (DWORD e = beginWrite()) return e;
    int64_t current = from;
    DWORD error = checkKey(current);
    int64_t now = NowTicks();
    std::vector<std::u16string_view> parts = Components(path);
    size_t depth = 0;
    if (error == ERROR_SUCCESS) error = depthOf(from, &depth);
    if (error == ERROR_SUCCESS && (depth > kMaxKeyDepth || parts.size() > kMaxKeyDepth - depth))
        error = ERROR_INVALID_PARAMETER;
    for (auto part : parts) {
        if (error != ERROR_SUCCESS) break;
        Statement find(m_db, "SELECT id FROM keys WHERE parent=? AND fold=?");
        find.bind(1, current).bind(2, Folded(part));
        int r = find.step();
        if (r == SQLITE_ROW) {
            current = find.integer(0);
            continue;
        }
        if (r != SQLITE_DONE) {
            error = Win32ErrorFromSqlite(r);
            break;
        }
        Statement insert(m_db, "INSERT INTO keys(parent, name, fold, written) VALUES(?,?,?,?)");
        insert.bind(1, current).bind(2, part).bind(3, Folded(part)).bind(4, now);
        error = StepError(insert.step());
        if (error == ERROR_SUCCESS) error = touch(current);
        current = sqlite3_last_insert_rowid(m_db);
        *created = true;
    }
    if (error != ERROR_SUCCESS) {
        rollback();
        *created = false;
        return error;
    }
    if (DWORD e = commit()) {
        *created = false;
        return e;
    }
    *key = current;
    return ERROR_SUCCESS;
}

DWORD Hive::listSubkeys(int64_t key, std::vector<HiveSubkey>* subkeys) {
    std::lock_guard lock(m_mutex);
    if (DWORD e = open()) return e;
    if (DWORD e = checkKey(key)) return e;
    subkeys->clear();
    // A damaged hive may make a key its own parent; it is never its own subkey.
    Statement s(m_db, "SELECT name, written FROM keys WHERE parent=? AND id<>? ORDER BY id");
    s.bind(1, key).bind(2, key);
    int r;
    while ((r = s.step()) == SQLITE_ROW) subkeys->push_back({s.text(0), s.integer(1)});
    return StepError(r);
}

DWORD Hive::listValues(int64_t key, std::vector<HiveValue>* values) {
    std::lock_guard lock(m_mutex);
    if (DWORD e = open()) return e;
    if (DWORD e = checkKey(key)) return e;
    values->clear();
    Statement s(m_db, "SELECT name, type, data FROM vals WHERE key=? ORDER BY seq");
    s.bind(1, key);
    int r;
    while ((r = s.step()) == SQLITE_ROW)
        values->push_back({s.text(0), static_cast<DWORD>(s.integer(1)), s.blob(2)});
    return StepError(r);
}

DWORD Hive::getValue(int64_t key, std::u16string_view name, HiveValue* value) {
    std::lock_guard lock(m_mutex);
    if (DWORD e = open()) return e;
    Statement s(m_db, "SELECT name, type, data FROM vals WHERE key=? AND fold=?");
    s.bind(1, key).bind(2, Folded(name));
    int r = s.step();
    if (r == SQLITE_ROW) {
        *value = {s.text(0), static_cast<DWORD>(s.integer(1)), s.blob(2)};
        return ERROR_SUCCESS;
    }
    if (r != SQLITE_DONE) return Win32ErrorFromSqlite(r);
    DWORD e = checkKey(key);
    return e == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : e;
}

DWORD Hive::setValue(int64_t key, std::u16string_view name, DWORD type, const BYTE* data, size_t size) {
    std::lock_guard lock(m_mutex);
    if (DWORD e = beginWrite()) return e;
    DWORD error = checkKey(key);
    if (error == ERROR_SUCCESS) {
        // An existing value keeps its place in the enumeration order and its spelling.
        Statement s(m_db,
                    "INSERT INTO vals(key, name, fold, type, data) VALUES(?,?,?,?,?) "
                    "ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type, data=excluded.data");
        s.bind(1, key).bind(2, name).bind(3, Folded(name)).bind(4, int64_t(type)).bind(5, data, size);
        error = StepError(s.step());
    }
    if (error == ERROR_SUCCESS) error = touch(key);
    return finish(error);
}

DWORD Hive::deleteValue(int64_t key, std::u16string_view name) {
    std::lock_guard lock(m_mutex);
    if (DWORD e = beginWrite()) return e;
    DWORD error = checkKey(key);
    if (error == ERROR_SUCCESS) {
        Statement s(m_db, "DELETE FROM vals WHERE key=? AND fold=?");
        s.bind(1, key).bind(2, Folded(name));
        error = StepError(s.step());
        if (error == ERROR_SUCCESS && sqlite3_changes(m_db) == 0) error = ERROR_FILE_NOT_FOUND;
    }
    if (error == ERROR_SUCCESS) error = touch(key);
    error = finish(error);
    if (error == ERROR_SUCCESS) releaseFreePages();
    return error;
}

DWORD Hive::deleteKey(int64_t key, bool tree) {
    std::lock_guard lock(m_mutex);
    if (key == kRoot) return ERROR_ACCESS_DENIED;
    if (DWORD e = beginWrite()) return e;
    DWORD error = checkKey(key);
    int64_t parent = 0;
    if (error == ERROR_SUCCESS) {
        Statement p(m_db, "SELECT parent FROM keys WHERE id=?");
        p.bind(1, key);
        if (p.step() == SQLITE_ROW) parent = p.integer(0);
    }
    if (error == ERROR_SUCCESS && !tree) {
        Statement children(m_db, "SELECT 1 FROM keys WHERE parent=? LIMIT 1");
        children.bind(1, key);
        int r = children.step();
        if (r == SQLITE_ROW) error = ERROR_ACCESS_DENIED;
        else if (r != SQLITE_DONE) error = Win32ErrorFromSqlite(r);
    }
    if (error == ERROR_SUCCESS) {
        // The tree's ids, breadth first, then its values and keys in one statement each. UNION,
        // not UNION ALL: keys whose parents form a loop in a damaged hive end the walk.
        error = exec("CREATE TEMP TABLE IF NOT EXISTS doomed(id INTEGER PRIMARY KEY); DELETE FROM doomed;");
        if (error == ERROR_SUCCESS) {
            Statement seed(m_db,
                           "WITH RECURSIVE t(id) AS (SELECT ? UNION SELECT k.id FROM keys k JOIN t ON k.parent=t.id) "
                           "INSERT INTO doomed SELECT id FROM t");
            seed.bind(1, key);
            error = StepError(seed.step());
        }
        if (error == ERROR_SUCCESS) error = exec("DELETE FROM vals WHERE key IN (SELECT id FROM doomed)");
        if (error == ERROR_SUCCESS) error = exec("DELETE FROM keys WHERE id IN (SELECT id FROM doomed)");
        if (error == ERROR_SUCCESS) error = exec("DELETE FROM doomed");
    }
    if (error == ERROR_SUCCESS && parent) error = touch(parent);
    error = finish(error);
    if (error == ERROR_SUCCESS) releaseFreePages();
    return error;
}

// Deleted keys and values leave free pages in the file; they go back to the file system, so
// that a hive shrinks again after large deletions. A hive made before incremental vacuum is
// converted by one full vacuum once it holds many free pages. Failures (a busy hive) only
// postpone this to a later deletion.
void Hive::releaseFreePages() {
    int result = SQLITE_OK;
    long long freePages = std::atoll(FirstText(m_db, "PRAGMA freelist_count", &result).c_str());
    if (result != SQLITE_ROW || freePages < kFreePagesWorthReleasing) return;
    if (FirstText(m_db, "PRAGMA auto_vacuum", &result) == "2") {
        sqlite3_exec(m_db, "PRAGMA incremental_vacuum", nullptr, nullptr, nullptr);
    } else {
        long long pages = std::atoll(FirstText(m_db, "PRAGMA page_count", &result).c_str());
        if (freePages * 4 < pages) return;
        sqlite3_exec(m_db, "PRAGMA auto_vacuum=INCREMENTAL; VACUUM", nullptr, nullptr, nullptr);
    }
    sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

DWORD Hive::info(int64_t key, HiveKeyInfo* info) {
    std::lock_guard lock(m_mutex);
    if (DWORD e = open()) return e;
    *info = HiveKeyInfo{};
    {
        Statement s(m_db, "SELECT written FROM keys WHERE id=?");
        s.bind(1, key);
        int r = s.step();
        if (r != SQLITE_ROW) return r == SQLITE_DONE ? ERROR_KEY_DELETED : Win32ErrorFromSqlite(r);
        info->lastWrite = s.integer(0);
    }
    Statement k(m_db, "SELECT count(*), coalesce(max(length(name)), 0) FROM keys WHERE parent=?");
    k.bind(1, key);
    int r = k.step();
    if (r != SQLITE_ROW) return Win32ErrorFromSqlite(r);
    info->subkeys = static_cast<DWORD>(k.integer(0));
    info->maxSubkeyLength = static_cast<DWORD>(k.integer(1) / 2);
    Statement v(m_db, "SELECT count(*), coalesce(max(length(name)), 0), coalesce(max(length(data)), 0) FROM vals WHERE key=?");
    v.bind(1, key);
    r = v.step();
    if (r != SQLITE_ROW) return Win32ErrorFromSqlite(r);
    info->values = static_cast<DWORD>(v.integer(0));
    info->maxValueNameLength = static_cast<DWORD>(v.integer(1) / 2);
    info->maxValueLength = static_cast<DWORD>(v.integer(2));
    return ERROR_SUCCESS;
}

DWORD Hive::flush() {
    std::lock_guard lock(m_mutex);
    if (DWORD e = open()) return e;
    if (m_readOnly) return ERROR_SUCCESS;
    int r = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return r == SQLITE_OK || (r & 0xFF) == SQLITE_BUSY ? ERROR_SUCCESS : Win32ErrorFromSqlite(r);
}

uint64_t Hive::version() {
    std::lock_guard lock(m_mutex);
    if (open() != ERROR_SUCCESS) return ~0ull;
    int result = SQLITE_OK;
    std::string version = FirstText(m_db, "PRAGMA data_version", &result);
    return (std::strtoull(version.c_str(), nullptr, 10) << 32) + m_localChanges;
}

DWORD Hive::writable(bool* canWrite) {
    std::lock_guard lock(m_mutex);
    if (DWORD e = open()) return e;
    *canWrite = !m_readOnly && MayWrite(m_openPath);
    return ERROR_SUCCESS;
}

namespace {
std::string Absolute(std::string path) {
    if (path.empty() || path.front() == '/') return path;
    char* cwd = ::getcwd(nullptr, 0);
    std::string absolute = cwd ? std::string(cwd) + "/" + path : path;
    std::free(cwd);
    return absolute;
}
}  // namespace

DWORD SnapshotHive(const std::string& source, HiveOwner owner, const std::string& target) {
    struct stat st {};
    if (::lstat(source.c_str(), &st) != 0) return Win32ErrorFromErrno(errno);
    if (S_ISLNK(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (!S_ISREG(st.st_mode)) return ERROR_BADDB;
    if (owner == HiveOwner::CurrentUser) {
        if (std::string reason = UserHiveDistrust(source); !reason.empty()) {
            ReportRefusedHive(source, reason);
            return ERROR_ACCESS_DENIED;
        }
    }
    if (DWORD e = CheckFileShape(source, st.st_size)) return e;
    int made = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (made < 0) return Win32ErrorFromErrno(errno);
    ::close(made);
    sqlite3* from = nullptr;
    sqlite3* to = nullptr;
    int r = sqlite3_open_v2(source.c_str(), &from, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (r == SQLITE_OK) sqlite3_busy_timeout(from, kBusyTimeoutMs);
    DWORD error = r == SQLITE_OK ? CheckContents(from) : Win32ErrorFromSqlite(r);
    if (error == ERROR_SUCCESS) {
        r = sqlite3_open_v2(target.c_str(), &to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
        // One step copies the whole hive inside one read transaction: a consistent moment.
        sqlite3_backup* copy = r == SQLITE_OK ? sqlite3_backup_init(to, "main", from, "main") : nullptr;
        if (copy) {
            r = sqlite3_backup_step(copy, -1);
            int finished = sqlite3_backup_finish(copy);
            r = r == SQLITE_DONE ? finished : r;
        } else if (r == SQLITE_OK) {
            r = sqlite3_errcode(to);
        }
        // A reader without write access needs no -shm file beside a rollback-journal database.
        if (r == SQLITE_OK) r = sqlite3_exec(to, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
        if (r != SQLITE_OK) error = (r & 0xFF) == SQLITE_BUSY ? ERROR_BUSY : Win32ErrorFromSqlite(r);
    }
    sqlite3_close_v2(to);
    sqlite3_close_v2(from);
    if (error == ERROR_SUCCESS && ::chmod(target.c_str(), 0400) != 0) error = Win32ErrorFromErrno(errno);
    if (error != ERROR_SUCCESS) ::unlink(target.c_str());
    return error;
}

std::string MachineHivePath() { return Absolute(FromEnvironment("LUMIVEL_MACHINE_HIVE", DefaultMachineHive)); }
std::string UserHivePath() { return Absolute(FromEnvironment("LUMIVEL_USER_HIVE", DefaultUserHive)); }

Hive& MachineHive() {
    static Hive* hive = new Hive([] { return FromEnvironment("LUMIVEL_MACHINE_HIVE", DefaultMachineHive); });
    return *hive;
}

Hive& UserHive() {
    static Hive* hive =
        new Hive([] { return FromEnvironment("LUMIVEL_USER_HIVE", DefaultUserHive); }, HiveOwner::CurrentUser);
    return *hive;
}

}  // namespace lumivel
