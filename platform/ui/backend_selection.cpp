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

std::recursive_mutex g_mutex;
std::shared_ptr<Backend> g_backend;
// Backends replaced while the process runs stay alive: callers may still hold a reference.
std::vector<std::shared_ptr<Backend>> g_retired;

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
    std::lock_guard lock(g_mutex);
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
    std::lock_guard lock(g_mutex);
    if (g_backend) g_retired.push_back(g_backend);
    g_backend = std::move(backend);
}

Backend& CurrentBackend() {
    {
        std::lock_guard lock(g_mutex);
        if (g_backend) return *g_backend;
    }
    auto chosen = Choose();  // outside the lock: loading the Qt library registers a factory
    std::lock_guard lock(g_mutex);
    if (!g_backend) g_backend = std::move(chosen);
    return *g_backend;
}

void RegisterBackendFactory(const std::string& name, std::function<std::shared_ptr<Backend>()> factory) {
    std::lock_guard lock(g_mutex);
    Factories()[name] = std::move(factory);
}

bool RenderWindowToPng(HWND hwnd, const std::string& path) {
    if (!FindWindowObject(hwnd)) return false;
    return CurrentBackend().renderToPng(hwnd, path);
}

}  // namespace lumivel::ui
