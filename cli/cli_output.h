// How `lumivel list` prints deleted objects.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_arguments.h"
#include "cli/record_output.h"
#include "shared/property_set.h"

namespace lumivel_cli {

// One listed tombstone, as UTF-8.
struct DeletedRow {
    std::string name;           // as the object was named: the tombstone's name without "\nDEL:<guid>"
    std::string tombstoneName;  // the tombstone's own name, as the directory holds it
    std::string lastKnownParent;
    std::string className;
    std::string dateDeleted;  // local time with seconds and zone
    std::string deletedUtc;   // ISO 8601 UTC, empty when unknown
    std::string guid;
    std::string tombstone;  // the tombstone's distinguished name
    std::string expires;     // when the directory purges it, as dateDeleted
    std::string expiresUtc;  // the same in ISO 8601 UTC, empty when unknown
};

// The last time LocalTimeText gave, kept: tombstones deleted together share their times, so
// that the next row's is often the same. For one listing, in which the zone does not change.
class LocalTimes {
public:
    const std::string& of(const std::string& isoUtc);

private:
    std::string m_given, m_text;
    bool m_filled = false;
};

// What a listing shows of a tombstone, as the provider gave it (UTF-8, times not yet local):
// what `list --incremental` keeps of each between runs.
enum TombstoneField : size_t {
    kFieldName,           // the plain name
    kFieldTombstoneName,  // the tombstone's own name
    kFieldParent,
    kFieldClass,          // the friendly class name, else the class
    kFieldDateDeleted,    // as the provider wrote it, shown when there is no UTC time
    kFieldDeletedUtc,
    kFieldGuid,
    kFieldTombstone,  // the tombstone's DN
    kFieldExpires,
    kFieldExpiresUtc,
    kTombstoneFieldCount
};
using TombstoneFields = std::array<std::string_view, kTombstoneFieldCount>;
using OwnedTombstoneFields = std::array<std::string, kTombstoneFieldCount>;
OwnedTombstoneFields TombstoneFieldsOf(const PropertySet* record);
TombstoneFields ViewsOf(const OwnedTombstoneFields& fields);

// A listed tombstone as a row; times are shown in local time when they are known in UTC.
// times, when given, is two (deletion and purge times), kept from row to row.
DeletedRow DeletedRowOf(const TombstoneFields& fields, LocalTimes* times = nullptr);
DeletedRow DeletedRowOf(const PropertySet* record, LocalTimes* times = nullptr);
// The same into a row of the caller's, whose room a listing keeps from row to row.
void FillDeletedRow(const TombstoneFields& fields, LocalTimes* times, DeletedRow* row);

// A row as the record the listing's schema prints.
Record ListRecordOf(const DeletedRow& row);

// The whole listing in the chosen format, ending with a line feed (empty input: only the
// table's header, the TSV header line, or "[]"). Tables escape control characters
// readably, TSV reversibly, JSON with \u escapes (see terminal_text.h).
std::string FormatRows(const std::vector<DeletedRow>& rows, OutputFormat format);

// A field from an archive, the directory or a task file on one line of UTF-8: control
// characters become '?'.
std::string OneLine(std::u16string_view text);

// The rows whose purge time lies at most that many seconds after now (those past it too);
// rows without a known purge time are left out.
bool ExpiresWithin(const DeletedRow& row, long long seconds, long long now);
std::vector<DeletedRow> ExpiringWithin(std::vector<DeletedRow> rows, long long seconds, long long now);

// The TSV and JSON field names, in column order.
const std::vector<std::string>& FieldNames();
// Where the tombstone's DN stands among them (fields added later follow it).
constexpr size_t kTombstoneField = 7;

// "2026-12-08T13:57:53Z" as local time with seconds and zone ("2026-12-08 14:57:53 CET");
// the text itself when it is not of that form.
std::string LocalTimeText(const std::string& isoUtc);

// A local wall-clock time (as the task scheduler gives it) as ISO 8601 UTC; empty when the
// fields name no time. An hour that a change to summer time skips is taken as after it.
std::string IsoUtcOfLocalTime(int year, int month, int day, int hour, int minute, int second);

// A backup's recorded date ("2026-12-08 13:57:53", UTC) as ISO 8601 UTC; null when the archive
// records no such time.
nlohmann::ordered_json BackupDateUtc(const std::string& recorded);

// "2026-12-08T13:57:53Z" as seconds since 1970; nothing when it is not of that form.
std::optional<long long> SecondsOfIsoUtc(const std::string& isoUtc);

}  // namespace lumivel_cli
