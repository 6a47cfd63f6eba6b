#include "lumivel/console_launch.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string>

namespace lumivel::console {

namespace {

// The entry libplatform-qt exports for this: its console, by C name so that no C++ symbol
// has to be looked up.
using ConsoleEntry = int (*)(const CLSID* snapin);
constexpr char kEntry[] = "LumivelRunConsole";

bool hasEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

bool ConsoleCanShow() {
    return hasEnvironment("DISPLAY") || hasEnvironment("WAYLAND_DISPLAY") || hasEnvironment("QT_QPA_PLATFORM");
}

int LaunchConsole(const CLSID* snapin, std::string* why) {
    // Beside libplatform, by its full path: no search path decides which library runs.
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void*>(&LaunchConsole), &self) || !self.dli_fname) {
        *why = "the folder of libplatform cannot be told";
        return -1;
    }
    std::string path = self.dli_fname;
    path = path.substr(0, path.rfind('/') + 1) + "libplatform-qt.so";
    // Never closed: the console's threads and Qt's own may outlive the call.
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!library) {
        const char* error = ::dlerror();
        *why = "the console's library cannot be loaded: " + std::string(error ? error : path);
        return -1;
    }
    auto entry = reinterpret_cast<ConsoleEntry>(::dlsym(library, kEntry));
    if (!entry) {
        *why = path + " has no console entry";
        return -1;
    }
    return entry(snapin);
}

}  // namespace lumivel::console
