// Feeds arbitrary bytes to the INF parser and reads back every field it delivers. The raw
// reader's line joiner and field splitter go through the same text and must find every line
// of every section that the parser finds, with the same fields.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "inf_parser.h"
#include "provider/backup/raw_inf_field.h"
#include "provider/backup/raw_inf_lines.h"

using namespace lumivel::setupapi;

namespace {

// The name between the brackets of a header line, as the parser takes it.
std::u16string_view HeaderName(std::u16string_view line) {
    size_t open = line.find(u'[');
    size_t close = line.find(u']', open);
    return line.substr(open + 1, close == std::u16string_view::npos ? 0 : close - open - 1);
}

void CompareWithRawReader(std::u16string_view text, const InfDocument& document) {
    revivo::RawInfLines lines;
    std::vector<size_t> seen(document.SectionCount(), 0);
    std::optional<size_t> section;
    auto take = [&](revivo::RawInfLines::Kind kind) {
        if (kind == revivo::RawInfLines::Kind::Header) {
            section = document.FindSection(HeaderName(lines.text()));
            if (!section) __builtin_trap();  // a header the parser did not take as one
        } else if (kind == revivo::RawInfLines::Kind::Entry) {
            if (!section) __builtin_trap();  // the parser refuses an entry before any section
            const InfSection& parsed = document.Section(*section);
            if (seen[*section] >= parsed.lines.size()) __builtin_trap();  // a line the parser does not have
            const InfLine& line = parsed.lines[seen[*section]++];
            for (uint32_t field = 0; field <= line.fieldCount + 1; ++field) {
                std::optional<std::u16string_view> expected = document.Field(line, field);
                std::optional<std::u16string> raw = revivo::ExtractRawField(lines.text(), field, lines.joins());
                if (expected.has_value() != raw.has_value() || (raw && *raw != *expected)) __builtin_trap();
            }
        }
    };
    // Raw lines as the reader reads them from a file: split at line feeds, without the
    // carriage returns that end them.
    size_t start = 0;
    while (start <= text.size() && !lines.ended()) {
        size_t end = text.find(u'\n', start);
        std::u16string_view line = text.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
        while (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        if (end == std::u16string_view::npos && line.empty()) break;  // nothing after the last line feed
        take(lines.add(line));
        if (end == std::u16string_view::npos) break;
        start = end + 1;
    }
    take(lines.finish());
    for (size_t s = 0; s < seen.size(); ++s)
        if (seen[s] != document.Section(s).lines.size()) __builtin_trap();  // a line the raw reader missed
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text = DecodeInfBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    InfDocument document;
    InfParseResult result = ParseInfText(text, document);
    if (result.error) return 0;
    CompareWithRawReader(text, document);
    CheckWin4Version(document, u"Revivo_Backup");
    size_t characters = 0;
    for (size_t s = 0; s < document.SectionCount(); ++s) {
        const InfSection& section = document.Section(s);
        std::optional<size_t> found = document.FindSection(section.name);
        if (!found || *found != s) __builtin_trap();  // every section must be found by its own name
        for (const InfLine& line : section.lines) {
            for (uint32_t field = 0; field <= line.fieldCount + 1; ++field) {
                if (std::optional<std::u16string_view> text = document.Field(line, field)) characters += text->size();
            }
        }
    }
    if (characters > 2 * text.size() + 16) __builtin_trap();  // fields never outgrow their source
    return 0;
}
