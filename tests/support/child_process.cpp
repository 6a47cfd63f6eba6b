#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "lumivel/text.h"
#include "tests/support/temporary_directory.h"

extern char** environ;

namespace lumivel::testing {

std::u16string HelperPath() {
    WCHAR self[4096];
    DWORD n = GetModuleFileNameW(nullptr, self, 4096);
    std::u16string path(self, n);
    return path.substr(0, path.rfind(u'/') + 1) + u"lumivel_test_helper";
}

ChildResult RunChild(const std::u16string& commandLine, DWORD timeoutMs) {
    TemporaryDirectory dir;
    std::u16string outputPath = dir.wide("out.txt");
    HANDLE output = CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION info{};
    std::u16string line = commandLine;
    ChildResult result;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        result.exitCode = 0xFFFFFFFF;
        result.output = "CreateProcessW failed " + std::to_string(GetLastError());
        CloseHandle(output);
        return result;
    }
    CloseHandle(output);
    if (WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 0xDEAD);
        result.timedOut = true;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    GetExitCodeProcess(info.hProcess, &result.exitCode);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    result.output = ReadText(ToUtf8(outputPath));
    return result;
}

namespace {

// The test's environment with the options' changes, as execve takes it.
std::vector<std::string> ChildEnvironment(const ShellOptions& options) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        size_t equals = text.find('=');
        if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : options.environment) {
        if (value)
            variables[name] = *value;
        else
            variables.erase(name);
    }
    std::vector<std::string> out;
    for (const auto& [name, value] : variables) out.push_back(name + "=" + value);
    return out;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
    std::vector<char*> out;
    for (std::string& word : words) out.push_back(word.data());
    out.push_back(nullptr);
    return out;
}

struct Pipe {
    int read = -1, write = -1;
    bool open() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return false;
        read = ends[0], write = ends[1];
        return true;
    }
    static void Close(int& end) {
        if (end >= 0) close(end);
        end = -1;
    }
    ~Pipe() {
        Close(read);
        Close(write);
    }
};

// Writing to a child that stopped reading must fail with EPIPE, not end the test: SIGPIPE is
// held back on this thread while the child runs, and one it raised is taken away again.
class HeldBrokenPipe {
public:
    HeldBrokenPipe() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, &m_before);
        m_wasHeld = sigismember(&m_before, SIGPIPE) == 1;
    }
    ~HeldBrokenPipe() {
        if (m_wasHeld) return;
        sigset_t pending, pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        const timespec now{0, 0};
        while (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1 &&
               sigtimedwait(&pipe, nullptr, &now) == SIGPIPE) {
        }
        pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
    }
    const sigset_t& before() const { return m_before; }

private:
    sigset_t m_before;
    bool m_wasHeld = false;
};

}  // namespace

ChildResult RunShell(const std::string& command, const ShellOptions& options) {
    ChildResult result;
    result.exitCode = 0xFFFFFFFF;
    std::vector<std::string> arguments = {"sh", "-c", command};
    std::vector<std::string> environment = ChildEnvironment(options);
    std::vector<char*> argv = Pointers(arguments), envp = Pointers(environment);
    Pipe output, errors, input;
    const bool apart = options.errors == ErrorStream::Apart;
    if (!output.open() || (apart && !errors.open()) || (options.input && !input.open())) {
        result.output = "no pipe for the child: " + std::to_string(errno);
        return result;
    }
    const int nullInput = options.input ? -1 : open("/dev/null", O_RDONLY | O_CLOEXEC);
    HeldBrokenPipe held;
    const pid_t child = fork();
    if (child == 0) {
        // Its own process group, so that the limit ends whatever it started as well.
        setpgid(0, 0);
        dup2(options.input ? input.read : nullInput, 0);
        dup2(output.write, 1);
        dup2(apart ? errors.write : output.write, 2);
        sigprocmask(SIG_SETMASK, &held.before(), nullptr);
        execve("/bin/sh", argv.data(), envp.data());
        _exit(127);
    }
    if (nullInput >= 0) close(nullInput);
    if (child < 0) {
        result.output = "fork failed: " + std::to_string(errno);
        return result;
    }
    setpgid(child, child);
    Pipe::Close(output.write);
    Pipe::Close(errors.write);
    Pipe::Close(input.read);
    if (input.write >= 0) fcntl(input.write, F_SETFL, O_NONBLOCK);

    const auto deadline = std::chrono::steady_clock::now() + options.limit;
    auto left = [&] {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return std::max<long long>(ms.count(), 0);
    };
    size_t written = 0;
    const std::string typed = options.input.value_or(std::string());
    if (input.write >= 0 && typed.empty()) Pipe::Close(input.write);
    while ((output.read >= 0 || errors.read >= 0 || input.write >= 0) && left() > 0) {
        pollfd watched[3];
        int count = 0;
        for (int fd : {output.read, errors.read}) {
            if (fd >= 0) watched[count++] = {fd, POLLIN, 0};
        }
        if (input.write >= 0) watched[count++] = {input.write, POLLOUT, 0};
        int ready = poll(watched, count, static_cast<int>(std::min<long long>(left(), 1000)));
        if (ready < 0 && errno != EINTR) break;
        for (int i = 0; i < count && ready > 0; ++i) {
            if (!watched[i].revents) continue;
            if (watched[i].fd == input.write) {
                ssize_t n = write(input.write, typed.data() + written, typed.size() - written);
                if (n > 0) written += static_cast<size_t>(n);
                if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == typed.size()) Pipe::Close(input.write);
                continue;
            }
            char buffer[65536];
            ssize_t n = read(watched[i].fd, buffer, sizeof buffer);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            std::string& text = watched[i].fd == output.read ? result.output : result.errors;
            if (n > 0) {
                text.append(buffer, static_cast<size_t>(n));
            } else {
                Pipe::Close(watched[i].fd == output.read ? output.read : errors.read);
            }
        }
    }
    const bool drained = output.read < 0 && errors.read < 0;
    Pipe::Close(input.write);

    int status = 0;
    pid_t reaped = 0;
    while (drained && (reaped = waitpid(child, &status, WNOHANG)) == 0 && left() > 0) usleep(10000);
    if (!drained || reaped != child) {
        // The shell, or something it left running, still holds on. The shell is not reaped
        // yet, so its group id cannot have been reused.
        kill(-child, SIGKILL);
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        result.timedOut = true;
        (apart ? result.errors : result.output) +=
            "\n(killed after " + std::to_string(options.limit.count()) + " ms: " + command + ")\n";
    }
    result.exitCode = static_cast<DWORD>(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return result;
}

std::string ShellOutput(const std::string& command) {
    ShellOptions options;
    options.errors = ErrorStream::Apart;
    return RunShell(command, options).output;
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace lumivel::testing
