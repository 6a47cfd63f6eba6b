#include "bench/common/shell_command.h"

#include <cstdio>

namespace bench {

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string CommandOutput(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t read;
    while (pipe && (read = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, read);
    if (pipe) pclose(pipe);
    return out;
}

std::string LdapToolOptions(const std::string& server) { return "-Q -Y GSSAPI -N -O minssf=56 -H ldap://" + server; }

}  // namespace bench
