#include "lumivel/file_owner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "lumivel/errno_map.h"
#include "lumivel/text.h"
#include "lumivel/unc_file_system.h"
#include "win/winerror.h"

namespace lumivel {

DWORD GetFileWriter(std::u16string_view path, FileWriterInfo* info) {
    *info = FileWriterInfo{};
    if (IsUncPath(path)) {
        info->onShare = true;
        std::shared_ptr<UncFileSystem> share = RegisteredUncFileSystem();
        if (!share) return ERROR_BAD_NETPATH;
        std::u16string normalised(path);
        for (char16_t& c : normalised)
            if (c == u'/') c = u'\\';
        return share->ownerSid(normalised, &info->ownerSid);
    }
    struct stat st {};
    if (::lstat(ToUtf8(path).c_str(), &st) != 0) return Win32ErrorFromErrno(errno);
    info->ownerUid = st.st_uid;
    info->groupWritable = (st.st_mode & S_IWGRP) != 0;
    info->otherWritable = (st.st_mode & S_IWOTH) != 0;
    info->isLink = S_ISLNK(st.st_mode);
    info->isDirectory = S_ISDIR(st.st_mode);
    return ERROR_SUCCESS;
}

uint32_t CurrentUserId() { return static_cast<uint32_t>(::geteuid()); }

}  // namespace lumivel
