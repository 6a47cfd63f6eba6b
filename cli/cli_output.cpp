#include "cli/cli_output.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace lumivel_cli {

namespace {

constexpr std::array<const char*, 5> kHeadings = {"Name", "Last Known Parent", "Class", "Date Deleted", "Tombstone"};

std::array<std::string, 5> fieldsOf(const DeletedRow& row, bool readable) {
    return {readable ? ReadableName(row.name) : row.name, row.lastKnownParent, row.className, row.dateDeleted,
            row.tombstone};
}

// Columns are measured in code points, which is what a terminal advances for most text.
size_t displayWidth(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// Control characters would break a table line.
std::string printable(const std::string& text) {
    std::string out;
    for (char c : text) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? ' ' : c;
    return out;
}

std::string tsvField(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", byte);
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string table(const std::vector<DeletedRow>& rows) {
    std::array<size_t, 5> widths{};
    for (size_t i = 0; i < kHeadings.size(); ++i) widths[i] = displayWidth(kHeadings[i]);
    std::vector<std::array<std::string, 5>> cells;
    cells.reserve(rows.size());
    for (const DeletedRow& row : rows) {
        auto fields = fieldsOf(row, true);
        for (auto& field : fields) field = printable(field);
        for (size_t i = 0; i < fields.size(); ++i) widths[i] = std::max(widths[i], displayWidth(fields[i]));
        cells.push_back(std::move(fields));
    }
    std::string out;
    auto line = [&](const std::array<std::string, 5>& fields) {
        for (size_t i = 0; i < fields.size(); ++i) {
            out += fields[i];
            if (i + 1 < fields.size()) out.append(widths[i] - displayWidth(fields[i]) + 2, ' ');
        }
        out += '\n';
    };
    line({kHeadings[0], kHeadings[1], kHeadings[2], kHeadings[3], kHeadings[4]});
    for (const auto& fields : cells) line(fields);
    return out;
}

}  // namespace

std::string ReadableName(const std::string& name) {
    size_t lineFeed = name.find('\n');
    return lineFeed == std::string::npos ? name : name.substr(0, lineFeed);
}

std::string FormatRows(const std::vector<DeletedRow>& rows, OutputFormat format) {
    switch (format) {
        case OutputFormat::Table: return table(rows);
        case OutputFormat::Tsv: {
            std::string out = "name\tlastKnownParent\tclass\tdateDeleted\ttombstone\n";
            for (const DeletedRow& row : rows) {
                auto fields = fieldsOf(row, false);
                for (size_t i = 0; i < fields.size(); ++i) out += tsvField(fields[i]) + (i + 1 < fields.size() ? "\t" : "\n");
            }
            return out;
        }
        case OutputFormat::Json: {
            std::string out = "[";
            const char* keys[] = {"name", "lastKnownParent", "class", "dateDeleted", "tombstone"};
            for (size_t r = 0; r < rows.size(); ++r) {
                auto fields = fieldsOf(rows[r], false);
                out += r == 0 ? "\n  {" : ",\n  {";
                for (size_t i = 0; i < fields.size(); ++i)
                    out += std::string(i ? ", " : "") + "\"" + keys[i] + "\": " + jsonString(fields[i]);
                out += "}";
            }
            return out + (rows.empty() ? "]\n" : "\n]\n");
        }
    }
    return {};
}

}  // namespace lumivel_cli
