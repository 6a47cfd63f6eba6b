// libsmbclient failures (errno values) as the Win32 errors a caller of the file functions sees.
#pragma once

#include <functional>

#include "win/types.h"

namespace lumivel::smb {

enum class Operation { Open, Create, CreateDirectory, Other };
// `serverResolves` is asked only for the errors behind which libsmbclient hides a server name
// that does not resolve; without it the server counts as found.
DWORD Win32FromErrno(int error, Operation operation, const std::function<bool()>& serverResolves = {});

}  // namespace lumivel::smb
