#include "cli/record_output.h"

#include <algorithm>
#include <cstdio>

#include "cli/cli_output.h"
#include "cli/terminal_text.h"

namespace lumivel_cli {

namespace {

const Column* columnOf(const RecordSchema& schema, const char* key) {
    for (const Column& column : schema.columns)
        if (std::string_view(column.key) == key) return &column;
    return nullptr;
}

enum class Target { Table, Tsv };

// What a table cell or TSV field holds, before it is escaped for its target.
std::string fieldText(const Record& record, const Column& column, Target target) {
    if (auto shown = record.shown.find(column.key); shown != record.shown.end()) return shown->second;
    auto found = record.values.find(column.key);
    if (found == record.values.end() || found->is_null()) return {};
    const Json& value = *found;
    switch (column.kind) {
        case FieldKind::Text: return value.is_string() ? value.get<std::string>() : value.dump();
        case FieldKind::Count: return value.dump();
        case FieldKind::Flag:
            if (!value.is_boolean()) return {};
            return target == Target::Table ? (value.get<bool>() ? "yes" : "no") : (value.get<bool>() ? "true" : "false");
        case FieldKind::Time: {
            if (!value.is_string()) return {};
            return target == Target::Table ? LocalTimeText(value.get<std::string>()) : value.get<std::string>();
        }
        case FieldKind::List: return {};
    }
    return {};
}

std::string table(const RecordSchema& schema, const std::vector<Record>& records) {
    const size_t count = schema.table.size();
    std::vector<std::vector<std::string>> cells;
    cells.reserve(records.size() + 1);
    std::vector<std::string> headings;
    for (const TableColumn& column : schema.table) headings.push_back(column.heading);
    cells.push_back(std::move(headings));
    for (const Record& record : records) {
        std::vector<std::string> row;
        for (const TableColumn& column : schema.table) {
            const Column* field = columnOf(schema, column.key);
            row.push_back(field ? TerminalText(fieldText(record, *field, Target::Table)) : std::string());
        }
        cells.push_back(std::move(row));
    }
    std::vector<size_t> widths(count, 0);
    for (const auto& row : cells)
        for (size_t i = 0; i < count; ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    std::string out;
    for (const auto& row : cells) {
        std::string line;
        for (size_t i = 0; i < count; ++i) {
            line += row[i];
            if (i + 1 < count) line.append(widths[i] - DisplayWidth(row[i]) + 2, ' ');
        }
        // No trailing blanks after an empty last cell.
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
    }
    return out;
}

std::string tsv(const RecordSchema& schema, const std::vector<Record>& records) {
    std::vector<const Column*> columns;
    for (const Column& column : schema.columns)
        if (column.kind != FieldKind::List) columns.push_back(&column);
    std::string out;
    for (size_t i = 0; i < columns.size(); ++i) out += std::string(columns[i]->key) + (i + 1 < columns.size() ? "\t" : "\n");
    for (const Record& record : records)
        for (size_t i = 0; i < columns.size(); ++i)
            out += TerminalText(fieldText(record, *columns[i], Target::Tsv), Escaping::Reversible) +
                   (i + 1 < columns.size() ? "\t" : "\n");
    return out;
}

Json jsonRecord(const RecordSchema& schema, const Record& record) {
    Json out = Json::object();
    for (const Column& column : schema.columns) {
        auto found = record.values.find(column.key);
        if (found != record.values.end())
            out[column.key] = *found;
        else
            out[column.key] = column.kind == FieldKind::List ? Json::array() : Json();
    }
    // What a record holds beyond its schema (an audit line's newer keys) follows it.
    for (const auto& [key, value] : record.values.items())
        if (!columnOf(schema, key.c_str())) out[key] = value;
    return out;
}

// The escape of a code point that a terminal could act on, when the UTF-8 at text[i] is one.
size_t harmfulAt(const std::string& text, size_t i, char32_t* code) {
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    if (byte(i) == 0x7F) {
        *code = 0x7F;
        return 1;
    }
    if (byte(i) == 0xC2 && i + 1 < text.size() && byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9F) {
        *code = byte(i + 1);
        return 2;
    }
    if (byte(i) == 0xE2 && i + 2 < text.size()) {
        const char32_t c = 0x2000 + ((byte(i + 1) & 0x3F) << 6) + (byte(i + 2) & 0x3F);
        if ((byte(i + 1) == 0x80 || byte(i + 1) == 0x81) && ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069))) {
            *code = c;
            return 3;
        }
    }
    return 0;
}

}  // namespace

Json UtcTime(const std::string& isoUtc) {
    return SecondsOfIsoUtc(isoUtc) ? Json(isoUtc) : Json();
}

std::string JsonText(const Json& document) {
    // The dump escapes the C0 controls; outside string literals a JSON document is ASCII, so
    // what is left to escape can only stand inside a string.
    const std::string dumped = document.dump(2, ' ', false, Json::error_handler_t::replace);
    std::string out;
    out.reserve(dumped.size() + 1);
    for (size_t i = 0; i < dumped.size();) {
        char32_t code = 0;
        if (size_t length = harmfulAt(dumped, i, &code)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code));
            out += escape;
            i += length;
        } else {
            out += dumped[i++];
        }
    }
    return out + "\n";
}

std::string FormatRecords(const RecordSchema& schema, const std::vector<Record>& records, OutputFormat format,
                          const Json& extra) {
    switch (format) {
        case OutputFormat::Table: return table(schema, records);
        case OutputFormat::Tsv: return tsv(schema, records);
        case OutputFormat::Json: break;
    }
    Json document = Json::object();
    document["version"] = schema.version;
    document["command"] = schema.command;
    for (const auto& [key, value] : extra.items()) document[key] = value;
    Json items = Json::array();
    for (const Record& record : records) items.push_back(jsonRecord(schema, record));
    document[schema.itemsKey] = std::move(items);
    return JsonText(document);
}

}  // namespace lumivel_cli
