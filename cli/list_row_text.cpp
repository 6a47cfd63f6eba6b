#include "cli/list_row_text.h"

#include <array>

#include "cli/terminal_text.h"

namespace lumivel_cli {

namespace {

// The bytes a JSON string holds as they are: printable ASCII but the quote and the backslash.
constexpr std::array<bool, 256> kJsonPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x7F; ++c) plain[c] = c != '"' && c != '\\';
    return plain;
}();

// ASCII is escaped here as the generic way escapes it (every tombstone's own name holds a line
// feed); text beyond ASCII goes the generic way, so that ill-formed UTF-8 and the C1 and
// bidirectional controls come out exactly as there.
void appendJsonString(std::string_view text, std::string* out) {
    static constexpr char kHex[] = "0123456789abcdef";
    const size_t begun = out->size();
    *out += '"';
    size_t plain = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (kJsonPlain[byte]) continue;
        if (byte >= 0x80) {
            out->resize(begun);
            std::string literal = JsonText(Json(std::string(text)));
            literal.pop_back();
            *out += literal;
            return;
        }
        out->append(text.substr(plain, i - plain));
        plain = i + 1;
        switch (byte) {
            case '"': *out += "\\\""; break;
            case '\\': *out += "\\\\"; break;
            case '\b': *out += "\\b"; break;
            case '\f': *out += "\\f"; break;
            case '\n': *out += "\\n"; break;
            case '\r': *out += "\\r"; break;
            case '\t': *out += "\\t"; break;
            default:
                *out += "\\u00";
                *out += kHex[byte >> 4];
                *out += kHex[byte & 0xF];
        }
    }
    out->append(text.substr(plain));
    *out += '"';
}

// A time is its text when it is one, else null; its check is made once for its two fields.
void appendJsonTime(const std::string& isoUtc, bool valid, std::string* out) {
    if (valid) appendJsonString(isoUtc, out);
    else *out += "null";
}

void appendTsvField(std::string_view text, char end, std::string* out) {
    lumivel::AppendTerminalText(text, Escaping::Reversible, out);
    *out += end;
}

}  // namespace

std::array<std::string, kListTableColumns> ListTableCells(const DeletedRow& row) {
    std::array<std::string, kListTableColumns> cells;
    ListTableCells(row, &cells);
    return cells;
}

void ListTableCells(const DeletedRow& row, std::array<std::string, kListTableColumns>* cells) {
    const std::string* fields[kListTableColumns] = {&row.name,    &row.lastKnownParent, &row.className, &row.dateDeleted,
                                                    &row.expires, &row.guid,            &row.tombstone};
    for (size_t i = 0; i < kListTableColumns; ++i) {
        (*cells)[i].clear();
        lumivel::AppendTerminalText(*fields[i], Escaping::Readable, &(*cells)[i]);
    }
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
    const bool deleted = SecondsOfIsoUtc(row.deletedUtc).has_value();
    const bool expires = SecondsOfIsoUtc(row.expiresUtc).has_value();
    *out += ",\n      \"dateDeleted\": ";
    appendJsonTime(row.deletedUtc, deleted, out);
    *out += ",\n      \"deletedUtc\": ";
    appendJsonTime(row.deletedUtc, deleted, out);
    *out += ",\n      \"guid\": ";
    appendJsonString(row.guid, out);
    *out += ",\n      \"tombstoneName\": ";
    appendJsonString(row.tombstoneName, out);
    *out += ",\n      \"tombstone\": ";
    appendJsonString(row.tombstone, out);
    *out += ",\n      \"expires\": ";
    appendJsonTime(row.expiresUtc, expires, out);
    *out += ",\n      \"expiresUtc\": ";
    appendJsonTime(row.expiresUtc, expires, out);
    *out += "\n    }";
}

}  // namespace lumivel_cli
