// Feeds arbitrary bytes to the INF parser and reads back every field it delivers.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "inf_parser.h"

using namespace lumivel::setupapi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text = DecodeInfBytes(std::string_view(reinterpret_cast<const char*>(data), size));
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
