#include "indexgen/output_directory.h"

#include <cstring>

#include "schemacache/index_location.h"
#include "win/strings.h"

namespace taxonis {
namespace {

// Arguments are in the ANSI code page.
std::u16string Widen(const char* text) {
    const int length = static_cast<int>(std::strlen(text));
    if (length == 0) return {};
    const int units = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    if (units <= 0) return {};
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), units);
    return wide;
}

}  // namespace

std::u16string CommandTail(int argc, char** argv) {
    std::u16string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) tail.push_back(u' ');
        tail += Widen(argv[i]);
    }
    return tail;
}

std::u16string OutputDirectory(std::u16string_view tail, std::u16string_view programDirectory) {
    if (!tail.empty()) return std::u16string(tail);
    return glossar::FileLocation(programDirectory);
}

}  // namespace taxonis
