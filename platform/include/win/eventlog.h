// The event log (advapi32 subset). Reports go to the system log (syslog, facility user) under
// the source's name, with the priority of their type, the strings joined by spaces.
#pragma once

#include "win/types.h"

#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
#define EVENTLOG_AUDIT_SUCCESS 0x0008
#define EVENTLOG_AUDIT_FAILURE 0x0010

extern "C" {
// Only the local computer has a log: any other server fails with RPC_S_SERVER_UNAVAILABLE, as
// on Windows for a server that does not answer.
WINBASEAPI HANDLE RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName);
WINBASEAPI BOOL DeregisterEventSource(HANDLE hEventLog);
// lpUserSid and the raw data are accepted and not logged.
WINBASEAPI BOOL ReportEventW(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PVOID lpUserSid,
                             WORD wNumStrings, DWORD dwDataSize, LPCWSTR* lpStrings, LPVOID lpRawData);
}
