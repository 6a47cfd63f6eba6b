// A line on stderr that shows a long step is still running, on a terminal only.
#pragma once

#include <atomic>
#include <thread>

namespace lumivel_cli {

class Progress {
public:
    explicit Progress(const char* what);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

private:
    bool m_enabled;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

}  // namespace lumivel_cli
