#include "tests/support/pseudo_terminal.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace lumivel::testing {

TerminalRun RunOnTerminal(const std::vector<std::string>& argv, std::chrono::milliseconds limit,
                          const std::string& typed) {
    TerminalRun run;
    if (argv.empty()) return run;
    std::vector<char*> arguments;
    for (const std::string& word : argv) arguments.push_back(const_cast<char*>(word.c_str()));
    arguments.push_back(nullptr);

    int terminal = -1;
    pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child < 0) return run;
    if (child == 0) {
        execv(arguments[0], arguments.data());
        _exit(127);
    }
    if (!typed.empty() && write(terminal, typed.data(), typed.size()) < 0) run.output += "(typing failed)";

    auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    bool exited = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd readable{terminal, POLLIN, 0};
        int ready = poll(&readable, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
        if (ready > 0) {
            char buffer[4096];
            ssize_t got = read(terminal, buffer, sizeof buffer);
            if (got > 0) {
                run.output.append(buffer, static_cast<size_t>(got));
                continue;
            }
            // EIO: the child's side of the terminal is closed; it has ended or is ending.
        }
        if (waitpid(child, &status, WNOHANG) == child) {
            exited = true;
            break;
        }
        if (ready < 0 && errno != EINTR) break;
    }
    if (!exited) {
        run.timedOut = true;
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    } else {
        // What the child wrote just before it ended.
        char buffer[4096];
        pollfd readable{terminal, POLLIN, 0};
        ssize_t got;
        while (poll(&readable, 1, 0) > 0 && (got = read(terminal, buffer, sizeof buffer)) > 0)
            run.output.append(buffer, static_cast<size_t>(got));
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    close(terminal);
    return run;
}

}  // namespace lumivel::testing
