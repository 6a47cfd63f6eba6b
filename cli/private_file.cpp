#include "cli/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace lumivel_cli {

PrivateFileRead ReadPrivateFile(const std::string& path, off_t longest, std::string* text) {
    // Non-blocking, so that a FIFO put in the file's place cannot hold the command.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? PrivateFileRead::Missing : PrivateFileRead::Unopened;
    struct stat info {};
    PrivateFileRead result = PrivateFileRead::Read;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
        (info.st_mode & 077) != 0 || info.st_size > longest)
        result = PrivateFileRead::NotPrivate;
    if (result == PrivateFileRead::Read) {
        text->resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (result == PrivateFileRead::Read && done < text->size()) {
            const ssize_t got = ::read(fd, text->data() + done, text->size() - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) result = PrivateFileRead::Unreadable;
            else done += static_cast<size_t>(got);
        }
    }
    ::close(fd);
    return result;
}

}  // namespace lumivel_cli
