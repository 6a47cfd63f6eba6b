#include "cli/progress.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace lumivel_cli {

Progress::Progress(const char* what) : m_enabled(isatty(STDERR_FILENO) == 1) {
    if (!m_enabled) return;
    std::fprintf(stderr, "%s...", what);
    m_thread = std::thread([this, what] {
        auto start = std::chrono::steady_clock::now();
        while (!m_done.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
            if (seconds.count() >= 1) std::fprintf(stderr, "\r%s... %llds", what, static_cast<long long>(seconds.count()));
        }
        std::fprintf(stderr, "\r\033[K");
    });
}

Progress::~Progress() {
    m_done = true;
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace lumivel_cli
