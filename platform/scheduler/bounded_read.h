// Reading an open file whole (scheduler area only).
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string>

namespace lumivel::scheduler {

// At most `size` bytes from the descriptor's position, fewer when the file ends first.
inline std::string ReadUpTo(int fd, size_t size) {
    std::string bytes(size, '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

}  // namespace lumivel::scheduler
