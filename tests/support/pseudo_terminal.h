// Running a program on a pseudo-terminal of its own, as an administrator at a terminal runs
// it: standard input, output and error are the terminal, and nothing is typed unless given.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace lumivel::testing {

struct TerminalRun {
    int exitCode = -1;        // -1 when it did not exit by itself
    bool timedOut = false;    // still running at the limit (waiting for input), then killed
    std::string output;       // everything it wrote to the terminal
};

// Runs the program (argv[0] a path) with the caller's environment. `typed` is written to the
// terminal once the program started; with nothing typed, a program that waits for input
// runs into the limit.
TerminalRun RunOnTerminal(const std::vector<std::string>& argv, std::chrono::milliseconds limit,
                          const std::string& typed = {});

}  // namespace lumivel::testing
