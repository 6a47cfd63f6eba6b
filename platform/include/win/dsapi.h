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

// DsGetDcNameW's answer: one block, freed with NetApiBufferFree.
typedef struct DOMAIN_CONTROLLER_INFOW {
    LPWSTR DomainControllerName;     // "\\" and the DC's DNS (or, with DS_RETURN_FLAT_NAME, NetBIOS) name
    LPWSTR DomainControllerAddress;  // "\\" and its address
    ULONG DomainControllerAddressType;
    GUID DomainGuid;
    LPWSTR DomainName;
    LPWSTR DnsForestName;
    ULONG Flags;
    LPWSTR DcSiteName;
    LPWSTR ClientSiteName;
} DOMAIN_CONTROLLER_INFOW, *PDOMAIN_CONTROLLER_INFOW;

// DsGetSiteNameW's answer when the DCs know no site for this machine (winerror.h on Windows;
// kept here beside the one function that returns it).
#define ERROR_NO_SITENAME 1919L

#define DS_INET_ADDRESS 1
#define DS_NETBIOS_ADDRESS 2

// DsGetDcNameW's request flags (those this platform honours; see DsGetDcNameW).
#define DS_FORCE_REDISCOVERY 0x00000001
#define DS_DIRECTORY_SERVICE_REQUIRED 0x00000010
#define DS_DIRECTORY_SERVICE_PREFERRED 0x00000020
#define DS_GC_SERVER_REQUIRED 0x00000040
#define DS_PDC_REQUIRED 0x00000080
#define DS_BACKGROUND_ONLY 0x00000100
#define DS_IP_REQUIRED 0x00000200
#define DS_KDC_REQUIRED 0x00000400
#define DS_WRITABLE_REQUIRED 0x00001000
#define DS_ONLY_LDAP_NEEDED 0x00008000
#define DS_IS_DNS_NAME 0x00020000
#define DS_TRY_NEXTCLOSEST_SITE 0x00040000
#define DS_RETURN_DNS_NAME 0x40000000
#define DS_RETURN_FLAT_NAME 0x80000000

// The answer's flags.
#define DS_PDC_FLAG 0x00000001
#define DS_GC_FLAG 0x00000004
#define DS_LDAP_FLAG 0x00000008
#define DS_DS_FLAG 0x00000010
#define DS_KDC_FLAG 0x00000020
#define DS_TIMESERV_FLAG 0x00000040
#define DS_CLOSEST_FLAG 0x00000080
#define DS_WRITABLE_FLAG 0x00000100
#define DS_DNS_CONTROLLER_FLAG 0x20000000
#define DS_DNS_DOMAIN_FLAG 0x40000000
#define DS_DNS_FOREST_FLAG 0x80000000

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
// The DC this machine should use for a domain (null: the default domain), by the DNS locator
// and a netlogon ping: the DCs of the client's site first (or of SiteName when given), then
// the domain's others; the first that answers with what Flags require. ComputerName must be
// null: the question is never forwarded to another machine (ERROR_NOT_SUPPORTED).
WINBASEAPI DWORD DsGetDcNameW(LPCWSTR ComputerName, LPCWSTR DomainName, GUID* DomainGuid, LPCWSTR SiteName, ULONG Flags,
                              PDOMAIN_CONTROLLER_INFOW* DomainControllerInfo);
// The site of this machine in the default domain's forest; ERROR_NO_SITENAME when its DCs
// know none. ComputerName must be null. Freed with NetApiBufferFree.
WINBASEAPI DWORD DsGetSiteNameW(LPCWSTR ComputerName, LPWSTR* SiteName);
WINBASEAPI DWORD NetApiBufferFree(LPVOID Buffer);
WINBASEAPI BOOL DsIsMangledDnW(LPCWSTR pszDn, DS_MANGLE_FOR eDsMangleFor);
WINBASEAPI BOOL DsIsMangledRdnValueW(LPCWSTR pszRdn, DWORD cRdn, DS_MANGLE_FOR eDsMangleForDesired);
}

#define DsBind DsBindW
#define DsUnBind DsUnBindW
#define DsGetDomainControllerInfo DsGetDomainControllerInfoW
#define DsFreeDomainControllerInfo DsFreeDomainControllerInfoW
#define DsIsMangledDn DsIsMangledDnW
#define DsGetDcName DsGetDcNameW
#define DsGetSiteName DsGetSiteNameW
#define DOMAIN_CONTROLLER_INFO DOMAIN_CONTROLLER_INFOW
#define PDOMAIN_CONTROLLER_INFO PDOMAIN_CONTROLLER_INFOW
#define DS_DOMAIN_CONTROLLER_INFO_1 DS_DOMAIN_CONTROLLER_INFO_1W
#define PDS_DOMAIN_CONTROLLER_INFO_1 PDS_DOMAIN_CONTROLLER_INFO_1W
