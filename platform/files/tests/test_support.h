// Helpers shared by the file, process and registry tests.
#pragma once

#include <string>

#include "lumivel/text.h"
#include "win/winbase.h"

namespace lumivel::testing {

// A fresh directory under /tmp, removed with everything in it at the end of the scope.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    const std::string& path() const { return m_path; }
    std::u16string wide(const std::string& name = {}) const { return FromUtf8(name.empty() ? m_path : m_path + "/" + name); }

private:
    std::string m_path;
};

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

// The test helper program beside the running test.
std::u16string HelperPath();

struct ChildResult {
    DWORD exitCode = 0;
    std::string output;
};
// Runs a command line with CreateProcessW, its standard output in a file, and waits.
ChildResult RunChild(const std::u16string& commandLine, DWORD timeoutMs = 30000);

// Runs a shell command line (stdin from /dev/null) with the test's environment; the output
// holds standard output and error together, the exit code is 128 + the signal of a crash.
ChildResult RunShell(const std::string& command);
// A word quoted for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace lumivel::testing
