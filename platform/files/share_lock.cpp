// Advisory share-mode locks (see share_lock.h).
#include "share_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "win/files.h"
#include "win/winerror.h"

namespace lumivel {
namespace {

constexpr off_t kMarkerBase = 0x7FFFFFFFFFFF0000LL;
enum Marker : off_t { kAccessRead = 1, kAccessWrite, kAccessDelete, kDenyRead, kDenyWrite, kDenyDelete };

// True when a description other than fd's holds a lock on the marker.
bool HeldByOther(int fd, Marker marker) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = kMarkerBase + marker;
    probe.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
    return probe.l_type != F_UNLCK;
}

bool Announce(int fd, Marker marker) {
    struct flock hold {};
    hold.l_type = F_RDLCK;
    hold.l_whence = SEEK_SET;
    hold.l_start = kMarkerBase + marker;
    hold.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &hold) == 0;
}

// Serialises check-and-announce among openers. A file system where flock collides with the
// markers (network mounts emulate flock with byte-range locks) gives up after a while and
// checks without the guard rather than hang.
class Guard {
public:
    explicit Guard(int fd) : m_fd(fd) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > deadline) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_held = true;
    }
    ~Guard() {
        if (m_held) flock(m_fd, LOCK_UN);
    }

private:
    int m_fd;
    bool m_held = false;
};

}  // namespace

ShareRequest ShareRequestFrom(DWORD access, DWORD share) {
    ShareRequest r;
    r.read = access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | FILE_READ_DATA);
    r.write = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
    r.remove = access & (GENERIC_ALL | DELETE);
    r.shareRead = share & FILE_SHARE_READ;
    r.shareWrite = share & FILE_SHARE_WRITE;
    r.shareDelete = share & FILE_SHARE_DELETE;
    return r;
}

DWORD AcquireShare(int fd, const ShareRequest& r, bool canAnnounce) {
    // An opener without data access (attributes only) neither checks nor counts, as on Windows.
    if (!r.read && !r.write && !r.remove) return ERROR_SUCCESS;
    Guard guard(fd);
    if ((r.read && HeldByOther(fd, kDenyRead)) || (r.write && HeldByOther(fd, kDenyWrite)) ||
        (r.remove && HeldByOther(fd, kDenyDelete)) || (!r.shareRead && HeldByOther(fd, kAccessRead)) ||
        (!r.shareWrite && HeldByOther(fd, kAccessWrite)) || (!r.shareDelete && HeldByOther(fd, kAccessDelete)))
        return ERROR_SHARING_VIOLATION;
    if (!canAnnounce) return ERROR_SUCCESS;
    bool ok = true;
    if (r.read) ok &= Announce(fd, kAccessRead);
    if (r.write) ok &= Announce(fd, kAccessWrite);
    if (r.remove) ok &= Announce(fd, kAccessDelete);
    if (!r.shareRead) ok &= Announce(fd, kDenyRead);
    if (!r.shareWrite) ok &= Announce(fd, kDenyWrite);
    if (!r.shareDelete) ok &= Announce(fd, kDenyDelete);
    // A file system without byte-range locks cannot enforce sharing; the open still succeeds.
    (void)ok;
    return ERROR_SUCCESS;
}

DWORD CheckDeleteAllowed(int fd) {
    Guard guard(fd);
    return HeldByOther(fd, kDenyDelete) ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

DWORD CheckWriteAllowed(int fd) {
    Guard guard(fd);
    return HeldByOther(fd, kDenyWrite) ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

}  // namespace lumivel
