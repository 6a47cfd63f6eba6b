// Running the test helper program and other children through CreateProcessW.
#pragma once

#include <string>

#include "win/winbase.h"

namespace lumivel::testing {

// The test helper program beside the running test.
std::u16string HelperPath();

struct ChildResult {
    DWORD exitCode = 0;
    std::string output;
};
// Runs a command line with CreateProcessW, its standard output and error in a file, and waits
// at most timeoutMs before ending it.
ChildResult RunChild(const std::u16string& commandLine, DWORD timeoutMs = 30000);

// Runs a shell command line (stdin from /dev/null) with the test's environment; the output
// holds standard output and error together, the exit code is 128 + the signal of a crash.
ChildResult RunShell(const std::string& command);
// A word quoted for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace lumivel::testing
