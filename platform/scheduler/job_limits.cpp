#include "job_limits.h"

#include <signal.h>

#include <cstdlib>

#include "lumivel/text.h"
#include "lumivel/wide_string.h"

namespace lumivel::scheduler {
namespace {

constexpr uint64_t kDefaultMemoryMegabytes = 4096;
constexpr uint64_t kDefaultProcessorSeconds = 4 * 60 * 60;
constexpr uint64_t kJobAccountProcesses = 512;

uint64_t Setting(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text, &end, 10);
    return end && *end == '\0' && text[0] != '-' ? value : fallback;
}

bool IsScriptHost(const std::u16string& applicationName) {
    std::u16string name = applicationName;
    if (name.size() >= 2 && name.front() == u'"' && name.back() == u'"') name = name.substr(1, name.size() - 2);
    const size_t slash = name.find_last_of(u"/\\");
    if (slash != std::u16string::npos) name = name.substr(slash + 1);
    return AsciiEqualsNoCase(name, u"wscript") || AsciiEqualsNoCase(name, u"wscript.exe");
}

}  // namespace

ProcessLimits JobLimits(bool jobAccount) {
    ProcessLimits limits;
    const uint64_t megabytes = Setting("LUMIVEL_JOB_MEMORY_LIMIT_MB", kDefaultMemoryMegabytes);
    if (kAddressSpaceCanBeBounded) limits.addressSpaceBytes = megabytes > (UINT64_MAX >> 20) ? 0 : megabytes << 20;
    limits.cpuSeconds = Setting("LUMIVEL_JOB_CPU_LIMIT_SECONDS", kDefaultProcessorSeconds);
    // Counted per account: only where the account is the runs' alone.
    if (jobAccount) limits.processes = kJobAccountProcesses;
    return limits;
}

std::string LimitThatEndedRun(const ProcessLimits& limits, const ProcessEnd& end, DWORD exitCode,
                              const std::u16string& applicationName, bool* processorLimit) {
    *processorLimit = false;
    if (limits.cpuSeconds &&
        (end.signal == SIGXCPU || (end.signal == SIGKILL && end.cpuSeconds >= static_cast<double>(limits.cpuSeconds)))) {
        *processorLimit = true;
        return "it used up its processor time limit of " + std::to_string(limits.cpuSeconds) + " seconds";
    }
    if (limits.addressSpaceBytes && exitCode == kScriptHostOutOfMemory && end.signal == 0 && IsScriptHost(applicationName))
        return "it ran out of memory: a run may use " + std::to_string(limits.addressSpaceBytes >> 20) +
               " MiB of address space";
    return {};
}

}  // namespace lumivel::scheduler
