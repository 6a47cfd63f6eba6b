// Private temporary folders: mkdtemp gives a fresh name, mode 0700 and refuses to reuse
// anything already there, so nobody can have planted a file or a link inside.
#include "lumivel/private_temp_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "lumivel/errno_map.h"
#include "lumivel/text.h"
#include "path.h"
#include "win/errors.h"
#include "win/files.h"

namespace lumivel {

namespace {

// Only plain characters of the prefix go into the name; the rest is the random part.
std::string SafePrefix(std::u16string_view prefix) {
    std::string out;
    for (char16_t c : prefix.substr(0, 32)) {
        bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-';
        out.push_back(plain ? static_cast<char>(c) : '-');
    }
    return out.empty() ? std::string("lumivel") : out;
}

std::unique_ptr<PrivateTempDirectory> Failed(DWORD code, DWORD* error) {
    if (error) *error = code;
    SetLastError(code);
    return nullptr;
}

}  // namespace

std::unique_ptr<PrivateTempDirectory> PrivateTempDirectory::Create(std::u16string_view prefix, DWORD* error) {
    WCHAR buffer[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return Failed(ERROR_BUFFER_OVERFLOW, error);
    DWORD code = ERROR_SUCCESS;
    std::optional<std::string> base = LocalPath(buffer, &code);
    if (!base) return Failed(code, error);
    std::string pattern = *base + SafePrefix(prefix) + ".XXXXXX";
    if (!::mkdtemp(pattern.data())) return Failed(PathError(errno, pattern), error);
    std::u16string path = FromUtf8(pattern) + u"/";
    if (error) *error = ERROR_SUCCESS;
    return std::unique_ptr<PrivateTempDirectory>(new PrivateTempDirectory(pattern, std::move(path)));
}

PrivateTempDirectory::~PrivateTempDirectory() {
    // Entries are unlinked by name relative to the folder opened without following a link, so
    // a link inside is removed itself and its target is never touched. Nothing here makes
    // nested folders, so only empty ones are removed and no recursion is needed.
    int folder = ::open(m_local.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder >= 0) {
        int listing = ::dup(folder);
        DIR* entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
        if (!entries && listing >= 0) ::close(listing);
        std::vector<std::string> names;
        while (entries) {
            errno = 0;
            dirent* entry = ::readdir(entries);
            if (!entry) break;
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(std::move(name));
        }
        if (entries) ::closedir(entries);
        for (const std::string& name : names) {
            if (::unlinkat(folder, name.c_str(), 0) != 0 && errno == EISDIR)
                ::unlinkat(folder, name.c_str(), AT_REMOVEDIR);
        }
        ::close(folder);
    }
    ::rmdir(m_local.c_str());
}

}  // namespace lumivel
