#include "bench/common/console_setup.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "bench/common/timed_process.h"

namespace bench {

bool PrepareConsole(const char* name, const std::string& folder, const std::string& domain) {
    setenv("LUMIVEL_MACHINE_HIVE", (folder + "/machine.hive").c_str(), 1);
    setenv("LUMIVEL_USER_HIVE", (folder + "/user.hive").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string runtime = folder + "/runtime";
    std::filesystem::create_directory(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    for (const char* module : {"RevivoProvider.so", "RevivoSnapin.so", "Glossar.so", "Panorel.so"})
        if (TimeProcess({bin + "/regsvr", "/s", bin + "/" + module}) < 0) {
            std::fprintf(stderr, "%s: cannot register %s/%s\n", name, bin.c_str(), module);
            return false;
        }
    if (TimeProcess({bin + "/lumivel", "connect", domain}) < 0) {
        std::fprintf(stderr, "%s: lumivel connect %s failed\n", name, domain.c_str());
        return false;
    }
    return true;
}

}  // namespace bench
