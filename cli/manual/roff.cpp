#include "cli/manual/roff.h"

#include <vector>

namespace lumivel_cli {

namespace {

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

bool isIndented(std::string_view line) { return line.size() >= 2 && line[0] == ' ' && line[1] == ' '; }

}  // namespace

std::string RoffText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    bool lineStart = true;
    for (const char c : text) {
        // "\&" before a request character at a line start makes it plain text.
        if (lineStart && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
        lineStart = c == '\n';
    }
    return out;
}

std::string RoffParagraphs(std::string_view text) {
    std::string out;
    bool inBlock = false;
    for (std::string_view line : linesOf(text)) {
        const bool indented = isIndented(line);
        if (indented && !inBlock) out += ".nf\n";
        if (!indented && inBlock) out += ".fi\n";
        inBlock = indented;
        if (line.empty()) out += ".PP\n";
        else out += RoffText(line) + "\n";
    }
    if (inBlock) out += ".fi\n";
    return out;
}

}  // namespace lumivel_cli
