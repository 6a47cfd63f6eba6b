// `lumivel list`'s output, written as the tombstones come rather than built whole: a domain of
// a hundred thousand tombstones must not cost their rows, their records and their text at once.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_output.h"
#include "cli/list_row_text.h"
#include "lumivel/temporary_file.h"

namespace lumivel_cli {

// Gives the standard output a buffer of a megabyte when it is not a terminal, so that a
// listing's tens of megabytes go out in large writes; a terminal keeps its lines as they come.
// Only before anything is written to it.
void BufferListingOutput();

class ListingPrinter {
public:
    // Rows whose purge time lies beyond expiringWithin seconds after now are left out.
    ListingPrinter(OutputFormat format, std::ostream& out, std::optional<long long> expiringWithin, long long now);

    // Takes the tombstone's row: the record may be freed once this returns. TSV and JSON are
    // written at once; a table's cells wait in a private temporary file until every column's
    // width is known, so that they do not wait in memory. False, with why, when they cannot.
    bool add(const PropertySet* record, std::string* why);
    bool add(const TombstoneFields& fields, std::string* why);
    // Writes what is left; false, with why, when the table's waiting cells cannot be read back.
    bool finish(std::string* why);

    size_t shown() const { return m_shown; }
    // The errno of the first write to the output that failed (a full disk, a closed pipe);
    // add and finish fail from then on. 0 while every write went through.
    int writeError() const { return m_writeError; }
    // The GUIDs of the rows shown, one a line, for completion.
    const std::string& guidLines() const { return m_guids; }

private:
    bool outputFailed(std::string* why);

    std::ostream& m_out;
    OutputFormat m_format;
    RecordWriter m_writer;
    std::optional<long long> m_expiringWithin;
    long long m_now;
    lumivel::ExclusiveTemporaryFile m_cells;
    bool m_cellsMade = false;
    std::string m_pending;  // cells not yet in the file
    std::string m_line;     // a TSV or JSON row, its room kept from row to row
    DeletedRow m_row;       // the same for the row and its table cells
    std::array<std::string, kListTableColumns> m_cellTexts;
    LocalTimes m_times[2];
    size_t m_shown = 0;
    int m_writeError = 0;
    std::string m_guids;
};

}  // namespace lumivel_cli
