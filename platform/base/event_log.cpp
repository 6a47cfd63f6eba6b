// The event log on the system log. One openlog for the process (syslog keeps one identity), so
// each report names its source in the message instead.
#include <syslog.h>

#include <memory>
#include <mutex>
#include <string>

#include "lumivel/kernel_object.h"
#include "lumivel/text.h"
#include "win/errors.h"
#include "win/eventlog.h"

namespace {

class EventSource final : public lumivel::KernelObject {
public:
    explicit EventSource(std::string name) : m_name(std::move(name)) {}
    const std::string& name() const { return m_name; }

private:
    std::string m_name;
};

int Priority(WORD type) {
    switch (type) {
        case EVENTLOG_ERROR_TYPE:
        case EVENTLOG_AUDIT_FAILURE: return LOG_ERR;
        case EVENTLOG_WARNING_TYPE: return LOG_WARNING;
        default: return LOG_NOTICE;
    }
}

// Control characters would let a caller's text forge further log lines.
std::string Printable(std::u16string_view text) {
    std::string out = lumivel::ToUtf8(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return out;
}

}  // namespace

extern "C" {

HANDLE RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName) {
    if (lpUNCServerName && *lpUNCServerName) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (!lpSourceName || !*lpSourceName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HANDLE handle = lumivel::InsertHandle(std::make_shared<EventSource>(Printable(lpSourceName)));
    if (!handle) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return handle;
}

BOOL DeregisterEventSource(HANDLE hEventLog) {
    if (!lumivel::LookupHandleAs<EventSource>(hEventLog)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    lumivel::RemoveHandle(hEventLog);
    return TRUE;
}

BOOL ReportEventW(HANDLE hEventLog, WORD wType, WORD, DWORD dwEventID, PVOID, WORD wNumStrings, DWORD,
                  LPCWSTR* lpStrings, LPVOID) {
    auto source = lumivel::LookupHandleAs<EventSource>(hEventLog);
    if (!source) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (wNumStrings && !lpStrings) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string message;
    for (WORD i = 0; i < wNumStrings; ++i) {
        if (!lpStrings[i]) continue;
        if (!message.empty()) message += ' ';
        message += Printable(lpStrings[i]);
    }
    static std::once_flag opened;
    std::call_once(opened, [] { openlog("lumivel", LOG_PID, LOG_USER); });
    syslog(Priority(wType), "%s[%u]: %s", source->name().c_str(), static_cast<unsigned>(dwEventID & 0xFFFF),
           message.c_str());
    return TRUE;
}

}  // extern "C"
