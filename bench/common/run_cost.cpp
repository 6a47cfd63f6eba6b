#include "bench/common/run_cost.h"

#include "bench/common/timed_process.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace bench {

namespace {

double monotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double childrenCpuSeconds() {
    struct rusage usage{};
    if (getrusage(RUSAGE_CHILDREN, &usage) != 0) return 0;
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

std::optional<double> CpuSecondsOfStatLine(const std::string& line, long ticksPerSecond) {
    // The fields after the name: state is the 3rd of the line, utime and stime the 14th and 15th.
    size_t nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos || ticksPerSecond <= 0) return std::nullopt;
    std::istringstream fields(line.substr(nameEnd + 1));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int index = 3; index <= 15; ++index) {
        if (!(fields >> field)) return std::nullopt;
        if (index < 14) continue;
        char* end = nullptr;
        unsigned long long value = std::strtoull(field.c_str(), &end, 10);
        if (end == field.c_str() || *end != '\0') return std::nullopt;
        (index == 14 ? user : system) = value;
    }
    return static_cast<double>(user + system) / static_cast<double>(ticksPerSecond);
}

std::optional<double> ProcessCpuSeconds(pid_t pid) {
    if (pid <= 0) return std::nullopt;
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line)) return std::nullopt;
    return CpuSecondsOfStatLine(line, sysconf(_SC_CLK_TCK));
}

pid_t TestDcPid() {
    const char* folder = std::getenv("TESTDC_DIR");
    if (!folder || !*folder) return 0;
    std::ifstream file(std::string(folder) + "/dc.pid");
    long pid = 0;
    if (!(file >> pid) || pid <= 0) return 0;
    return static_cast<pid_t>(pid);
}

RunCost::RunCost(pid_t dc)
    : m_dc(dc), m_dcStart(ProcessCpuSeconds(dc)), m_childStart(childrenCpuSeconds()), m_start(monotonicSeconds()) {
    m_sampler = std::thread([this] {
        // Sampled at once too, so that a run shorter than a second still has its load.
        while (true) {
            if (const std::optional<std::array<double, 3>> load = LoadAverages()) {
                m_loadSum = m_loadSum + (*load)[0];
                ++m_loadSamples;
            }
            for (int tick = 0; tick < 10; ++tick) {
                if (m_stopping) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
    });
}

RunCost::~RunCost() {
    m_stopping = true;
    if (m_sampler.joinable()) m_sampler.join();
}

RunFigures RunCost::stop() {
    m_stopping = true;
    if (m_sampler.joinable()) m_sampler.join();
    RunFigures figures;
    figures.seconds = monotonicSeconds() - m_start;
    std::optional<double> dcNow = ProcessCpuSeconds(m_dc);
    if (m_dcStart && dcNow && *dcNow >= *m_dcStart) figures.dcCpu = *dcNow - *m_dcStart;
    figures.childCpu = childrenCpuSeconds() - m_childStart;
    figures.meanLoad = m_loadSamples > 0 ? m_loadSum / static_cast<double>(m_loadSamples) : 0;
    return figures;
}

std::string DescribeCost(const RunFigures& figures) {
    char text[128];
    if (figures.dcCpu)
        std::snprintf(text, sizeof text, "DC CPU %.1f s, the programs' %.1f s, load %.2f", *figures.dcCpu,
                      figures.childCpu, figures.meanLoad);
    else
        std::snprintf(text, sizeof text, "DC CPU unknown, the programs' %.1f s, load %.2f", figures.childCpu,
                      figures.meanLoad);
    return text;
}

}  // namespace bench
