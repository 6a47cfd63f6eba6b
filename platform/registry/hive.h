// One registry hive: a SQLite database of keys and values (registry area only).
//
// Keys and values keep their names as written (UTF-16) beside a case-folded copy that makes
// them unique; creation order is the row order. Every write is one BEGIN IMMEDIATE transaction
// on a WAL database with a busy time-out, so several processes can write at once without
// losing anything. A file that is not a sound hive is reported (ERROR_BADDB) and left as it is.
// A hive file that does not exist and that this process may not create (a machine hive for an
// ordinary user before installation) reads as an empty hive and refuses writes with
// ERROR_ACCESS_DENIED, as HKEY_LOCAL_MACHINE does for a user without rights.
//
// A user hive, whose classes HKEY_CLASSES_ROOT reads before the machine's, is only used when
// it and its folder belong to the user and nobody else may write them: otherwise another user
// could have planted classes that this process would load. Such a hive is refused with
// ERROR_ACCESS_DENIED and the reason is logged.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "win/types.h"

struct sqlite3;

namespace lumivel {

struct HiveValue {
    std::u16string name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct HiveSubkey {
    std::u16string name;
    int64_t lastWrite = 0;  // FILETIME ticks
};

struct HiveKeyInfo {
    DWORD subkeys = 0, maxSubkeyLength = 0, values = 0, maxValueNameLength = 0, maxValueLength = 0;
    int64_t lastWrite = 0;
};

// How deep keys may nest below the root of a hive, as on Windows.
inline constexpr size_t kMaxKeyDepth = 512;

enum class HiveOwner { Anyone, CurrentUser };

class Hive {
public:
    static constexpr int64_t kRoot = 1;

    explicit Hive(std::function<std::string()> pathSource, HiveOwner owner = HiveOwner::Anyone)
        : m_pathSource(std::move(pathSource)), m_owner(owner) {}
    ~Hive();

    // Each returns a Win32 error code. Key ids stay valid until the key is deleted; an
    // operation on a deleted key gives ERROR_KEY_DELETED.
    DWORD findChild(int64_t parent, std::u16string_view name, int64_t* child);
    DWORD findPath(int64_t from, std::u16string_view path, int64_t* key);
    // Creates the missing keys along a path in one transaction; ERROR_INVALID_PARAMETER when
    // the new key would lie deeper than kMaxKeyDepth.
    DWORD createPath(int64_t from, std::u16string_view path, int64_t* key, bool* created);
    DWORD keyExists(int64_t key);
    DWORD listSubkeys(int64_t key, std::vector<HiveSubkey>* subkeys);
    DWORD listValues(int64_t key, std::vector<HiveValue>* values);
    DWORD getValue(int64_t key, std::u16string_view name, HiveValue* value);
    DWORD setValue(int64_t key, std::u16string_view name, DWORD type, const BYTE* data, size_t size);
    DWORD deleteValue(int64_t key, std::u16string_view name);
    // Fails with ERROR_ACCESS_DENIED while the key has subkeys, unless the whole tree goes.
    DWORD deleteKey(int64_t key, bool tree);
    DWORD info(int64_t key, HiveKeyInfo* info);
    DWORD flush();

    // Changes whenever this or another process commits a change; for enumeration caches.
    uint64_t version();
    // Whether this process may write the hive file (after a successful open).
    DWORD writable(bool* canWrite);
    std::string path();

private:
    DWORD open();
    DWORD createFile(const std::string& path);
    DWORD openAbsent(const std::string& path);
    DWORD exec(const char* sql);
    DWORD beginWrite();
    DWORD commit();
    void rollback();
    // Commits after success, rolls back after a failure; returns the outcome.
    DWORD finish(DWORD error);
    DWORD touch(int64_t key);
    DWORD checkKey(int64_t key);
    DWORD depthOf(int64_t key, size_t* depth);
    DWORD checkOwner(const std::string& path);
    void releaseFreePages();

    std::function<std::string()> m_pathSource;
    HiveOwner m_owner;
    std::recursive_mutex m_mutex;
    sqlite3* m_db = nullptr;
    std::string m_openPath;
    bool m_readOnly = false;
    // The file does not exist and this process may not make it: reads see an empty hive.
    bool m_absent = false;
    uint64_t m_localChanges = 0;
};

// The two hives of this process; each follows its environment variable, reopening when
// the path it names changes. Without LUMIVEL_USER_HIVE the user hive lies under
// $XDG_CONFIG_HOME, else $HOME/.config, else the home folder the password database names.
Hive& MachineHive();
Hive& UserHive();
// The files the two hives of this process live in, as absolute paths.
std::string MachineHivePath();
std::string UserHivePath();

// Copies the hive in `source` into the new file `target` as it stood at one moment, for a
// process that only reads it: the copy has no write permission bit and no write-ahead log, so
// it opens read-only with nothing beside it. A user hive (HiveOwner::CurrentUser) is held to
// the rule this process would use it by. ERROR_FILE_NOT_FOUND without a source, ERROR_BADDB
// for a file that is not a sound hive, ERROR_ACCESS_DENIED for a link or a user hive that
// another account could have changed; nothing is left at `target` on failure.
DWORD SnapshotHive(const std::string& source, HiveOwner owner, const std::string& target);


}  // namespace lumivel
