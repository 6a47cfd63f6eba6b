// libsmbclient failures (errno values) as the Win32 errors a caller of the file functions sees.
#pragma once

#include "win/types.h"

namespace lumivel::smb {

enum class Operation { Open, Create, CreateDirectory, Other };
DWORD Win32FromErrno(int error, Operation operation);

}  // namespace lumivel::smb
