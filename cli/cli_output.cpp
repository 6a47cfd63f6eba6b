#include "cli/cli_output.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

#include "cli/terminal_text.h"
#include "shared/text_helpers.h"

namespace lumivel_cli {

namespace {

constexpr size_t kTableColumns = 7;
constexpr std::array<const char*, kTableColumns> kHeadings = {"Name", "Last Known Parent", "Class", "Date Deleted",
                                                              "Expires", "GUID", "Tombstone"};

std::array<std::string, kTableColumns> tableFields(const DeletedRow& row) {
    return {row.name, row.lastKnownParent, row.className, row.dateDeleted, row.expires, row.guid, row.tombstone};
}

// In FieldNames() order.
std::vector<const std::string*> scriptFields(const DeletedRow& row) {
    return {&row.name,       &row.lastKnownParent, &row.className,     &row.dateDeleted, &row.deletedUtc,
            &row.guid,       &row.tombstoneName,   &row.tombstone,     &row.expires,     &row.expiresUtc};
}

std::string table(const std::vector<DeletedRow>& rows) {
    std::array<size_t, kTableColumns> widths{};
    for (size_t i = 0; i < kTableColumns; ++i) widths[i] = DisplayWidth(kHeadings[i]);
    std::vector<std::array<std::string, kTableColumns>> cells;
    cells.reserve(rows.size());
    for (const DeletedRow& row : rows) {
        auto fields = tableFields(row);
        for (size_t i = 0; i < kTableColumns; ++i) {
            fields[i] = TerminalText(fields[i]);
            widths[i] = std::max(widths[i], DisplayWidth(fields[i]));
        }
        cells.push_back(std::move(fields));
    }
    std::string out;
    auto line = [&](const std::array<std::string, kTableColumns>& fields) {
        for (size_t i = 0; i < kTableColumns; ++i) {
            out += fields[i];
            if (i + 1 < kTableColumns) out.append(widths[i] - DisplayWidth(fields[i]) + 2, ' ');
        }
        out += '\n';
    };
    line({kHeadings[0], kHeadings[1], kHeadings[2], kHeadings[3], kHeadings[4], kHeadings[5], kHeadings[6]});
    for (const auto& fields : cells) line(fields);
    return out;
}

std::string tsv(const std::vector<DeletedRow>& rows) {
    std::string out;
    const std::vector<std::string>& names = FieldNames();
    for (size_t i = 0; i < names.size(); ++i) out += names[i] + (i + 1 < names.size() ? "\t" : "\n");
    for (const DeletedRow& row : rows) {
        std::vector<const std::string*> fields = scriptFields(row);
        for (size_t i = 0; i < fields.size(); ++i)
            out += TerminalText(*fields[i], Escaping::Reversible) + (i + 1 < fields.size() ? "\t" : "\n");
    }
    return out;
}

std::string json(const std::vector<DeletedRow>& rows) {
    std::string out = "[";
    const std::vector<std::string>& names = FieldNames();
    for (size_t r = 0; r < rows.size(); ++r) {
        std::vector<const std::string*> fields = scriptFields(rows[r]);
        out += r == 0 ? "\n  {" : ",\n  {";
        for (size_t i = 0; i < fields.size(); ++i)
            out += std::string(i ? ", " : "") + "\"" + names[i] + "\": " + JsonString(*fields[i]);
        out += "}";
    }
    return out + (rows.empty() ? "]\n" : "\n]\n");
}

}  // namespace

std::string OneLine(std::u16string_view text) {
    return TerminalText(lumivel::shared::NarrowText(text));
}

const std::vector<std::string>& FieldNames() {
    // Scripts cut fields by number: new ones go after the tombstone.
    static const std::vector<std::string> names = {"name",          "lastKnownParent", "class",   "dateDeleted",
                                                   "deletedUtc",    "guid",            "tombstoneName", "tombstone",
                                                   "expires",       "expiresUtc"};
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

std::vector<DeletedRow> ExpiringWithin(std::vector<DeletedRow> rows, long long seconds, long long now) {
    std::erase_if(rows, [&](const DeletedRow& row) {
        std::optional<long long> expires = SecondsOfIsoUtc(row.expiresUtc);
        return !expires || *expires - now > seconds;
    });
    return rows;
}

std::string FormatRows(const std::vector<DeletedRow>& rows, OutputFormat format) {
    switch (format) {
        case OutputFormat::Table: return table(rows);
        case OutputFormat::Tsv: return tsv(rows);
        case OutputFormat::Json: return json(rows);
    }
    return {};
}

}  // namespace lumivel_cli
