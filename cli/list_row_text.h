// A listed tombstone's row as each format spells it, written straight from the row: what the
// schema's generic records give byte for byte, without a JSON document or a map per row, for
// listings of a hundred thousand rows.
#pragma once

#include <array>
#include <string>

#include "cli/cli_output.h"

namespace lumivel_cli {

// The table's cells in its column order, each made harmless for a terminal.
constexpr size_t kListTableColumns = 7;
std::array<std::string, kListTableColumns> ListTableCells(const DeletedRow& row);
// The same into cells of the caller's, whose room a listing keeps from row to row.
void ListTableCells(const DeletedRow& row, std::array<std::string, kListTableColumns>* cells);

// Appends the row's TSV line, line feed included.
void AppendListTsvLine(const DeletedRow& row, std::string* out);

// Appends the row's JSON object as it stands in the listing's array (two levels in), after
// the separator that the first row (first) or a later one takes.
void AppendListJsonRecord(const DeletedRow& row, bool first, std::string* out);

}  // namespace lumivel_cli
