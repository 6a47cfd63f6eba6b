#include "tests/support/temporary_directory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace lumivel::testing {

TemporaryDirectory::TemporaryDirectory(const char* prefix) {
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data())) m_path = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    if (!m_path.empty()) RemoveTree(m_path);
}

void RemoveTree(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    const auto open = [&](const fs::path& folder) {
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow, ignored);
    };
    if (fs::symlink_status(path, ignored).type() != fs::file_type::directory) {
        fs::remove(path, ignored);
        return;
    }
    open(path);
    // A folder is opened up as it is met, before the walk goes into it.
    for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->symlink_status(ignored).type() == fs::file_type::directory) open(it->path());
        if (ignored) break;
    }
    fs::remove_all(path, ignored);
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace lumivel::testing
