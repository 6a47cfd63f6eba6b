// regsvr [/u] [/s] <module.so>: registers or unregisters a COM server by calling its
// DllRegisterServer or DllUnregisterServer. Prints one line (nothing with /s) and exits with
// 0 on success, 1 on any failure.
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "lumivel/module_loading.h"
#include "lumivel/program_information.h"
#include "lumivel/system_messages.h"
#include "lumivel/text.h"
#include "win/com.h"
#include "win/errors.h"

namespace {

typedef HRESULT (*RegistrationEntry)();

// ": <text>" when the system knows the code, else ".".
std::string Explanation(DWORD code) {
    std::string text = lumivel::ToUtf8(lumivel::SystemMessageText(code));
    return text.empty() ? std::string(".") : ": " + text;
}

// Options are one letter after "/" or "-"; anything longer is a path (absolute paths start
// with "/" here).
bool LooksLikeOption(const char* argument) {
    return (argument[0] == '/' || argument[0] == '-') && argument[1] != '\0' && argument[2] == '\0';
}

bool IsOption(const char* argument, char letter) {
    return LooksLikeOption(argument) && (argument[1] == letter || argument[1] == letter - 32);
}

}  // namespace

constexpr char kUsage[] =
    "Usage: regsvr [/u] [/s] <module.so>\n"
    "Registers an in-process COM server by loading it and calling its DllRegisterServer;\n"
    "/u calls DllUnregisterServer instead, /s prints nothing. Exit status 0 on success, 1 on\n"
    "failure.\n";

int main(int argc, char** argv) {
    if (std::optional<int> answered = lumivel::AnswerHelpOrVersion(argc, argv, "regsvr", kUsage)) return *answered;
    bool unregister = false, silent = false;
    const char* module = nullptr;
    bool usage = false;
    for (int i = 1; i < argc; ++i) {
        if (IsOption(argv[i], 'u'))
            unregister = true;
        else if (IsOption(argv[i], 's'))
            silent = true;
        else if (LooksLikeOption(argv[i]) || module)
            usage = true;
        else
            module = argv[i];
    }
    auto fail = [&](const std::string& line) {
        if (!silent) std::fprintf(stderr, "%s\n", line.c_str());
        return 1;
    };
    if (usage || !module) return fail("Usage: regsvr [/u] [/s] <module.so>");

    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    std::string quoted = std::string("\"") + module + "\"";
    void* handle = nullptr;
    DWORD error = lumivel::OpenSharedObject(module, &handle);
    if (error != ERROR_SUCCESS) return fail("The module " + quoted + " failed to load" + Explanation(error));
    auto entry = reinterpret_cast<RegistrationEntry>(::dlsym(handle, entryName));
    if (!entry) {
        ::dlclose(handle);
        return fail("The module " + quoted + " was loaded but the entry-point " + entryName + " was not found.");
    }
    // Servers expect COM to be ready on the registering thread, as for any caller.
    HRESULT initialized = CoInitialize(nullptr);
    HRESULT hr = entry();
    if (SUCCEEDED(initialized)) CoUninitialize();
    ::dlclose(handle);
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof(code), "0x%08X", unsigned(hr));
        return fail("The module " + quoted + " was loaded but the call to " + entryName + " failed with error code " +
                    code + Explanation(DWORD(hr)));
    }
    if (!silent) std::printf("%s in %s succeeded.\n", entryName, module);
    return 0;
}
