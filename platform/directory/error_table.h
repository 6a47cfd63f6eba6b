// The one place where LDAP library results become what a Windows caller sees: Windows LDAP
// result codes, Win32 errors, ADSI HRESULTs and the texts of both.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel::directory {

// OpenLDAP reports client-side failures as negative numbers; Windows as 0x51..0x61.
ULONG WindowsLdapCode(int openLdapCode);
DWORD Win32FromWindowsLdap(ULONG windowsLdapCode);
// S_OK for success; HRESULT_FROM_WIN32 of the mapped Win32 error otherwise.
HRESULT HresultFromLdap(int openLdapCode);
// A failed SASL GSSAPI bind: the security-package HRESULT (SEC_E_*) that the Kerberos reason in
// the library's diagnostic message stands for, else HresultFromLdap.
HRESULT HresultFromBindFailure(int openLdapCode, std::string_view diagnostic);
// Whether the caller of a search bounded the number of its rows itself.
enum class CallerSizeLimit { None, Set };
// How a search's final answer ends the rows its caller walks: S_ADS_NOMORE_ROWS when every
// row asked for came, else the failure. The server's size, administrative or time limit cuts
// the answer short; only a caller that set a size limit asked for no more than a part, so
// for any other a cut answer is the error, never an end that would pass a part for the whole.
// ADSI ends such a search with S_ADS_NOMORE_ROWS and leaves the reason to ADsGetLastError;
// this layer has no ADsGetLastError, and a loop that stops at the first result other than
// S_OK would take that end for a whole list.
HRESULT SearchEndResult(int openLdapCode, CallerSizeLimit limit);
// The text ldap_err2string gives on Windows.
const char16_t* WindowsLdapText(ULONG windowsLdapCode);

// The FormatMessageW text of a directory error (ERROR_DS_*, E_ADS_*, S_ADS_*, SEC_E_* of the
// bind), or null when the code is not one of the directory's.
const char16_t* DirectoryMessageText(DWORD code);
// Hands the directory texts to the system message table once per process.
void RegisterDirectoryMessages();

}  // namespace lumivel::directory
