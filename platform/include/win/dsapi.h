// Directory service API: binding to a domain, listing its domain controllers, and the
// mangled-name test. Results are Win32 error codes (DWORD), as on Windows.
#pragma once

#include "win/types.h"

typedef struct DS_DOMAIN_CONTROLLER_INFO_1W {
    LPWSTR NetbiosName;
    LPWSTR DnsHostName;
    LPWSTR SiteName;
    LPWSTR ComputerObjectName;
    LPWSTR ServerObjectName;
    BOOL fIsPdc;
    BOOL fDsEnabled;
} DS_DOMAIN_CONTROLLER_INFO_1W, *PDS_DOMAIN_CONTROLLER_INFO_1W;

typedef enum {
    DS_MANGLE_UNKNOWN = 0,
    DS_MANGLE_OBJECT_NAME_FOR_DELETION = 1,
    DS_MANGLE_OBJECT_NAME_FOR_NAME_CONFLICT = 2
} DS_MANGLE_FOR;

extern "C" {
// DomainControllerName may name one DC; otherwise the locator picks a DC of DnsDomainName (or
// of the default domain when that is null too). The handle is released with DsUnBindW.
WINBASEAPI DWORD DsBindW(LPCWSTR DomainControllerName, LPCWSTR DnsDomainName, HANDLE* phDS);
WINBASEAPI DWORD DsUnBindW(HANDLE* phDS);
// Level 1 only; DomainName is a DNS or NetBIOS domain name. The array is freed with
// DsFreeDomainControllerInfoW.
WINBASEAPI DWORD DsGetDomainControllerInfoW(HANDLE hDs, LPCWSTR DomainName, DWORD InfoLevel, DWORD* pcOut,
                                            VOID** ppInfo);
WINBASEAPI VOID DsFreeDomainControllerInfoW(DWORD InfoLevel, DWORD cInfo, VOID* pInfo);
WINBASEAPI BOOL DsIsMangledDnW(LPCWSTR pszDn, DS_MANGLE_FOR eDsMangleFor);
WINBASEAPI BOOL DsIsMangledRdnValueW(LPCWSTR pszRdn, DWORD cRdn, DS_MANGLE_FOR eDsMangleForDesired);
}

#define DsBind DsBindW
#define DsUnBind DsUnBindW
#define DsGetDomainControllerInfo DsGetDomainControllerInfoW
#define DsFreeDomainControllerInfo DsFreeDomainControllerInfoW
#define DsIsMangledDn DsIsMangledDnW
#define DS_DOMAIN_CONTROLLER_INFO_1 DS_DOMAIN_CONTROLLER_INFO_1W
#define PDS_DOMAIN_CONTROLLER_INFO_1 PDS_DOMAIN_CONTROLLER_INFO_1W
