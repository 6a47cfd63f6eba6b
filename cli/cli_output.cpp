#include "cli/cli_output.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "cli/output_schemas.h"
#include "cli/terminal_text.h"
#include "shared/directory_operations.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"

namespace lumivel_cli {

using lumivel::shared::NarrowText;

Record ListRecordOf(const DeletedRow& row) {
    Record record;
    record.set("name", row.name)
        .set("lastKnownParent", row.lastKnownParent)
        .set("class", row.className)
        .set("dateDeleted", UtcTime(row.deletedUtc))
        .set("deletedUtc", UtcTime(row.deletedUtc))
        .set("guid", row.guid)
        .set("tombstoneName", row.tombstoneName)
        .set("tombstone", row.tombstone)
        .set("expires", UtcTime(row.expiresUtc))
        .set("expiresUtc", UtcTime(row.expiresUtc));
    // Tables and TSV keep the local times they have always shown.
    record.shown["dateDeleted"] = row.dateDeleted;
    record.shown["expires"] = row.expires;
    return record;
}

DeletedRow DeletedRowOf(const PropertySet* record) {
    // Without the schema cache there is no friendly class name: the class itself then.
    std::u16string_view className = record->getText(u"FriendlyClassName");
    if (className.empty()) className = record->getText(u"class");
    std::string deletedUtc = NarrowText(record->getText(kDateDeletedUtcKey));
    std::string expiresUtc = NarrowText(record->getText(kExpiresUtcKey));
    std::string dateDeleted = deletedUtc.empty() ? NarrowText(record->getText(u"dateDeleted")) : LocalTimeText(deletedUtc);
    std::string expires = expiresUtc.empty() ? NarrowText(record->getText(kExpiresKey)) : LocalTimeText(expiresUtc);
    return DeletedRow{NarrowText(lumivel::shared::PlainTombstoneName(record->getText(u"name"))),
                      NarrowText(record->getText(u"name")),
                      NarrowText(record->getText(u"Parent")),
                      NarrowText(className),
                      std::move(dateDeleted),
                      std::move(deletedUtc),
                      NarrowText(lumivel::shared::TombstoneGuid(record->getText(u"name"))),
                      NarrowText(record->getText(u"distinguishedName")),
                      std::move(expires),
                      std::move(expiresUtc)};
}

std::string OneLine(std::u16string_view text) {
    return TerminalText(lumivel::shared::NarrowText(text));
}

const std::vector<std::string>& FieldNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> keys;
        for (const Column& column : kListSchema.columns) keys.push_back(column.key);
        return keys;
    }();
    return names;
}

std::optional<long long> SecondsOfIsoUtc(const std::string& isoUtc) {
    std::tm utc{};
    char zulu = 0;
    int consumed = 0;
    if (std::sscanf(isoUtc.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%n", &utc.tm_year, &utc.tm_mon, &utc.tm_mday,
                    &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &zulu, &consumed) != 7 ||
        zulu != 'Z' || static_cast<size_t>(consumed) != isoUtc.size())
        return std::nullopt;
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    const std::tm given = utc;
    std::time_t when = timegm(&utc);
    // timegm carries a 13th month or a 30th of February over; such a text names no time.
    std::tm back{};
    if (when == static_cast<std::time_t>(-1) || !gmtime_r(&when, &back) || back.tm_year != given.tm_year ||
        back.tm_mon != given.tm_mon || back.tm_mday != given.tm_mday || back.tm_hour != given.tm_hour ||
        back.tm_min != given.tm_min || back.tm_sec != given.tm_sec)
        return std::nullopt;
    return static_cast<long long>(when);
}

std::string LocalTimeText(const std::string& isoUtc) {
    std::optional<long long> seconds = SecondsOfIsoUtc(isoUtc);
    if (!seconds) return isoUtc;
    std::time_t when = static_cast<std::time_t>(*seconds);
    std::tm local{};
    if (!localtime_r(&when, &local)) return isoUtc;
    char text[64];
    return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local) ? text : isoUtc;
}

std::string IsoUtcOfLocalTime(int year, int month, int day, int hour, int minute, int second) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 60)
        return {};
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    std::time_t when = std::mktime(&local);
    std::tm utc{};
    if (when == static_cast<std::time_t>(-1) || !gmtime_r(&when, &utc)) return {};
    char text[32];
    return std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) ? text : std::string();
}

nlohmann::ordered_json BackupDateUtc(const std::string& recorded) {
    if (recorded.size() != 19 || recorded[10] != ' ') return nullptr;
    std::string iso = recorded;
    iso[10] = 'T';
    return UtcTime(iso + "Z");
}

bool ExpiresWithin(const DeletedRow& row, long long seconds, long long now) {
    std::optional<long long> expires = SecondsOfIsoUtc(row.expiresUtc);
    return expires && *expires - now <= seconds;
}

std::vector<DeletedRow> ExpiringWithin(std::vector<DeletedRow> rows, long long seconds, long long now) {
    std::erase_if(rows, [&](const DeletedRow& row) { return !ExpiresWithin(row, seconds, now); });
    return rows;
}

std::string FormatRows(const std::vector<DeletedRow>& rows, OutputFormat format) {
    std::vector<Record> records;
    records.reserve(rows.size());
    for (const DeletedRow& row : rows) records.push_back(ListRecordOf(row));
    return FormatRecords(kListSchema, records, format);
}

}  // namespace lumivel_cli
