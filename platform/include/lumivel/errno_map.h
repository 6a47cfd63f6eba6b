// Translation of errno values into Win32 error codes (internal, one table for the platform).
#pragma once

#include "win/types.h"

namespace lumivel {

LUMIVEL_EXPORT DWORD Win32ErrorFromErrno(int error);
// SetLastError(Win32ErrorFromErrno(error)).
LUMIVEL_EXPORT void SetLastErrorFromErrno(int error);

}  // namespace lumivel
