#include "cli/list_row_text.h"

#include "cli/terminal_text.h"

namespace lumivel_cli {

namespace {

// Printable ASCII without a quote or a backslash is its own literal; anything else goes the
// generic way, so that ill-formed UTF-8 and the controls come out exactly as there.
void appendJsonString(std::string_view text, std::string* out) {
    bool plain = true;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || byte == '"' || byte == '\\') {
            plain = false;
            break;
        }
    }
    if (plain) {
        *out += '"';
        *out += text;
        *out += '"';
        return;
    }
    std::string literal = JsonText(Json(std::string(text)));
    literal.pop_back();
    *out += literal;
}

void appendJsonTime(const std::string& isoUtc, std::string* out) {
    if (SecondsOfIsoUtc(isoUtc)) appendJsonString(isoUtc, out);
    else *out += "null";
}

void appendTsvField(std::string_view text, char end, std::string* out) {
    lumivel::AppendTerminalText(text, Escaping::Reversible, out);
    *out += end;
}

}  // namespace

std::array<std::string, kListTableColumns> ListTableCells(const DeletedRow& row) {
    return {TerminalText(row.name),     TerminalText(row.lastKnownParent), TerminalText(row.className),
            TerminalText(row.dateDeleted), TerminalText(row.expires),     TerminalText(row.guid),
            TerminalText(row.tombstone)};
}

void AppendListTsvLine(const DeletedRow& row, std::string* out) {
    appendTsvField(row.name, '\t', out);
    appendTsvField(row.lastKnownParent, '\t', out);
    appendTsvField(row.className, '\t', out);
    // Local times where a table shows them, as the schema's shown text has it.
    appendTsvField(row.dateDeleted, '\t', out);
    appendTsvField(SecondsOfIsoUtc(row.deletedUtc) ? row.deletedUtc : std::string(), '\t', out);
    appendTsvField(row.guid, '\t', out);
    appendTsvField(row.tombstoneName, '\t', out);
    appendTsvField(row.tombstone, '\t', out);
    appendTsvField(row.expires, '\t', out);
    appendTsvField(SecondsOfIsoUtc(row.expiresUtc) ? row.expiresUtc : std::string(), '\n', out);
}

void AppendListJsonRecord(const DeletedRow& row, bool first, std::string* out) {
    *out += first ? "\n    {\n      \"name\": " : ",\n    {\n      \"name\": ";
    appendJsonString(row.name, out);
    *out += ",\n      \"lastKnownParent\": ";
    appendJsonString(row.lastKnownParent, out);
    *out += ",\n      \"class\": ";
    appendJsonString(row.className, out);
    *out += ",\n      \"dateDeleted\": ";
    appendJsonTime(row.deletedUtc, out);
    *out += ",\n      \"deletedUtc\": ";
    appendJsonTime(row.deletedUtc, out);
    *out += ",\n      \"guid\": ";
    appendJsonString(row.guid, out);
    *out += ",\n      \"tombstoneName\": ";
    appendJsonString(row.tombstoneName, out);
    *out += ",\n      \"tombstone\": ";
    appendJsonString(row.tombstone, out);
    *out += ",\n      \"expires\": ";
    appendJsonTime(row.expiresUtc, out);
    *out += ",\n      \"expiresUtc\": ";
    appendJsonTime(row.expiresUtc, out);
    *out += "\n    }";
}

}  // namespace lumivel_cli
