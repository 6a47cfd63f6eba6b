#include "cli/record_output.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

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

// A record's table cells, each made harmless for a terminal.
std::vector<std::string> tableCells(const RecordSchema& schema, const Record& record) {
    std::vector<std::string> row;
    row.reserve(schema.table.size());
    for (const TableColumn& column : schema.table) {
        const Column* field = columnOf(schema, column.key);
        row.push_back(field ? TerminalText(fieldText(record, *field, Target::Table)) : std::string());
    }
    return row;
}

std::vector<const Column*> tsvColumns(const RecordSchema& schema) {
    std::vector<const Column*> columns;
    for (const Column& column : schema.columns)
        if (column.kind != FieldKind::List) columns.push_back(&column);
    return columns;
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
    std::ostringstream out;
    RecordWriter writer(schema, format, out, extra);
    if (writer.needsMeasure())
        for (const Record& record : records) writer.measure(writer.cells(record));
    for (const Record& record : records) writer.write(record);
    writer.finish();
    return std::move(out).str();
}

RecordWriter::RecordWriter(const RecordSchema& schema, OutputFormat format, std::ostream& out, const Json& extra)
    : m_schema(schema), m_format(format), m_out(out), m_extra(extra) {
    for (const TableColumn& column : schema.table) {
        m_headings.emplace_back(column.heading);
        m_widths.push_back(DisplayWidth(column.heading));
    }
}

std::vector<std::string> RecordWriter::cells(const Record& record) const { return tableCells(m_schema, record); }

void RecordWriter::measure(const std::vector<std::string>& cells) {
    for (size_t i = 0; i < m_widths.size() && i < cells.size(); ++i)
        m_widths[i] = std::max(m_widths[i], DisplayWidth(cells[i]));
}

void RecordWriter::begin() {
    if (m_begun) return;
    m_begun = true;
    switch (m_format) {
        case OutputFormat::Table: writeLine(m_headings); return;
        case OutputFormat::Tsv: {
            const std::vector<const Column*> columns = tsvColumns(m_schema);
            std::string line;
            for (size_t i = 0; i < columns.size(); ++i) line += std::string(columns[i]->key) + (i + 1 < columns.size() ? "\t" : "\n");
            m_out << line;
            return;
        }
        case OutputFormat::Json: break;
    }
    // The document's head as the whole document would print it with no records, up to the
    // opening of the records' array; records and the closing lines follow as they come.
    Json document = Json::object();
    document["version"] = m_schema.version;
    document["command"] = m_schema.command;
    for (const auto& [key, value] : m_extra.items()) document[key] = value;
    document[m_schema.itemsKey] = Json::array();
    std::string head = JsonText(document);
    // It ends "[]\n}\n".
    head.resize(head.size() - 4);
    m_out << head;
}

void RecordWriter::writeCells(const std::vector<std::string>& row) {
    begin();
    writeLine(row);
    m_written = true;
}

void RecordWriter::writeLine(const std::vector<std::string>& row) {
    const size_t count = m_widths.size();
    std::string line;
    for (size_t i = 0; i < count; ++i) {
        const std::string& cell = i < row.size() ? row[i] : std::string();
        line += cell;
        if (i + 1 < count) line.append(m_widths[i] - std::min(m_widths[i], DisplayWidth(cell)) + 2, ' ');
    }
    // No trailing blanks after an empty last cell.
    line.erase(line.find_last_not_of(' ') + 1);
    line += '\n';
    m_out << line;
}

void RecordWriter::write(const Record& record) {
    begin();
    switch (m_format) {
        case OutputFormat::Table: writeLine(cells(record)); break;
        case OutputFormat::Tsv: {
            const std::vector<const Column*> columns = tsvColumns(m_schema);
            std::string line;
            for (size_t i = 0; i < columns.size(); ++i)
                line += TerminalText(fieldText(record, *columns[i], Target::Tsv), Escaping::Reversible) +
                        (i + 1 < columns.size() ? "\t" : "\n");
            m_out << line;
            break;
        }
        case OutputFormat::Json: {
            // The record as the whole document indents it: two levels in.
            std::string text = JsonText(jsonRecord(m_schema, record));
            text.pop_back();
            std::string indented = m_written ? ",\n    " : "\n    ";
            indented.reserve(indented.size() + text.size() + text.size() / 8);
            for (char c : text) {
                indented += c;
                if (c == '\n') indented += "    ";
            }
            m_out << indented;
            break;
        }
    }
    m_written = true;
}

void RecordWriter::finish() {
    begin();
    if (m_format == OutputFormat::Json) m_out << (m_written ? "\n  ]\n}\n" : "]\n}\n");
    m_out.flush();
}

}  // namespace lumivel_cli
