#include "cli/restore_report.h"

#include <iostream>

#include "cli/output_schemas.h"

namespace lumivel_cli {

Record RestoreRecord(const char* outcome, const std::string& requested, const std::string& name) {
    Record record;
    record.set("requested", requested.empty() ? Json() : Json(requested))
        .set("outcome", outcome)
        .set("name", name);
    return record;
}

void RestoreReport::print(const std::string& text) {
    std::cout << text;
    std::cout.flush();
}

void RestoreReport::add(Record record, const std::string& line) {
    if (m_format == OutputFormat::Table) print(line + "\n");
    m_records.push_back(std::move(record));
}

void RestoreReport::addReapplied(Json values, const std::string& lines) {
    if (m_format == OutputFormat::Table) print(lines);
    if (!m_records.empty()) m_records.back().set("reapplied", std::move(values));
}

void RestoreReport::reapplyFailed(const std::string& reason, const std::string& line) {
    if (m_format == OutputFormat::Table) print(line + "\n");
    if (m_records.empty()) return;
    Json& previous = m_records.back().values["reason"];
    const std::string said = "not re-applied: " + reason;
    previous = previous.is_string() && !previous.get<std::string>().empty() ? previous.get<std::string>() + "; " + said
                                                                             : said;
}

void RestoreReport::note(const std::string& line) {
    if (m_format == OutputFormat::Table) print(line + "\n");
}

bool RestoreReport::finish() {
    if (m_format != OutputFormat::Table)
        std::cout << FormatRecords(kRestoreSchema, m_records, m_format, Json{{"dryRun", false}});
    std::cout.flush();
    return std::cout.good();
}

}  // namespace lumivel_cli
