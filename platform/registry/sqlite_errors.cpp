// The one table from SQLite result codes to Win32 errors.
#include "sqlite_errors.h"

#include <sqlite3.h>

#include "win/winerror.h"

namespace lumivel {
namespace {

struct SqliteMapping {
    int result;
    DWORD win32;
};

// Matched on the primary code (the low byte); extended codes share their primary's meaning.
constexpr SqliteMapping kSqliteTable[] = {
    {SQLITE_OK, ERROR_SUCCESS},
    {SQLITE_CORRUPT, ERROR_BADDB},
    {SQLITE_NOTADB, ERROR_BADDB},
    {SQLITE_FORMAT, ERROR_BADDB},
    {SQLITE_READONLY, ERROR_ACCESS_DENIED},
    {SQLITE_PERM, ERROR_ACCESS_DENIED},
    {SQLITE_AUTH, ERROR_ACCESS_DENIED},
    {SQLITE_CANTOPEN, ERROR_CANTOPEN},
    {SQLITE_FULL, ERROR_DISK_FULL},
    {SQLITE_IOERR, ERROR_REGISTRY_IO_FAILED},
    {SQLITE_BUSY, ERROR_BUSY},
    {SQLITE_LOCKED, ERROR_BUSY},
    {SQLITE_NOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {SQLITE_TOOBIG, ERROR_INVALID_PARAMETER},
    {SQLITE_CONSTRAINT, ERROR_ALREADY_EXISTS},
    {SQLITE_PROTOCOL, ERROR_BUSY},
};

}  // namespace

DWORD Win32ErrorFromSqlite(int result) {
    for (const auto& m : kSqliteTable)
        if (m.result == (result & 0xFF)) return m.win32;
    return ERROR_REGISTRY_IO_FAILED;
}

}  // namespace lumivel
