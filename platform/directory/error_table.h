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
// The text ldap_err2string gives on Windows.
const char16_t* WindowsLdapText(ULONG windowsLdapCode);

// The FormatMessageW text of a directory error (ERROR_DS_*, E_ADS_*, S_ADS_*, SEC_E_* of the
// bind), or null when the code is not one of the directory's.
const char16_t* DirectoryMessageText(DWORD code);
// Hands the directory texts to the system message table once per process.
void RegisterDirectoryMessages();

}  // namespace lumivel::directory
