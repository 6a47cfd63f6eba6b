// Records as a sub-command prints them: an aligned table for a person, TSV or JSON for a
// script. Each sub-command's records follow one schema (output_schemas.h); JSON carries the
// schema's version, and its times are ISO 8601 UTC only.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli_arguments.h"

namespace lumivel_cli {

// Key order is the schema's, so that the JSON reads as the TSV does.
using Json = nlohmann::ordered_json;

enum class FieldKind {
    Text,
    Count,  // a number, or null when unknown
    Flag,   // true/false, or null when unknown
    Time,   // JSON and TSV: ISO 8601 UTC ("2026-12-08T13:57:53Z") or null; table: local time
    List,   // JSON only: an array of texts
};

struct Column {
    const char* key;  // the JSON key and TSV heading
    FieldKind kind;
};

struct TableColumn {
    const char* key;
    const char* heading;
};

struct RecordSchema {
    const char* command;
    int version;
    const char* itemsKey;  // the JSON array the records go into
    std::vector<Column> columns;     // JSON and TSV, in this order
    std::vector<TableColumn> table;  // the table's columns, in their order
};

struct Record {
    Json values = Json::object();  // by the schema's keys, as JSON has them
    // Text a table or TSV shows instead of what the value would give (a local time as the
    // directory wrote it, "disabled" for a job without a next run).
    std::map<std::string, std::string> shown;

    Record& set(const char* key, Json value) {
        values[key] = std::move(value);
        return *this;
    }
};

// The records in the format. Tables and TSV make directory text harmless (terminal_text.h);
// JSON is one object: "version", "command", the records under the schema's key, and the
// extra top-level fields given. Each record has every key of the schema, in its order.
std::string FormatRecords(const RecordSchema& schema, const std::vector<Record>& records, OutputFormat format,
                          const Json& extra = Json::object());

// The same written as the records come, so that a long listing is never held whole: the
// output is byte for byte what FormatRecords gives. A table's columns are as wide as their
// widest cell, so a table's rows are measured (all of them, before the first is written);
// TSV and JSON need no measure.
class RecordWriter {
public:
    RecordWriter(const RecordSchema& schema, OutputFormat format, std::ostream& out, const Json& extra = Json::object());
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    bool needsMeasure() const { return m_format == OutputFormat::Table; }
    // A record's table cells, made harmless for a terminal; what measure() and writeCells() take.
    std::vector<std::string> cells(const Record& record) const;
    void measure(const std::vector<std::string>& cells);
    void write(const Record& record);
    // A table row whose cells were kept from measuring.
    void writeCells(const std::vector<std::string>& cells);
    // The rest of the output (the heading alone when no record came, JSON's closing lines).
    void finish();

private:
    void begin();
    void writeLine(const std::vector<std::string>& cells);

    const RecordSchema& m_schema;
    OutputFormat m_format;
    std::ostream& m_out;
    Json m_extra;
    std::vector<std::string> m_headings;
    std::vector<size_t> m_widths;
    bool m_begun = false;
    bool m_written = false;
};

// A JSON document as text: valid UTF-8 (ill-formed input becomes U+FFFD) with the C0 and C1
// controls, DEL and the bidirectional controls escaped, so that it is harmless on a terminal.
std::string JsonText(const Json& document);

// The JSON value of a time: ISO 8601 UTC text as given, null for anything else.
Json UtcTime(const std::string& isoUtc);

}  // namespace lumivel_cli
