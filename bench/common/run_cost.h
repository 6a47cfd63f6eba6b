// What a timed run cost besides its wall-clock time: the test DC's processor time, that of the
// programs the benchmark ran, and the machine's mean load over it. Two runs made at different
// loads can then still be compared by the work they gave the DC.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

namespace bench {

// Processor seconds (user and system, every thread) in a /proc/PID/stat line; nothing when the
// line cannot be read. The command name in parentheses may itself hold spaces and parentheses.
std::optional<double> CpuSecondsOfStatLine(const std::string& line, long ticksPerSecond);

// The same for a running process.
std::optional<double> ProcessCpuSeconds(pid_t pid);

// The first test DC's process, from $TESTDC_DIR/dc.pid (testdc exec sets it); 0 when unknown.
// testdc runs the DC as a single process, so that its processor time holds all its LDAP work.
pid_t TestDcPid();

struct RunFigures {
    double seconds = 0;
    std::optional<double> dcCpu;  // nothing when the DC's process could not be read
    double childCpu = 0;          // the programs run meanwhile, waited for
    double meanLoad = 0;          // the 1-minute load average, sampled every second
};

// Started when made; stop() gives the figures from then on. Samples the load on a thread of its
// own, so that a run of hours is averaged over its whole length, not read at its end.
class RunCost {
public:
    explicit RunCost(pid_t dc);
    ~RunCost();
    RunCost(const RunCost&) = delete;
    RunCost& operator=(const RunCost&) = delete;
    RunFigures stop();

private:
    pid_t m_dc;
    std::optional<double> m_dcStart;
    double m_childStart = 0;
    double m_start = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<double> m_loadSum{0};
    std::atomic<long> m_loadSamples{0};
    std::thread m_sampler;
};

// "DC CPU 12.3 s, the programs' 4.5 s, load 3.20" for beside a figure.
std::string DescribeCost(const RunFigures& figures);

}  // namespace bench
