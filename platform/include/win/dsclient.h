// Directory display specifiers (friendly names and icons of classes and attributes) and the
// domain tree browser's types. IDsDisplaySpecifier and IDsBrowseDomainTree are COM classes of
// the platform (CLSID_DsDisplaySpecifier, CLSID_DsDomainTreeBrowser, created in-process); the
// display specifiers' answers are cached per process.
#pragma once

#include "win/oleauto.h"
#include "win/adsi.h"

ADS_GUID(CLSID_DsDisplaySpecifier);
ADS_GUID(IID_IDsDisplaySpecifier);
ADS_GUID(CLSID_DsDomainTreeBrowser);
ADS_GUID(IID_IDsBrowseDomainTree);

// GetIconLocation / GetIcon flags.
#define DSGIF_ISNORMAL 0x0000000
#define DSGIF_ISOPEN 0x0000001
#define DSGIF_ISDISABLED 0x0000002
#define DSGIF_ISMASK 0x000000f
#define DSGIF_GETDEFAULTICON 0x0000010
#define DSGIF_DEFAULTISCONTAINER 0x0000020

// SetServer flags.
#define DSSSF_SIMPLEAUTHENTICATE 0x00000001
#define DSSSF_DONTSIGNSEAL 0x00000002
#define DSSSF_DSAVAILABLE 0x80000000

typedef struct {
    DWORD dwFlags;
    CLSID clsidWizardDialog;
    CLSID clsidWizardPrimaryPage;
    DWORD cWizardExtensions;
    CLSID aWizardExtensions[1];
} DSCLASSCREATIONINFO, *LPDSCLASSCREATIONINFO;

typedef HRESULT (CALLBACK* LPDSENUMATTRIBUTES)(LPARAM lParam, LPCWSTR pszAttributeName, LPCWSTR pszDisplayName,
                                               DWORD dwFlags);

struct IDsDisplaySpecifier : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetServer(LPCWSTR pszServer, LPCWSTR pszUserName, LPCWSTR pszPassword,
                                                DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLanguageID(LANGID langid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDisplaySpecifier(LPCWSTR pszObjectClass, REFIID riid, void** ppv) = 0;
    // Module path and resource id (negative, as for ExtractIcon) of the class's icon. S_OK with an
    // empty path and id 0 when the class has no icon and DSGIF_GETDEFAULTICON was not asked for.
    virtual HRESULT STDMETHODCALLTYPE GetIconLocation(LPCWSTR pszObjectClass, DWORD dwFlags, LPWSTR pszBuffer,
                                                      INT cchBuffer, INT* presid) = 0;
    virtual HICON STDMETHODCALLTYPE GetIcon(LPCWSTR pszObjectClass, DWORD dwFlags, INT cxIcon, INT cyIcon) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFriendlyClassName(LPCWSTR pszObjectClass, LPWSTR pszBuffer,
                                                           INT cchBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFriendlyAttributeName(LPCWSTR pszObjectClass, LPCWSTR pszAttributeName,
                                                               LPWSTR pszBuffer, UINT cchBuffer) = 0;
    virtual BOOL STDMETHODCALLTYPE IsClassContainer(LPCWSTR pszObjectClass, LPCWSTR pszADsPath, DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassCreationInfo(LPCWSTR pszObjectClass,
                                                           LPDSCLASSCREATIONINFO* ppdscci) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumClassAttributes(LPCWSTR pszObjectClass, LPDSENUMATTRIBUTES pcbEnum,
                                                          LPARAM lParam) = 0;
    virtual ADSTYPE STDMETHODCALLTYPE GetAttributeADsType(LPCWSTR pszAttributeName) = 0;
};

// Domain tree: one node per domain of the forest, children under their trust parent.
typedef struct _DOMAINDESC {
    LPWSTR pszName;         // DNS name of the domain
    LPWSTR pszPath;         // "LDAP://" + naming context
    LPWSTR pszNCName;       // naming context DN
    LPWSTR pszTrustParent;  // DNS name of the parent domain, or null
    LPWSTR pszObjectClass;  // "domainDNS"
    ULONG ulFlags;
    BOOL fDownLevel;
    struct _DOMAINDESC* pdChildList;
    struct _DOMAINDESC* pdNextSibling;
} DOMAIN_DESC, DOMAINDESC, *PDOMAIN_DESC, *LPDOMAINDESC;

typedef struct {
    DWORD dsSize;    // size in bytes of the whole allocation
    DWORD dwCount;   // number of entries in aDomains
    DOMAINDESC aDomains[1];
} DOMAIN_TREE, DOMAINTREE, *PDOMAIN_TREE, *LPDOMAINTREE;

#define DBDTF_RETURNFQDN 0x00000001
#define DBDTF_RETURNMIXEDDOMAINS 0x00000002
#define DBDTF_RETURNEXTERNAL 0x00000004
#define DBDTF_RETURNINBOUND 0x00000008
#define DBDTF_RETURNINOUTBOUND 0x00000010

struct IDsBrowseDomainTree : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BrowseTo(HWND hwndParent, LPWSTR* ppszTargetPath, DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDomains(PDOMAIN_TREE* ppDomainTree, DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeDomains(PDOMAIN_TREE* ppDomainTree) = 0;
    virtual HRESULT STDMETHODCALLTYPE FlushCachedDomains() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetComputer(LPCWSTR pszComputerName, LPCWSTR pszUserName,
                                                  LPCWSTR pszPassword) = 0;
};
