// Share modes across processes through advisory locks (files area only).
//
// Every opener announces its access and the sharing it refuses by holding shared
// open-file-description locks on marker bytes far beyond any real data; before that it tests,
// under a whole-file flock guard, whether another opener's markers conflict. OFD locks belong
// to the open file description, so two handles of one process conflict as on Windows, and the
// locks vanish with the descriptor however the process ends.
#pragma once

#include "win/types.h"

namespace lumivel {

struct ShareRequest {
    bool read = false, write = false, remove = false;                 // access asked for
    bool shareRead = false, shareWrite = false, shareDelete = false;  // sharing granted
};

ShareRequest ShareRequestFrom(DWORD access, DWORD share);

// Checks the request against the other openers of the file behind fd and, when it fits,
// announces it. canAnnounce is false for a descriptor not open for reading: it takes part in
// the check but cannot hold the markers. Returns ERROR_SUCCESS or ERROR_SHARING_VIOLATION.
DWORD AcquireShare(int fd, const ShareRequest& request, bool canAnnounce);

// ERROR_SHARING_VIOLATION when an opener of the file behind fd refuses to share deletion.
DWORD CheckDeleteAllowed(int fd);
// ERROR_SHARING_VIOLATION when an opener refuses to share writing (before replacing a file).
DWORD CheckWriteAllowed(int fd);

}  // namespace lumivel
