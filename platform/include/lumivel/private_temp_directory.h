// A folder of the caller's own inside the temporary path (GetTempPathW), for files that
// must not lie under a predictable name in a folder others may write: created under a fresh
// random name with mode 0700 (never through a link), removed with everything in it when the
// owner lets go. Not a Windows API.
#pragma once

#include <memory>
#include <string>

#include "win/types.h"

namespace lumivel {

class LUMIVEL_EXPORT PrivateTempDirectory {
public:
    // A new folder whose name starts with the prefix; null with the Win32 error in *error
    // (and the last error) when it cannot be made.
    static std::unique_ptr<PrivateTempDirectory> Create(std::u16string_view prefix, DWORD* error = nullptr);

    // Removes the files and empty folders inside without following links, then the folder.
    ~PrivateTempDirectory();
    PrivateTempDirectory(const PrivateTempDirectory&) = delete;
    PrivateTempDirectory& operator=(const PrivateTempDirectory&) = delete;

    // The folder with a trailing '/'.
    const std::u16string& Path() const { return m_path; }
    std::u16string PathOf(std::u16string_view name) const { return m_path + std::u16string(name); }

private:
    PrivateTempDirectory(std::string local, std::u16string path) : m_local(std::move(local)), m_path(std::move(path)) {}

    std::string m_local;
    std::u16string m_path;
};

}  // namespace lumivel
