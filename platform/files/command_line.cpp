// Splitting and joining Windows command lines.
#include "command_line.h"

namespace lumivel {
namespace {
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
    std::vector<std::u16string> arguments;
    size_t i = 0;
    // The program name: quotes group, backslashes are plain characters.
    {
        std::u16string first;
        bool quoted = false;
        for (; i < line.size(); ++i) {
            char16_t c = line[i];
            if (c == u'"') quoted = !quoted;
            else if (IsBlank(c) && !quoted) break;
            else first.push_back(c);
        }
        arguments.push_back(first);
    }
    for (;;) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size()) break;
        std::u16string argument;
        bool quoted = false;
        while (i < line.size()) {
            char16_t c = line[i];
            if (c == u'\\') {
                size_t slashes = 0;
                while (i < line.size() && line[i] == u'\\') ++slashes, ++i;
                if (i < line.size() && line[i] == u'"') {
                    argument.append(slashes / 2, u'\\');
                    if (slashes % 2) {
                        argument.push_back(u'"');
                        ++i;
                    }
                } else {
                    argument.append(slashes, u'\\');
                }
                continue;
            }
            if (c == u'"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                    argument.push_back(u'"');
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            if (IsBlank(c) && !quoted) break;
            argument.push_back(c);
            ++i;
        }
        arguments.push_back(argument);
    }
    return arguments;
}

std::u16string JoinCommandLine(const std::vector<std::u16string>& arguments) {
    std::u16string line;
    for (size_t n = 0; n < arguments.size(); ++n) {
        const std::u16string& a = arguments[n];
        if (n) line.push_back(u' ');
        if (n == 0) {
            line += u"\"" + a + u"\"";
            continue;
        }
        if (!a.empty() && a.find_first_of(u" \t\"") == std::u16string::npos) {
            line += a;
            continue;
        }
        line.push_back(u'"');
        size_t slashes = 0;
        for (char16_t c : a) {
            if (c == u'\\') {
                ++slashes;
                continue;
            }
            if (c == u'"') line.append(slashes * 2 + 1, u'\\');
            else line.append(slashes, u'\\');
            slashes = 0;
            line.push_back(c);
        }
        line.append(slashes * 2, u'\\');
        line.push_back(u'"');
    }
    return line;
}

}  // namespace lumivel
