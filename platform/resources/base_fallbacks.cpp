// FIXME: weak stand-ins for base-area functions this library calls, so it links while the
// base area does not build them yet; the base area's strong definitions replace these
// automatically. Delete this file once base builds last_error.cpp and format_message.cpp.
#include "lumivel/system_messages.h"
#include "win/errors.h"

namespace {
thread_local DWORD t_lastError = 0;
}

extern "C" __attribute__((weak)) void SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }
extern "C" __attribute__((weak)) DWORD GetLastError() { return t_lastError; }

namespace lumivel {
__attribute__((weak)) void RegisterSystemMessages(const SystemMessage*, size_t) {}
}  // namespace lumivel
