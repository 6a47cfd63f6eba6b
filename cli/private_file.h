// Reading back a file the command line keeps for its user (a saved listing, the completion
// cache): only when it is what the user's own runs write there.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace lumivel_cli {

// The whole file into text, when it is a regular file (no link) owned by the user that nobody
// else may read or write, of at most longest bytes; otherwise which of those it is not.
enum class PrivateFileRead { Read, Missing, Unopened, NotPrivate, Unreadable };
PrivateFileRead ReadPrivateFile(const std::string& path, off_t longest, std::string* text);

// The same file mapped read-only, for one read whole and at once (a saved listing of tens of
// megabytes): no copy and no zeroed buffer. Only this user's processes can change the file,
// and the command line replaces it by renaming another into place, so that a mapping keeps
// the bytes it was made with.
class PrivateFileMap {
public:
    PrivateFileMap() = default;
    PrivateFileMap(PrivateFileMap&& other) noexcept;
    PrivateFileMap& operator=(PrivateFileMap&& other) noexcept;
    ~PrivateFileMap();

    PrivateFileRead map(const std::string& path, off_t longest);
    void reset();
    std::string_view bytes() const { return {static_cast<const char*>(m_data), m_size}; }

private:
    void* m_data = nullptr;
    size_t m_size = 0;
};

}  // namespace lumivel_cli
