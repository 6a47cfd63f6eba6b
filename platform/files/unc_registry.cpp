// The process's registered UNC file system.
#include <mutex>

#include "lumivel/unc_file_system.h"

namespace lumivel {
namespace {
std::mutex g_mutex;
std::shared_ptr<UncFileSystem> g_fileSystem;
}  // namespace

void RegisterUncFileSystem(std::shared_ptr<UncFileSystem> fileSystem) {
    std::lock_guard lock(g_mutex);
    g_fileSystem = std::move(fileSystem);
}

std::shared_ptr<UncFileSystem> RegisteredUncFileSystem() {
    std::lock_guard lock(g_mutex);
    return g_fileSystem;
}

}  // namespace lumivel
