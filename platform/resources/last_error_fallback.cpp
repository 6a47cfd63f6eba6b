// FIXME: weak stand-ins for the base area's SetLastError/GetLastError, so the library links
// while base does not build its last_error.cpp yet; its strong definitions replace these
// automatically. Delete this file once base builds it.
#include "win/errors.h"

namespace {
thread_local DWORD t_lastError = 0;
}

extern "C" __attribute__((weak)) void SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }
extern "C" __attribute__((weak)) DWORD GetLastError() { return t_lastError; }
