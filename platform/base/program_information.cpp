#include "lumivel/program_information.h"

#include <cstdio>
#include <cstring>

#ifndef LUMIVEL_VERSION
#define LUMIVEL_VERSION "unknown"
#endif

namespace lumivel {

std::string ProgramVersionText(std::string_view program) {
    return std::string(program) + " (Tarvo Lumivel) " LUMIVEL_VERSION "\n";
}

std::optional<int> AnswerHelpOrVersion(int argc, char** argv, std::string_view program, std::string_view usage) {
    if (argc != 2) return std::nullopt;
    const char* word = argv[1];
    std::string text;
    if (std::strcmp(word, "--help") == 0 || std::strcmp(word, "-h") == 0)
        text = std::string(usage);
    else if (std::strcmp(word, "--version") == 0)
        text = ProgramVersionText(program);
    else
        return std::nullopt;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    return written ? 0 : 1;
}

}  // namespace lumivel
