// Who could have written a file or folder: what the trust checks of data from outside ask of
// it. A local one answers with its owner's user id and whether its group or others may write
// it (never through a link); one on a share with the owner SID of its security descriptor.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel {

struct FileWriterInfo {
    bool onShare = false;
    // Local only.
    uint32_t ownerUid = 0;
    bool groupWritable = false;
    bool otherWritable = false;
    bool isLink = false;
    bool isDirectory = false;
    // On a share only: "S-1-5-21-...".
    std::u16string ownerSid;
};

// ERROR_SUCCESS with *info filled, else the error of reading it (ERROR_FILE_NOT_FOUND, ...).
LUMIVEL_EXPORT DWORD GetFileWriter(std::u16string_view path, FileWriterInfo* info);

// The effective user id of this process.
LUMIVEL_EXPORT uint32_t CurrentUserId();

}  // namespace lumivel
