// What `lumivel restore` says about each object: a line a person reads as it happens, or a
// record per object that TSV and JSON print once the run is over.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_arguments.h"
#include "cli/record_output.h"

namespace lumivel_cli {

class RestoreReport {
public:
    explicit RestoreReport(OutputFormat format) : m_format(format) {}

    // One object's outcome ("restored", "notRestored", "alreadyRestored", "notFound",
    // "notAttempted") by the restore schema's keys, and its line for the table.
    void add(Record record, const std::string& line);
    // More of the table's lines about the last object (a re-apply's), and what goes with them
    // into its record: the values handled, or the reason it could not be done.
    void addReapplied(Json values, const std::string& lines);
    void reapplyFailed(const std::string& reason, const std::string& line);
    // A line the table alone has (a count at the end).
    void note(const std::string& line);

    // Prints the records when they wait for the end; false when the output could not be written.
    bool finish();

private:
    void print(const std::string& text);

    OutputFormat m_format;
    std::vector<Record> m_records;
};

// A result record of the restore schema.
Record RestoreRecord(const char* outcome, const std::string& requested, const std::string& name);

}  // namespace lumivel_cli
