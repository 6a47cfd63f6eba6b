#include "cli/private_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace lumivel_cli {

namespace {

// The file opened, when it is one of the user's own that nobody else may read or write, of at
// most longest bytes: its descriptor (to close) and size.
PrivateFileRead openPrivate(const std::string& path, off_t longest, int* fd, size_t* size) {
    // Non-blocking, so that a FIFO put in the file's place cannot hold the command.
    *fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (*fd < 0) return errno == ENOENT ? PrivateFileRead::Missing : PrivateFileRead::Unopened;
    struct stat info {};
    if (::fstat(*fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
        (info.st_mode & 077) != 0 || info.st_size > longest) {
        ::close(*fd);
        *fd = -1;
        return PrivateFileRead::NotPrivate;
    }
    *size = static_cast<size_t>(info.st_size);
    return PrivateFileRead::Read;
}

}  // namespace

PrivateFileRead ReadPrivateFile(const std::string& path, off_t longest, std::string* text) {
    int fd = -1;
    size_t size = 0;
    PrivateFileRead result = openPrivate(path, longest, &fd, &size);
    if (result != PrivateFileRead::Read) return result;
    text->resize(size);
    size_t done = 0;
    while (result == PrivateFileRead::Read && done < text->size()) {
        const ssize_t got = ::read(fd, text->data() + done, text->size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) result = PrivateFileRead::Unreadable;
        else done += static_cast<size_t>(got);
    }
    ::close(fd);
    return result;
}

PrivateFileMap::PrivateFileMap(PrivateFileMap&& other) noexcept : m_data(other.m_data), m_size(other.m_size) {
    other.m_data = nullptr;
    other.m_size = 0;
}

PrivateFileMap& PrivateFileMap::operator=(PrivateFileMap&& other) noexcept {
    if (this != &other) {
        reset();
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
    }
    return *this;
}

PrivateFileMap::~PrivateFileMap() { reset(); }

void PrivateFileMap::reset() {
    if (m_data) ::munmap(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
}

PrivateFileRead PrivateFileMap::map(const std::string& path, off_t longest) {
    reset();
    int fd = -1;
    size_t size = 0;
    PrivateFileRead result = openPrivate(path, longest, &fd, &size);
    if (result != PrivateFileRead::Read) return result;
    if (size > 0) {
        // Populated now: the whole file is read anyway, and one call maps it faster than a
        // fault per page.
        void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (data == MAP_FAILED) result = PrivateFileRead::Unreadable;
        else m_data = data, m_size = size;
    }
    ::close(fd);
    return result;
}

}  // namespace lumivel_cli
