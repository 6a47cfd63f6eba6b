// Active Directory Service Interfaces: the subset the product binds, reads, searches and
// creates directory objects with. Interfaces keep the Windows slot order; every object a bind
// hands out answers IADs, IADsContainer, IDirectorySearch, IDirectoryObject, IADsObjectOptions
// and IDispatch (IADsClass too when bound as "LDAP://<class>,schema").
//
// Memory: strings and arrays inside ADS_SEARCH_COLUMN belong to the column and go with
// FreeColumn; the name GetNextColumnName returns is freed with FreeADsMem, and so is what
// IDirectoryObject::GetObjectInformation and GetObjectAttributes return (one block each).
#pragma once

#include "win/oleauto.h"
#include "win/dserror.h"

#define ADS_GUID(name) extern "C" LUMIVEL_EXPORT const GUID name
ADS_GUID(IID_IADs);
ADS_GUID(IID_IADsContainer);
ADS_GUID(IID_IADsClass);
ADS_GUID(IID_IADsObjectOptions);
ADS_GUID(IID_IADsPathname);
ADS_GUID(IID_IADsLargeInteger);
ADS_GUID(IID_IDirectorySearch);
ADS_GUID(IID_IDirectoryObject);
ADS_GUID(CLSID_Pathname);
ADS_GUID(CLSID_LargeInteger);

typedef enum {
    ADS_SECURE_AUTHENTICATION = 0x1,
    ADS_USE_ENCRYPTION = 0x2,
    ADS_USE_SSL = 0x2,
    ADS_READONLY_SERVER = 0x4,
    ADS_PROMPT_CREDENTIALS = 0x8,
    ADS_NO_AUTHENTICATION = 0x10,
    ADS_FAST_BIND = 0x20,
    ADS_USE_SIGNING = 0x40,
    ADS_USE_SEALING = 0x80,
    ADS_USE_DELEGATION = 0x100,
    ADS_SERVER_BIND = 0x200,
    ADS_NO_REFERRAL_CHASING = 0x400,
    ADS_AUTH_RESERVED = (int)0x80000000
} ADS_AUTHENTICATION_ENUM;

typedef enum {
    ADS_PROPERTY_CLEAR = 1,
    ADS_PROPERTY_UPDATE = 2,
    ADS_PROPERTY_APPEND = 3,
    ADS_PROPERTY_DELETE = 4
} ADS_PROPERTY_OPERATION_ENUM;

typedef enum {
    ADS_OPTION_SERVERNAME = 0,
    ADS_OPTION_REFERRALS = 1,
    ADS_OPTION_PAGE_SIZE = 2,
    ADS_OPTION_SECURITY_MASK = 3,
    ADS_OPTION_MUTUAL_AUTH_STATUS = 4,
    ADS_OPTION_QUOTA = 5,
    ADS_OPTION_PASSWORD_PORTNUMBER = 6,
    ADS_OPTION_PASSWORD_METHOD = 7,
    ADS_OPTION_ACCUMULATIVE_MODIFICATION = 8,
    ADS_OPTION_SKIP_SID_LOOKUP = 9
} ADS_OPTION_ENUM;

typedef enum {
    ADS_SETTYPE_FULL = 1,
    ADS_SETTYPE_PROVIDER = 2,
    ADS_SETTYPE_SERVER = 3,
    ADS_SETTYPE_DN = 4
} ADS_SETTYPE_ENUM;

typedef enum {
    ADS_FORMAT_WINDOWS = 1,
    ADS_FORMAT_WINDOWS_NO_SERVER = 2,
    ADS_FORMAT_WINDOWS_DN = 3,
    ADS_FORMAT_WINDOWS_PARENT = 4,
    ADS_FORMAT_X500 = 5,
    ADS_FORMAT_X500_NO_SERVER = 6,
    ADS_FORMAT_X500_DN = 7,
    ADS_FORMAT_X500_PARENT = 8,
    ADS_FORMAT_SERVER = 9,
    ADS_FORMAT_PROVIDER = 10,
    ADS_FORMAT_LEAF = 11
} ADS_FORMAT_ENUM;

typedef enum { ADS_DISPLAY_FULL = 1, ADS_DISPLAY_VALUE_ONLY = 2 } ADS_DISPLAY_ENUM;

typedef enum {
    ADS_ESCAPEDMODE_DEFAULT = 1,
    ADS_ESCAPEDMODE_ON = 2,
    ADS_ESCAPEDMODE_OFF = 3,
    ADS_ESCAPEDMODE_OFF_EX = 4
} ADS_ESCAPE_MODE_ENUM;

typedef enum {
    ADS_SCOPE_BASE = 0,
    ADS_SCOPE_ONELEVEL = 1,
    ADS_SCOPE_SUBTREE = 2
} ADS_SCOPEENUM;

typedef enum {
    ADS_DEREF_NEVER = 0,
    ADS_DEREF_SEARCHING = 1,
    ADS_DEREF_FINDING = 2,
    ADS_DEREF_ALWAYS = 3
} ADS_DEREFENUM;

typedef enum {
    ADS_CHASE_REFERRALS_NEVER = 0,
    ADS_CHASE_REFERRALS_SUBORDINATE = 0x20,
    ADS_CHASE_REFERRALS_EXTERNAL = 0x40,
    ADS_CHASE_REFERRALS_ALWAYS = 0x60
} ADS_CHASE_REFERRALS_ENUM;

typedef enum {
    ADSTYPE_INVALID = 0,
    ADSTYPE_DN_STRING = 1,
    ADSTYPE_CASE_EXACT_STRING = 2,
    ADSTYPE_CASE_IGNORE_STRING = 3,
    ADSTYPE_PRINTABLE_STRING = 4,
    ADSTYPE_NUMERIC_STRING = 5,
    ADSTYPE_BOOLEAN = 6,
    ADSTYPE_INTEGER = 7,
    ADSTYPE_OCTET_STRING = 8,
    ADSTYPE_UTC_TIME = 9,
    ADSTYPE_LARGE_INTEGER = 10,
    ADSTYPE_PROV_SPECIFIC = 11,
    ADSTYPE_OBJECT_CLASS = 12,
    ADSTYPE_CASEIGNORE_LIST = 13,
    ADSTYPE_OCTET_LIST = 14,
    ADSTYPE_PATH = 15,
    ADSTYPE_POSTALADDRESS = 16,
    ADSTYPE_TIMESTAMP = 17,
    ADSTYPE_BACKLINK = 18,
    ADSTYPE_TYPEDNAME = 19,
    ADSTYPE_HOLD = 20,
    ADSTYPE_NETADDRESS = 21,
    ADSTYPE_REPLICAPOINTER = 22,
    ADSTYPE_FAXNUMBER = 23,
    ADSTYPE_EMAIL = 24,
    ADSTYPE_NT_SECURITY_DESCRIPTOR = 25,
    ADSTYPE_UNKNOWN = 26,
    ADSTYPE_DN_WITH_BINARY = 27,
    ADSTYPE_DN_WITH_STRING = 28
} ADSTYPEENUM;
typedef ADSTYPEENUM ADSTYPE;

typedef struct _adsvalue_octet {
    DWORD dwLength;
    LPBYTE lpValue;
} ADS_OCTET_STRING, ADS_NT_SECURITY_DESCRIPTOR, ADS_PROV_SPECIFIC;

typedef struct _adsvalue_dnbinary {
    DWORD dwLength;
    LPBYTE lpBinaryValue;
    LPWSTR pszDNString;
} ADS_DN_WITH_BINARY, *PADS_DN_WITH_BINARY;

typedef struct _adsvalue_dnstring {
    LPWSTR pszStringValue;
    LPWSTR pszDNString;
} ADS_DN_WITH_STRING, *PADS_DN_WITH_STRING;

typedef struct _adsvalue {
    ADSTYPE dwType;
    union {
        LPWSTR DNString;
        LPWSTR CaseExactString;
        LPWSTR CaseIgnoreString;
        LPWSTR PrintableString;
        LPWSTR NumericString;
        DWORD Boolean;
        DWORD Integer;
        ADS_OCTET_STRING OctetString;
        SYSTEMTIME UTCTime;
        LARGE_INTEGER LargeInteger;
        LPWSTR ClassName;
        ADS_PROV_SPECIFIC ProviderSpecific;
        ADS_NT_SECURITY_DESCRIPTOR SecurityDescriptor;
        PADS_DN_WITH_BINARY pDNWithBinary;
        PADS_DN_WITH_STRING pDNWithString;
    };
} ADSVALUE, *PADSVALUE, *LPADSVALUE;

typedef HANDLE ADS_SEARCH_HANDLE;
typedef ADS_SEARCH_HANDLE* PADS_SEARCH_HANDLE;

typedef struct ads_search_column {
    LPWSTR pszAttrName;
    ADSTYPE dwADsType;
    PADSVALUE pADsValues;
    DWORD dwNumValues;
    HANDLE hReserved;
} ADS_SEARCH_COLUMN, *PADS_SEARCH_COLUMN;

typedef enum {
    ADS_SEARCHPREF_ASYNCHRONOUS = 0,
    ADS_SEARCHPREF_DEREF_ALIASES = 1,
    ADS_SEARCHPREF_SIZE_LIMIT = 2,
    ADS_SEARCHPREF_TIME_LIMIT = 3,
    ADS_SEARCHPREF_ATTRIBTYPES_ONLY = 4,
    ADS_SEARCHPREF_SEARCH_SCOPE = 5,
    ADS_SEARCHPREF_TIMEOUT = 6,
    ADS_SEARCHPREF_PAGESIZE = 7,
    ADS_SEARCHPREF_PAGED_TIME_LIMIT = 8,
    ADS_SEARCHPREF_CHASE_REFERRALS = 9,
    ADS_SEARCHPREF_SORT_ON = 10,
    ADS_SEARCHPREF_CACHE_RESULTS = 11,
    ADS_SEARCHPREF_DIRSYNC = 12,
    ADS_SEARCHPREF_TOMBSTONE = 13,
    ADS_SEARCHPREF_VLV = 14,
    ADS_SEARCHPREF_ATTRIBUTE_QUERY = 15,
    ADS_SEARCHPREF_SECURITY_MASK = 16,
    ADS_SEARCHPREF_DIRSYNC_FLAG = 17,
    ADS_SEARCHPREF_EXTENDED_DN = 18
} ADS_SEARCHPREF_ENUM;
typedef ADS_SEARCHPREF_ENUM ADS_SEARCHPREF;

typedef enum {
    ADS_STATUS_S_OK = 0,
    ADS_STATUS_INVALID_SEARCHPREF = 1,
    ADS_STATUS_INVALID_SEARCHPREFVALUE = 2
} ADS_STATUSENUM;
typedef ADS_STATUSENUM ADS_STATUS;

typedef struct ads_searchpref_info {
    ADS_SEARCHPREF dwSearchPref;
    ADSVALUE vValue;
    ADS_STATUS dwStatus;
} ADS_SEARCHPREF_INFO, *PADS_SEARCHPREF_INFO, *LPADS_SEARCHPREF_INFO;

// ADS_SEARCHPREF_SORT_ON takes an ADS_PROV_SPECIFIC whose bytes are an array of these.
typedef struct {
    LPWSTR pszAttrType;
    LPWSTR pszReserved;
    BOOLEAN fReverseorder;
} ADS_SORTKEY, *PADS_SORTKEY;

typedef struct _ads_attr_info {
    LPWSTR pszAttrName;
    DWORD dwControlCode;
    ADSTYPE dwADsType;
    PADSVALUE pADsValues;
    DWORD dwNumValues;
} ADS_ATTR_INFO, *PADS_ATTR_INFO;

#define ADS_ATTR_CLEAR 1
#define ADS_ATTR_UPDATE 2
#define ADS_ATTR_APPEND 3
#define ADS_ATTR_DELETE 4

typedef struct _ads_object_info {
    LPWSTR pszRDN;
    LPWSTR pszObjectDN;
    LPWSTR pszParentDN;
    LPWSTR pszSchemaDN;
    LPWSTR pszClassName;
} ADS_OBJECT_INFO, *PADS_OBJECT_INFO;

struct IADs : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Class(BSTR* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_GUID(BSTR* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Parent(BSTR* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Schema(BSTR* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInfo() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetInfo() = 0;
    virtual HRESULT STDMETHODCALLTYPE Get(BSTR bstrName, VARIANT* pvProp) = 0;
    virtual HRESULT STDMETHODCALLTYPE Put(BSTR bstrName, VARIANT vProp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEx(BSTR bstrName, VARIANT* pvProp) = 0;
    virtual HRESULT STDMETHODCALLTYPE PutEx(LONG lnControlCode, BSTR bstrName, VARIANT vProp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT vProperties, LONG lnReserved) = 0;
};

struct IADsContainer : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* pVar) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Filter(VARIANT Var) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Hints(VARIANT* pvFilter) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Hints(VARIANT vHints) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObject(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE Create(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE Delete(BSTR bstrClassName, BSTR bstrRelativeName) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyHere(BSTR SourceName, BSTR NewName, IDispatch** ppObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveHere(BSTR SourceName, BSTR NewName, IDispatch** ppObject) = 0;
};

struct IADsCollection;

struct IADsClass : IADs {
    virtual HRESULT STDMETHODCALLTYPE get_PrimaryInterface(BSTR* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CLSID(BSTR* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CLSID(BSTR bstrCLSID) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_OID(BSTR* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_OID(BSTR bstrOID) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Abstract(VARIANT_BOOL* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Abstract(VARIANT_BOOL fAbstract) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Auxiliary(VARIANT_BOOL* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Auxiliary(VARIANT_BOOL fAuxiliary) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MandatoryProperties(VARIANT* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_MandatoryProperties(VARIANT vMandatoryProperties) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_OptionalProperties(VARIANT* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_OptionalProperties(VARIANT vOptionalProperties) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NamingProperties(VARIANT* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NamingProperties(VARIANT vNamingProperties) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DerivedFrom(VARIANT* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DerivedFrom(VARIANT vDerivedFrom) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AuxDerivedFrom(VARIANT* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AuxDerivedFrom(VARIANT vAuxDerivedFrom) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PossibleSuperiors(VARIANT* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_PossibleSuperiors(VARIANT vPossibleSuperiors) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Containment(VARIANT* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Containment(VARIANT vContainment) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Container(VARIANT_BOOL* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Container(VARIANT_BOOL fContainer) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HelpFileName(BSTR* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_HelpFileName(BSTR bstrHelpFileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HelpFileContext(LONG* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_HelpFileContext(LONG lnHelpFileContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE Qualifiers(IADsCollection** ppQualifiers) = 0;
};

struct IADsObjectOptions : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetOption(LONG lnOption, VARIANT* pvValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOption(LONG lnOption, VARIANT vValue) = 0;
};

struct IADsPathname : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Set(BSTR bstrADsPath, LONG lnSetType) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDisplayType(LONG lnDisplayType) = 0;
    virtual HRESULT STDMETHODCALLTYPE Retrieve(LONG lnFormatType, BSTR* pbstrADsPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumElements(LONG* plnNumPathElements) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetElement(LONG lnElementIndex, BSTR* pbstrElement) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddLeafElement(BSTR bstrLeafElement) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveLeafElement() = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyPath(IDispatch** ppAdsPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEscapedElement(LONG lnReserved, BSTR bstrInStr, BSTR* pbstrOutStr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EscapedMode(LONG* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_EscapedMode(LONG lnEscapedMode) = 0;
};

struct IADsLargeInteger : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_HighPart(LONG* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_HighPart(LONG lnHighPart) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LowPart(LONG* retval) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_LowPart(LONG lnLowPart) = 0;
};

struct IDirectorySearch : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetSearchPreference(PADS_SEARCHPREF_INFO pSearchPrefs, DWORD dwNumPrefs) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecuteSearch(LPWSTR pszSearchFilter, LPWSTR* pAttributeNames,
                                                    DWORD dwNumberAttributes, PADS_SEARCH_HANDLE phSearchResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE AbandonSearch(ADS_SEARCH_HANDLE phSearchResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFirstRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPreviousRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextColumnName(ADS_SEARCH_HANDLE hSearchHandle, LPWSTR* ppszColumnName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetColumn(ADS_SEARCH_HANDLE hSearchResult, LPWSTR szColumnName,
                                                PADS_SEARCH_COLUMN pSearchColumn) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeColumn(PADS_SEARCH_COLUMN pSearchColumn) = 0;
    virtual HRESULT STDMETHODCALLTYPE CloseSearchHandle(ADS_SEARCH_HANDLE hSearchResult) = 0;
};

struct IDirectoryObject : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetObjectInformation(PADS_OBJECT_INFO* ppObjInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObjectAttributes(LPWSTR* pAttributeNames, DWORD dwNumberAttributes,
                                                          PADS_ATTR_INFO* ppAttributeEntries,
                                                          DWORD* pdwNumAttributesReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetObjectAttributes(PADS_ATTR_INFO pAttributeEntries, DWORD dwNumAttributes,
                                                          DWORD* pdwNumAttributesModified) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDSObject(LPWSTR pszRDNName, PADS_ATTR_INFO pAttributeEntries,
                                                     DWORD dwNumAttributes, IDispatch** ppObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteDSObject(LPWSTR pszRDNName) = 0;
};

extern "C" {
// Binds an ADsPath with the logged-on user's Kerberos credentials. ADsOpenObject accepts no
// explicit user name or password (E_INVALIDARG): the integrated bind is the only one.
WINBASEAPI HRESULT ADsGetObject(LPCWSTR lpszPathName, REFIID riid, VOID** ppObject);
WINBASEAPI HRESULT ADsOpenObject(LPCWSTR lpszPathName, LPCWSTR lpszUserName, LPCWSTR lpszPassword,
                                 DWORD dwReserved, REFIID riid, void** ppObject);
WINBASEAPI HRESULT ADsBuildEnumerator(IADsContainer* pADsContainer, IEnumVARIANT** ppEnumVariant);
WINBASEAPI HRESULT ADsFreeEnumerator(IEnumVARIANT* pEnumVariant);
WINBASEAPI HRESULT ADsEnumerateNext(IEnumVARIANT* pEnumVariant, ULONG cElements, VARIANT* pvar,
                                    ULONG* pcElementsFetched);
// Implemented by the automation layer beside the other SAFEARRAY helpers.
WINBASEAPI HRESULT ADsBuildVarArrayStr(LPWSTR* lppPathNames, DWORD dwPathNames, VARIANT* pVar);
WINBASEAPI HRESULT ADsBuildVarArrayInt(LPDWORD lpdwObjectTypes, DWORD dwObjectTypes, VARIANT* pVar);

// The values of a search column as IADs::Get gives the same attribute: one value as itself,
// several as a VT_ARRAY|VT_VARIANT; strings as BSTRs, booleans, integers as VT_I4, times as
// VT_DATE (UTC), octet strings and security descriptors as VT_ARRAY|VT_UI1, large integers
// as IADsLargeInteger objects. E_ADS_CANT_CONVERT_DATATYPE for a type without a VARIANT form.
WINBASEAPI HRESULT AdsTypeToPropVariant(PADSVALUE pAdsValues, DWORD dwNumValues, VARIANT* pVariant);

WINBASEAPI LPVOID AllocADsMem(DWORD cb);
WINBASEAPI BOOL FreeADsMem(LPVOID pMem);
WINBASEAPI LPWSTR AllocADsStr(LPCWSTR pStr);
WINBASEAPI BOOL FreeADsStr(LPWSTR pStr);
}
