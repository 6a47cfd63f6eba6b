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

OwnedTombstoneFields TombstoneFieldsOf(const PropertySet* record) {
    // Without the schema cache there is no friendly class name: the class itself then.
    std::u16string_view className = record->getText(u"FriendlyClassName");
    if (className.empty()) className = record->getText(u"class");
    const std::u16string_view name = record->getText(u"name");
    OwnedTombstoneFields fields;
    fields[kFieldName] = NarrowText(lumivel::shared::PlainTombstoneName(name));
    fields[kFieldTombstoneName] = NarrowText(name);
    fields[kFieldParent] = NarrowText(record->getText(u"Parent"));
    fields[kFieldClass] = NarrowText(className);
    fields[kFieldDateDeleted] = NarrowText(record->getText(u"dateDeleted"));
    fields[kFieldDeletedUtc] = NarrowText(record->getText(kDateDeletedUtcKey));
    fields[kFieldGuid] = NarrowText(lumivel::shared::TombstoneGuid(name));
    fields[kFieldTombstone] = NarrowText(record->getText(u"distinguishedName"));
    fields[kFieldExpires] = NarrowText(record->getText(kExpiresKey));
    fields[kFieldExpiresUtc] = NarrowText(record->getText(kExpiresUtcKey));
    return fields;
}

TombstoneFields ViewsOf(const OwnedTombstoneFields& fields) {
    TombstoneFields views;
    for (size_t i = 0; i < kTombstoneFieldCount; ++i) views[i] = fields[i];
    return views;
}

DeletedRow DeletedRowOf(const TombstoneFields& fields, LocalTimes* times) {
    DeletedRow row;
    FillDeletedRow(fields, times, &row);
    return row;
}

void FillDeletedRow(const TombstoneFields& fields, LocalTimes* times, DeletedRow* row) {
    LocalTimes own[2];
    if (!times) times = own;
    row->name.assign(fields[kFieldName]);
    row->tombstoneName.assign(fields[kFieldTombstoneName]);
    row->lastKnownParent.assign(fields[kFieldParent]);
    row->className.assign(fields[kFieldClass]);
    row->deletedUtc.assign(fields[kFieldDeletedUtc]);
    row->guid.assign(fields[kFieldGuid]);
    row->tombstone.assign(fields[kFieldTombstone]);
    row->expiresUtc.assign(fields[kFieldExpiresUtc]);
    if (row->deletedUtc.empty()) row->dateDeleted.assign(fields[kFieldDateDeleted]);
    else row->dateDeleted = times[0].of(row->deletedUtc);
    if (row->expiresUtc.empty()) row->expires.assign(fields[kFieldExpires]);
    else row->expires = times[1].of(row->expiresUtc);
}

DeletedRow DeletedRowOf(const PropertySet* record, LocalTimes* times) {
    return DeletedRowOf(ViewsOf(TombstoneFieldsOf(record)), times);
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

namespace {

// Days from 1970-01-01 to the date of the proleptic Gregorian calendar.
long long daysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

// The exact form the directory's times take, read without sscanf: every listed row has two.
std::optional<std::optional<long long>> secondsOfExactForm(const std::string& text) {
    static constexpr char kShape[] = "0000-00-00T00:00:00Z";
    if (text.size() != sizeof kShape - 1) return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i)
        if (kShape[i] == '0' ? text[i] < '0' || text[i] > '9' : text[i] != kShape[i]) return std::nullopt;
    auto number = [&](size_t at, size_t digits) {
        unsigned value = 0;
        for (size_t i = 0; i < digits; ++i) value = value * 10 + static_cast<unsigned>(text[at + i] - '0');
        return value;
    };
    const unsigned year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const unsigned hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    static constexpr unsigned kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    // Out of range names no time, as the round trip below finds for other forms.
    if (month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] + (month == 2 && leap) || hour > 23 ||
        minute > 59 || second > 59)
        return std::optional<long long>();
    return std::optional<long long>(daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second);
}

}  // namespace

std::optional<long long> SecondsOfIsoUtc(const std::string& isoUtc) {
    if (std::optional<std::optional<long long>> exact = secondsOfExactForm(isoUtc)) return *exact;
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

const std::string& LocalTimes::of(const std::string& isoUtc) {
    if (!m_filled || isoUtc != m_given) {
        m_given = isoUtc;
        m_text = LocalTimeText(isoUtc);
        m_filled = true;
    }
    return m_text;
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
