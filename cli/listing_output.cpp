#include "cli/listing_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/list_row_text.h"
#include "cli/output_schemas.h"

namespace lumivel_cli {

namespace {

// Cells go to the file in pieces of this size, and come back the same way.
constexpr size_t kChunk = 64 * 1024;

// A terminal's cells hold no tab and no line feed (both are escaped), so a row is one line
// of tab-separated cells.
void splitCells(std::string_view line, std::vector<std::string_view>* cells) {
    cells->clear();
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        cells->push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return;
        start = tab + 1;
    }
}

}  // namespace

void BufferListingOutput() {
    if (::isatty(STDOUT_FILENO) != 1) std::setvbuf(stdout, nullptr, _IOFBF, 1024 * 1024);
}

ListingPrinter::ListingPrinter(OutputFormat format, std::ostream& out, std::optional<long long> expiringWithin,
                               long long now)
    : m_out(out), m_format(format), m_writer(kListSchema, format, out), m_expiringWithin(expiringWithin), m_now(now) {}

bool ListingPrinter::outputFailed(std::string* why) {
    if (!m_writeError && m_out.good()) return false;
    // Taken at once: what runs after the failed write may change errno.
    if (!m_writeError) m_writeError = errno ? errno : EIO;
    *why = std::string("the output could not be written: ") + std::strerror(m_writeError);
    return true;
}

bool ListingPrinter::add(const PropertySet* record, std::string* why) {
    if (outputFailed(why)) return false;
    return add(ViewsOf(TombstoneFieldsOf(record)), why);
}

bool ListingPrinter::add(const TombstoneFields& fields, std::string* why) {
    if (outputFailed(why)) return false;
    DeletedRow& row = m_row;
    FillDeletedRow(fields, m_times, &row);
    if (m_expiringWithin && !ExpiresWithin(row, *m_expiringWithin, m_now)) return true;
    ++m_shown;
    m_guids += row.guid;
    m_guids += '\n';
    if (!m_writer.needsMeasure()) {
        m_line.clear();
        if (m_format == OutputFormat::Json) AppendListJsonRecord(row, !m_writer.written(), &m_line);
        else AppendListTsvLine(row, &m_line);
        m_writer.writeText(m_line);
        return !outputFailed(why);
    }
    std::array<std::string, kListTableColumns>& cells = m_cellTexts;
    ListTableCells(row, &cells);
    m_writer.measure(cells);
    for (size_t i = 0; i < cells.size(); ++i) {
        m_pending += cells[i];
        m_pending += i + 1 < cells.size() ? '\t' : '\n';
    }
    if (m_pending.size() < kChunk) return true;
    if (!m_cellsMade) {
        if (DWORD error = m_cells.create("", "lumivel-list-")) {
            *why = "no private temporary file can hold the table's rows until their widths are known (error " +
                   std::to_string(error) + ")";
            return false;
        }
        m_cellsMade = true;
    }
    if (DWORD error = m_cells.write(m_pending)) {
        *why = "the table's rows cannot be written to " + m_cells.path() + " (error " + std::to_string(error) + ")";
        return false;
    }
    m_pending.clear();
    return true;
}

bool ListingPrinter::finish(std::string* why) {
    if (outputFailed(why)) return false;
    if (m_cellsMade) {
        std::string line;
        std::vector<std::string_view> cells;
        char buffer[kChunk];
        for (off_t at = 0;;) {
            const ssize_t got = ::pread(m_cells.descriptor(), buffer, sizeof buffer, at);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                *why = "the table's rows cannot be read back from " + m_cells.path() + ": " + std::strerror(errno);
                return false;
            }
            if (got == 0) break;
            at += got;
            for (std::string_view rest(buffer, static_cast<size_t>(got)); !rest.empty();) {
                const size_t end = rest.find('\n');
                line.append(rest.substr(0, end));
                if (end == std::string_view::npos) break;
                splitCells(line, &cells);
                m_writer.writeCells(cells);
                if (outputFailed(why)) return false;
                line.clear();
                rest.remove_prefix(end + 1);
            }
        }
        if (!line.empty()) {
            *why = "the table's rows in " + m_cells.path() + " end with half a row";
            return false;
        }
    }
    std::vector<std::string_view> cells;
    for (std::string_view rest(m_pending); !rest.empty();) {
        const size_t end = rest.find('\n');
        splitCells(rest.substr(0, end), &cells);
        m_writer.writeCells(cells);
        rest.remove_prefix(end + 1);
    }
    m_pending.clear();
    m_writer.finish();
    return !outputFailed(why);
}

}  // namespace lumivel_cli
