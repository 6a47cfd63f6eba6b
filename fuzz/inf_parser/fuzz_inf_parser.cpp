// Feeds arbitrary bytes to the INF parser and reads back every field it delivers; the first
// line also goes through the raw line splitter, which must agree with the parser on it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "inf_parser.h"
#include "provider/backup/raw_inf_field.h"

using namespace lumivel::setupapi;

namespace {

// The raw splitter takes a line as it stands; the parser gives some lines another meaning
// (headers, comments, continuations, the end-of-file mark), and those are not compared.
bool IsPlainEntry(std::u16string_view line) {
    size_t first = 0;
    while (first < line.size() && revivo::IsInfBlank(line[first])) ++first;
    if (first == line.size() || line[first] == u'[' || line[first] == u';') return false;
    return line.find(u'\\') == std::u16string_view::npos && line.find(u'\x1a') == std::u16string_view::npos;
}

void CompareWithRawSplitter(std::u16string_view text) {
    std::u16string_view line = text.substr(0, text.find(u'\n'));
    while (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    if (!IsPlainEntry(line)) return;
    InfDocument document;
    std::u16string wrapped = u"[S]\n" + std::u16string(line) + u"\n";
    if (ParseInfText(wrapped, document).error) __builtin_trap();  // a plain entry always parses
    const InfLine& parsed = document.Section(*document.FindSection(u"S")).lines.at(0);
    for (uint32_t field = 0; field <= parsed.fieldCount + 1; ++field) {
        std::optional<std::u16string_view> expected = document.Field(parsed, field);
        std::optional<std::u16string> raw = revivo::ExtractRawField(line, field);
        if (expected.has_value() != raw.has_value() || (raw && *raw != *expected)) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text = DecodeInfBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    CompareWithRawSplitter(text);
    InfDocument document;
    InfParseResult result = ParseInfText(text, document);
    if (result.error) return 0;
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
