// Child processes, environment variables and module handles (kernel32/userenv subset).
//
// CreateProcessW takes a Windows command line. Without lpApplicationName its first token is the
// program: a quoted first token is taken whole; an unquoted one is tried at each blank in turn
// ("/opt/my app/tool arg" finds "/opt/my app/tool"). A name without a separator is searched in
// the caller's program directory, then in PATH; "X.exe" also finds "X". The child's argv is the
// Windows C runtime's split of the whole command line (backslashes double only before a quote,
// "" inside quotes is a literal quote). Process handles are waitable; GetExitCodeProcess gives
// STILL_ACTIVE (259) while the child runs. A child killed by a signal exits with an NTSTATUS-like
// code (0xC0000005 for SIGSEGV/SIGBUS, 3 for SIGABRT, 0xC000013A otherwise).
//
// Module handles: an HMODULE is the ELF object's load address (dladdr's dli_fbase); the main
// program's handle is null, so GetModuleHandleW(NULL) returns NULL here.
#pragma once

#include "win/types.h"

#define DEBUG_PROCESS 0x00000001
#define CREATE_SUSPENDED 0x00000004
#define DETACHED_PROCESS 0x00000008
#define CREATE_NEW_CONSOLE 0x00000010
#define NORMAL_PRIORITY_CLASS 0x00000020
#define CREATE_NEW_PROCESS_GROUP 0x00000200
#define CREATE_UNICODE_ENVIRONMENT 0x00000400
#define CREATE_NO_WINDOW 0x08000000

#define STARTF_USESHOWWINDOW 0x00000001
#define STARTF_USESIZE 0x00000002
#define STARTF_USEPOSITION 0x00000004
#define STARTF_USESTDHANDLES 0x00000100
#ifndef SW_HIDE
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10
#endif
#ifndef STILL_ACTIVE
#define STILL_ACTIVE 259
#endif
#define PROCESS_TERMINATE 0x0001
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_ALL_ACCESS 0x1FFFFF

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004
#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020

typedef struct _STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

typedef INT_PTR(WINAPI* FARPROC)();

extern "C" {
// hThread of the result is a handle to the same process object (there is no separate main
// thread object); waiting on it waits for the process.
WINBASEAPI BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                               LPSECURITY_ATTRIBUTES lpProcessAttributes, LPSECURITY_ATTRIBUTES lpThreadAttributes,
                               BOOL bInheritHandles, DWORD dwCreationFlags, LPVOID lpEnvironment,
                               LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                               LPPROCESS_INFORMATION lpProcessInformation);
WINBASEAPI BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
WINBASEAPI BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode);
WINBASEAPI DWORD GetProcessId(HANDLE Process);
WINBASEAPI LPWSTR GetCommandLineW();
// Splits a command line as the C runtime does; free the result with LocalFree.
WINBASEAPI LPWSTR* CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs);
[[noreturn]] WINBASEAPI void ExitProcess(UINT uExitCode);

// Names compare without regard to case when no variable of the exact name exists.
WINBASEAPI DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize);
WINBASEAPI BOOL SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue);
// %VAR% references are replaced; unknown ones stay as written. When absent from the
// environment, SystemRoot and windir give GetWindowsDirectoryW, USERPROFILE gives HOME,
// USERNAME the login name, COMPUTERNAME the host name, TEMP and TMP the temporary directory.
// Returns the size needed including the terminator (also when nSize is too small).
WINBASEAPI DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize);
// The user's environment is this process's; hToken must be null or the current process token.
WINBASEAPI BOOL ExpandEnvironmentStringsForUserW(HANDLE hToken, LPCWSTR lpSrc, LPWSTR lpDest, DWORD dwSize);

WINBASEAPI HMODULE GetModuleHandleW(LPCWSTR lpModuleName);
WINBASEAPI BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule);
// Truncates to nSize - 1 characters plus terminator, returns nSize and sets
// ERROR_INSUFFICIENT_BUFFER when the name does not fit, as Windows Vista and later do.
WINBASEAPI DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
// "X.dll" also finds "X.so". DONT_RESOLVE_DLL_REFERENCES and the data-file flags load lazily.
WINBASEAPI HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
WINBASEAPI HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
WINBASEAPI BOOL FreeLibrary(HMODULE hLibModule);
WINBASEAPI FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
}
