// Running the test helper program and other children through CreateProcessW, and shell
// command lines with what tests need around them: input, standard error apart, changes to the
// environment, and a time limit, for no test may wait on a child for ever.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "win/winbase.h"

namespace lumivel::testing {

// The test helper program beside the running test.
std::u16string HelperPath();

struct ChildResult {
    DWORD exitCode = 0;
    std::string output;
    std::string errors;     // standard error, when it was kept apart
    bool timedOut = false;  // still running at the limit, then killed
};
// Runs a command line with CreateProcessW, its standard output and error in a file, and waits
// at most timeoutMs before ending it.
ChildResult RunChild(const std::u16string& commandLine, DWORD timeoutMs = 30000);

enum class ErrorStream { WithOutput, Apart };

struct ShellOptions {
    // Written to standard input, which then ends; without it standard input is /dev/null.
    std::optional<std::string> input;
    ErrorStream errors = ErrorStream::WithOutput;
    // Variables set for the child, or removed from its environment when without a value.
    std::vector<std::pair<std::string, std::optional<std::string>>> environment;
    // The child and everything it started in its process group are killed at the limit.
    std::chrono::milliseconds limit = std::chrono::minutes(5);
};

// Runs a shell command line (/bin/sh -c) with the test's environment and the options; the
// exit code is 128 + the signal when it was ended by one (a crash, or the limit).
ChildResult RunShell(const std::string& command, const ShellOptions& options = {});
// The standard output of a shell command line, its standard error dropped.
std::string ShellOutput(const std::string& command);
// A word quoted for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace lumivel::testing
