// Choosing and installing the UI backend.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "ui_internal.h"

namespace lumivel::ui {
namespace {

// The backend lives as long as the process: callers hold references to it, and tearing it
// down at exit would run after the threads' own state (queues, Qt) is gone. Replaced
// backends stay alive for the same reason.
struct Selection {
    std::recursive_mutex mutex;
    std::shared_ptr<Backend> backend;
    std::vector<std::shared_ptr<Backend>> retired;
};

Selection& TheSelection() {
    static auto* selection = new Selection;
    return *selection;
}

std::map<std::string, std::function<std::shared_ptr<Backend>()>>& Factories() {
    static auto* factories = new std::map<std::string, std::function<std::shared_ptr<Backend>()>>;
    return *factories;
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// libplatform-qt lies beside libplatform; loading it registers its factory.
void LoadQtLibrary() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&LoadQtLibrary), &info) == 0 || info.dli_fname == nullptr) return;
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "libplatform-qt.so";
    if (dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL) == nullptr)
        std::fprintf(stderr, "lumivel: cannot load the Qt backend: %s\n", dlerror());
}

std::shared_ptr<Backend> FromFactory(const std::string& name) {
    std::lock_guard lock(TheSelection().mutex);
    auto it = Factories().find(name);
    return it == Factories().end() ? nullptr : it->second();
}

std::shared_ptr<Backend> Choose() {
    const char* wanted = std::getenv("LUMIVEL_UI");
    std::string choice = wanted ? wanted : "";
    if (choice == "headless") return MakeHeadlessBackend();
    if (choice == "terminal") return MakeTerminalBackend();
    if (choice == "qt") {
        if (!FromFactory("qt")) LoadQtLibrary();
        if (auto qt = FromFactory("qt")) return qt;
        std::fprintf(stderr, "lumivel: LUMIVEL_UI=qt but no Qt backend is available; running headless\n");
        return MakeHeadlessBackend();
    }
    if (!choice.empty()) std::fprintf(stderr, "lumivel: unknown LUMIVEL_UI=%s; choosing by display\n", choice.c_str());
    if (HasDisplay())
        if (auto qt = FromFactory("qt")) return qt;
    return MakeHeadlessBackend();
}

}  // namespace

void SetBackend(std::shared_ptr<Backend> backend) {
    Selection& selection = TheSelection();
    std::lock_guard lock(selection.mutex);
    if (selection.backend) selection.retired.push_back(selection.backend);
    selection.backend = std::move(backend);
}

Backend& CurrentBackend() {
    Selection& selection = TheSelection();
    {
        std::lock_guard lock(selection.mutex);
        if (selection.backend) return *selection.backend;
    }
    auto chosen = Choose();  // outside the lock: loading the Qt library registers a factory
    std::lock_guard lock(selection.mutex);
    if (!selection.backend) selection.backend = std::move(chosen);
    return *selection.backend;
}

void RegisterBackendFactory(const std::string& name, std::function<std::shared_ptr<Backend>()> factory) {
    std::lock_guard lock(TheSelection().mutex);
    Factories()[name] = std::move(factory);
}

bool RenderWindowToPng(HWND hwnd, const std::string& path) {
    if (!FindWindowObject(hwnd)) return false;
    return CurrentBackend().renderToPng(hwnd, path);
}

}  // namespace lumivel::ui
