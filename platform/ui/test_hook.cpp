// The process-wide test hook.
#include <mutex>

#include "ui_internal.h"

namespace lumivel::ui {
namespace {
std::mutex g_hookMutex;
TestHook g_hook;
}  // namespace

void SetTestHook(TestHook hook) {
    std::lock_guard lock(g_hookMutex);
    g_hook = std::move(hook);
}

bool HasTestHook() {
    std::lock_guard lock(g_hookMutex);
    return static_cast<bool>(g_hook);
}

std::optional<INT_PTR> CallTestHook(const Surface& surface) {
    TestHook hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_hook;
    }
    if (!hook) return std::nullopt;
    return hook(surface);  // outside the lock: the hook opens nested surfaces
}

}  // namespace lumivel::ui
