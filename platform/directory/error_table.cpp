// LDAP, Win32 and ADSI error translation with the Windows texts.
//
// Choices where the Windows path is indirect (ADSI reads the server's extended error):
//  - insufficient rights (50) is ERROR_DS_INSUFF_ACCESS_RIGHTS (0x80072098), as ADSI reports it;
//  - a connection that cannot be made (client "connect error" or "server down") is
//    ERROR_DS_SERVER_DOWN (0x8007203A), "The server is not operational.";
//  - no domain controller found for a domain is ERROR_NO_SUCH_DOMAIN (0x8007054B), and the
//    Kerberos states are SEC_E_NO_CREDENTIALS (no ticket) and SEC_E_CONTEXT_EXPIRED (expired
//    ticket); those are raised by the bind, not by this table.
#include "error_table.h"

#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "lumivel/system_messages.h"

#include "win/dsapi.h"
#include "win/dserror.h"
#include "win/winldap.h"

namespace lumivel::directory {
namespace {

struct LdapCodeInfo {
    ULONG code;
    DWORD win32;
    const char16_t* text;
};

constexpr LdapCodeInfo kLdapCodes[] = {
    {LDAP_SUCCESS, NO_ERROR, u"Success"},
    {LDAP_OPERATIONS_ERROR, ERROR_DS_OPERATIONS_ERROR, u"Operations Error"},
    {LDAP_PROTOCOL_ERROR, ERROR_DS_PROTOCOL_ERROR, u"Protocol Error"},
    {LDAP_TIMELIMIT_EXCEEDED, ERROR_DS_TIMELIMIT_EXCEEDED, u"Time Limit Exceeded"},
    {LDAP_SIZELIMIT_EXCEEDED, ERROR_DS_SIZELIMIT_EXCEEDED, u"Size Limit Exceeded"},
    {LDAP_COMPARE_FALSE, ERROR_DS_COMPARE_FALSE, u"Compare False"},
    {LDAP_COMPARE_TRUE, ERROR_DS_COMPARE_TRUE, u"Compare True"},
    {LDAP_AUTH_METHOD_NOT_SUPPORTED, ERROR_DS_AUTH_METHOD_NOT_SUPPORTED, u"Auth Method Not Supported"},
    {LDAP_STRONG_AUTH_REQUIRED, ERROR_DS_STRONG_AUTH_REQUIRED, u"Strong Auth Required"},
    {LDAP_REFERRAL_V2, ERROR_MORE_DATA, u"Referral (v2)"},
    {LDAP_REFERRAL, ERROR_DS_REFERRAL, u"Referral"},
    {LDAP_ADMIN_LIMIT_EXCEEDED, ERROR_DS_ADMIN_LIMIT_EXCEEDED, u"Admin Limit Exceeded"},
    {LDAP_UNAVAILABLE_CRIT_EXTENSION, ERROR_DS_UNAVAILABLE_CRIT_EXTENSION, u"Unavailable Critical Extension"},
    {LDAP_CONFIDENTIALITY_REQUIRED, ERROR_DS_CONFIDENTIALITY_REQUIRED, u"Confidentiality Required"},
    {LDAP_SASL_BIND_IN_PROGRESS, ERROR_DS_GENERIC_ERROR, u"SASL Bind In Progress"},
    {LDAP_NO_SUCH_ATTRIBUTE, ERROR_DS_NO_ATTRIBUTE_OR_VALUE, u"No Such Attribute"},
    {LDAP_UNDEFINED_TYPE, ERROR_DS_ATTRIBUTE_TYPE_UNDEFINED, u"Undefined Type"},
    {LDAP_INAPPROPRIATE_MATCHING, ERROR_DS_INAPPROPRIATE_MATCHING, u"Inappropriate Matching"},
    {LDAP_CONSTRAINT_VIOLATION, ERROR_DS_CONSTRAINT_VIOLATION, u"Constraint Violation"},
    {LDAP_ATTRIBUTE_OR_VALUE_EXISTS, ERROR_DS_ATTRIBUTE_OR_VALUE_EXISTS, u"Attribute Or Value Exists"},
    {LDAP_INVALID_SYNTAX, ERROR_DS_INVALID_ATTRIBUTE_SYNTAX, u"Invalid Syntax"},
    {LDAP_NO_SUCH_OBJECT, ERROR_DS_NO_SUCH_OBJECT, u"No Such Object"},
    {LDAP_ALIAS_PROBLEM, ERROR_DS_ALIAS_PROBLEM, u"Alias Problem"},
    {LDAP_INVALID_DN_SYNTAX, ERROR_DS_INVALID_DN_SYNTAX, u"Invalid DN Syntax"},
    {LDAP_IS_LEAF, ERROR_DS_IS_LEAF, u"Is Leaf"},
    {LDAP_ALIAS_DEREF_PROBLEM, ERROR_DS_ALIAS_DEREF_PROBLEM, u"Alias Deref Problem"},
    {LDAP_INAPPROPRIATE_AUTH, ERROR_DS_INAPPROPRIATE_AUTH, u"Inappropriate Authentication"},
    {LDAP_INVALID_CREDENTIALS, ERROR_LOGON_FAILURE, u"Invalid Credentials"},
    {LDAP_INSUFFICIENT_RIGHTS, ERROR_DS_INSUFF_ACCESS_RIGHTS, u"Insufficient Rights"},
    {LDAP_BUSY, ERROR_DS_BUSY, u"Busy"},
    {LDAP_UNAVAILABLE, ERROR_DS_UNAVAILABLE, u"Unavailable"},
    {LDAP_UNWILLING_TO_PERFORM, ERROR_DS_UNWILLING_TO_PERFORM, u"Unwilling To Perform"},
    {LDAP_LOOP_DETECT, ERROR_DS_LOOP_DETECT, u"Loop Detected"},
    {LDAP_SORT_CONTROL_MISSING, ERROR_DS_SORT_CONTROL_MISSING, u"Sort Control Missing"},
    {LDAP_OFFSET_RANGE_ERROR, ERROR_DS_OFFSET_RANGE_ERROR, u"Index range error"},
    {LDAP_NAMING_VIOLATION, ERROR_DS_NAMING_VIOLATION, u"Naming Violation"},
    {LDAP_OBJECT_CLASS_VIOLATION, ERROR_DS_OBJ_CLASS_VIOLATION, u"Object Class Violation"},
    {LDAP_NOT_ALLOWED_ON_NONLEAF, ERROR_DS_CANT_ON_NON_LEAF, u"Not allowed on Non-leaf"},
    {LDAP_NOT_ALLOWED_ON_RDN, ERROR_DS_CANT_ON_RDN, u"Not allowed on RDN"},
    {LDAP_ALREADY_EXISTS, ERROR_OBJECT_ALREADY_EXISTS, u"Already Exists"},
    {LDAP_NO_OBJECT_CLASS_MODS, ERROR_DS_CANT_MOD_OBJ_CLASS, u"No Object Class Mods"},
    {LDAP_RESULTS_TOO_LARGE, ERROR_DS_OBJECT_RESULTS_TOO_LARGE, u"Results Too Large"},
    {LDAP_AFFECTS_MULTIPLE_DSAS, ERROR_DS_AFFECTS_MULTIPLE_DSAS, u"Affects Multiple DSAs"},
    {LDAP_VIRTUAL_LIST_VIEW_ERROR, ERROR_DS_GENERIC_ERROR, u"Virtual List View error"},
    {LDAP_OTHER, ERROR_DS_GENERIC_ERROR, u"Other"},
    {LDAP_SERVER_DOWN, ERROR_DS_SERVER_DOWN, u"Server Down"},
    {LDAP_LOCAL_ERROR, ERROR_DS_LOCAL_ERROR, u"Local Error"},
    {LDAP_ENCODING_ERROR, ERROR_DS_ENCODING_ERROR, u"Encoding Error"},
    {LDAP_DECODING_ERROR, ERROR_DS_DECODING_ERROR, u"Decoding Error"},
    {LDAP_TIMEOUT, ERROR_TIMEOUT, u"Timeout"},
    {LDAP_AUTH_UNKNOWN, ERROR_DS_AUTH_UNKNOWN, u"Auth Unknown"},
    {LDAP_FILTER_ERROR, ERROR_DS_FILTER_UNKNOWN, u"Filter Error"},
    {LDAP_USER_CANCELLED, ERROR_CANCELLED, u"User Cancelled"},
    {LDAP_PARAM_ERROR, ERROR_DS_PARAM_ERROR, u"Parameter Error"},
    {LDAP_NO_MEMORY, ERROR_NOT_ENOUGH_MEMORY, u"No Memory"},
    {LDAP_CONNECT_ERROR, ERROR_DS_SERVER_DOWN, u"Can't connect to the LDAP server"},
    {LDAP_NOT_SUPPORTED, ERROR_DS_NOT_SUPPORTED, u"Not Supported by this version of the LDAP protocol"},
    {LDAP_CONTROL_NOT_FOUND, ERROR_DS_CONTROL_NOT_FOUND, u"Control Not Found"},
    {LDAP_NO_RESULTS_RETURNED, ERROR_DS_NO_RESULTS_RETURNED, u"No Results Returned"},
    {LDAP_MORE_RESULTS_TO_RETURN, ERROR_MORE_DATA, u"More Results To Return"},
    {LDAP_CLIENT_LOOP, ERROR_DS_CLIENT_LOOP, u"Client Loop"},
    {LDAP_REFERRAL_LIMIT_EXCEEDED, ERROR_DS_REFERRAL_LIMIT_EXCEEDED, u"Referral Limit Exceeded"},
};

const LdapCodeInfo* FindLdapCode(ULONG code) {
    for (const auto& info : kLdapCodes)
        if (info.code == code) return &info;
    return nullptr;
}

struct MessageText {
    DWORD code;
    const char16_t* text;
};

// FormatMessageW texts (without the trailing CR LF, which the message table adds).
constexpr MessageText kMessages[] = {
    {ERROR_DS_NOT_INSTALLED, u"An error occurred while installing the directory service. For more information, see the event log."},
    {ERROR_DS_NO_ATTRIBUTE_OR_VALUE, u"The specified directory service attribute or value does not exist."},
    {ERROR_DS_INVALID_ATTRIBUTE_SYNTAX, u"The attribute syntax specified to the directory service is invalid."},
    {ERROR_DS_ATTRIBUTE_TYPE_UNDEFINED, u"The attribute type specified to the directory service is not defined."},
    {ERROR_DS_ATTRIBUTE_OR_VALUE_EXISTS, u"The specified directory service attribute or value already exists."},
    {ERROR_DS_BUSY, u"The directory service is busy."},
    {ERROR_DS_UNAVAILABLE, u"The directory service is unavailable."},
    {ERROR_DS_OBJ_CLASS_VIOLATION, u"The requested operation did not satisfy one or more constraints associated with the class of the object."},
    {ERROR_DS_CANT_ON_NON_LEAF, u"The directory service can perform the requested operation only on a leaf object."},
    {ERROR_DS_CANT_ON_RDN, u"The directory service cannot perform the requested operation on the RDN attribute of an object."},
    {ERROR_DS_CANT_MOD_OBJ_CLASS, u"The directory service detected an attempt to modify the object class of an object."},
    {ERROR_DS_GC_NOT_AVAILABLE, u"The requested global catalog server is not available."},
    {ERROR_DS_OPERATIONS_ERROR, u"An operations error occurred."},
    {ERROR_DS_PROTOCOL_ERROR, u"A protocol error occurred."},
    {ERROR_DS_TIMELIMIT_EXCEEDED, u"The time limit for this request was exceeded."},
    {ERROR_DS_SIZELIMIT_EXCEEDED, u"The size limit for this request was exceeded."},
    {ERROR_DS_ADMIN_LIMIT_EXCEEDED, u"The administrative limit for this request was exceeded."},
    {ERROR_DS_COMPARE_FALSE, u"The compare response was false."},
    {ERROR_DS_COMPARE_TRUE, u"The compare response was true."},
    {ERROR_DS_AUTH_METHOD_NOT_SUPPORTED, u"The requested authentication method is not supported by the server."},
    {ERROR_DS_STRONG_AUTH_REQUIRED, u"A more secure authentication method is required for this server."},
    {ERROR_DS_INAPPROPRIATE_AUTH, u"Inappropriate authentication."},
    {ERROR_DS_AUTH_UNKNOWN, u"The authentication mechanism is unknown."},
    {ERROR_DS_REFERRAL, u"A referral was returned from the server."},
    {ERROR_DS_UNAVAILABLE_CRIT_EXTENSION, u"The server does not support the requested critical extension."},
    {ERROR_DS_CONFIDENTIALITY_REQUIRED, u"This request requires a secure connection."},
    {ERROR_DS_INAPPROPRIATE_MATCHING, u"Inappropriate matching."},
    {ERROR_DS_CONSTRAINT_VIOLATION, u"A constraint violation occurred."},
    {ERROR_DS_NO_SUCH_OBJECT, u"There is no such object on the server."},
    {ERROR_DS_ALIAS_PROBLEM, u"There is an alias problem."},
    {ERROR_DS_INVALID_DN_SYNTAX, u"An invalid dn syntax has been specified."},
    {ERROR_DS_IS_LEAF, u"The object is a leaf object."},
    {ERROR_DS_ALIAS_DEREF_PROBLEM, u"There is an alias dereferencing problem."},
    {ERROR_DS_UNWILLING_TO_PERFORM, u"The server is unwilling to process the request."},
    {ERROR_DS_LOOP_DETECT, u"A loop has been detected."},
    {ERROR_DS_NAMING_VIOLATION, u"There is a naming violation."},
    {ERROR_DS_OBJECT_RESULTS_TOO_LARGE, u"The result set is too large."},
    {ERROR_DS_AFFECTS_MULTIPLE_DSAS, u"The operation affects multiple DSAs"},
    {ERROR_DS_SERVER_DOWN, u"The server is not operational."},
    {ERROR_DS_LOCAL_ERROR, u"A local error has occurred."},
    {ERROR_DS_ENCODING_ERROR, u"An encoding error has occurred."},
    {ERROR_DS_DECODING_ERROR, u"A decoding error has occurred."},
    {ERROR_DS_FILTER_UNKNOWN, u"The search filter cannot be recognized."},
    {ERROR_DS_PARAM_ERROR, u"One or more parameters are illegal."},
    {ERROR_DS_NOT_SUPPORTED, u"The specified method is not supported."},
    {ERROR_DS_NO_RESULTS_RETURNED, u"No results were returned."},
    {ERROR_DS_CONTROL_NOT_FOUND, u"The specified control is not supported by the server."},
    {ERROR_DS_CLIENT_LOOP, u"A referral loop was detected by the client."},
    {ERROR_DS_REFERRAL_LIMIT_EXCEEDED, u"The preset referral limit was exceeded."},
    {ERROR_DS_SORT_CONTROL_MISSING, u"The search requires a SORT control."},
    {ERROR_DS_OFFSET_RANGE_ERROR, u"The search results exceed the offset range specified."},
    {ERROR_DS_GENERIC_ERROR, u"A directory service error has occurred."},
    {ERROR_DS_INSUFF_ACCESS_RIGHTS, u"Insufficient access rights to perform the operation."},
    {ERROR_DS_CANT_FIND_DC_FOR_SRC_DOMAIN, u"The source domain controller cannot be found."},
    {ERROR_OBJECT_ALREADY_EXISTS, u"The object already exists."},
    {ERROR_NO_SUCH_DOMAIN, u"The specified domain either does not exist or could not be contacted."},
    {ERROR_NO_SITENAME, u"No site name is available for this machine."},
    {static_cast<DWORD>(S_ADS_ERRORSOCCURRED), u"During a query, one or more errors occurred."},
    {static_cast<DWORD>(S_ADS_NOMORE_ROWS), u"The search operation has reached the last row."},
    {static_cast<DWORD>(S_ADS_NOMORE_COLUMNS), u"The search operation has reached the last column for the current row."},
    {static_cast<DWORD>(E_ADS_BAD_PATHNAME), u"An invalid directory pathname was passed."},
    {static_cast<DWORD>(E_ADS_INVALID_DOMAIN_OBJECT), u"An unknown directory domain object was requested."},
    {static_cast<DWORD>(E_ADS_INVALID_USER_OBJECT), u"An unknown directory user object was requested."},
    {static_cast<DWORD>(E_ADS_INVALID_COMPUTER_OBJECT), u"An unknown directory computer object was requested."},
    {static_cast<DWORD>(E_ADS_UNKNOWN_OBJECT), u"An unknown directory object was requested."},
    {static_cast<DWORD>(E_ADS_PROPERTY_NOT_SET), u"The specified directory property was not set."},
    {static_cast<DWORD>(E_ADS_PROPERTY_NOT_SUPPORTED), u"The specified directory property is not supported."},
    {static_cast<DWORD>(E_ADS_PROPERTY_INVALID), u"The specified directory property is invalid."},
    {static_cast<DWORD>(E_ADS_BAD_PARAMETER), u"One or more input parameters are invalid."},
    {static_cast<DWORD>(E_ADS_OBJECT_UNBOUND), u"The specified directory object is not bound to a remote resource."},
    {static_cast<DWORD>(E_ADS_PROPERTY_NOT_MODIFIED), u"The specified directory object has not been modified."},
    {static_cast<DWORD>(E_ADS_PROPERTY_MODIFIED), u"The specified directory object has been modified."},
    {static_cast<DWORD>(E_ADS_CANT_CONVERT_DATATYPE), u"The directory datatype cannot be converted to/from a native DS datatype."},
    {static_cast<DWORD>(E_ADS_PROPERTY_NOT_FOUND), u"The directory property cannot be found in the cache."},
    {static_cast<DWORD>(E_ADS_OBJECT_EXISTS), u"The directory object exists."},
    {static_cast<DWORD>(E_ADS_SCHEMA_VIOLATION), u"The attempted action violates the directory service schema rules."},
    {static_cast<DWORD>(E_ADS_COLUMN_NOT_SET), u"The specified column in the directory was not set."},
    {static_cast<DWORD>(E_ADS_INVALID_FILTER), u"The specified search filter is invalid."},
    {static_cast<DWORD>(MK_E_SYNTAX), u"Invalid syntax"},
    {static_cast<DWORD>(SEC_E_NO_CREDENTIALS), u"No credentials are available in the security package"},
    {static_cast<DWORD>(SEC_E_CONTEXT_EXPIRED), u"The context has expired and can no longer be used."},
    {static_cast<DWORD>(SEC_E_TIME_SKEW), u"The clocks on the client and server machines are skewed."},
    {static_cast<DWORD>(SEC_E_TARGET_UNKNOWN), u"The specified target is unknown or unreachable"},
    {static_cast<DWORD>(SEC_E_NO_AUTHENTICATING_AUTHORITY), u"No authority could be contacted for authentication."},
};

// Kerberos reasons as the GSSAPI mechanism words them in a failed bind's diagnostic message.
struct BindReason {
    const char* text;
    HRESULT hresult;
};

constexpr BindReason kBindReasons[] = {
    {"Server not found in Kerberos database", SEC_E_TARGET_UNKNOWN},
    {"Clock skew too great", SEC_E_TIME_SKEW},
    {"Cannot contact any KDC", SEC_E_NO_AUTHENTICATING_AUTHORITY},
    {"Cannot find KDC", SEC_E_NO_AUTHENTICATING_AUTHORITY},
    {"Ticket expired", SEC_E_CONTEXT_EXPIRED},
    {"No Kerberos credentials available", SEC_E_NO_CREDENTIALS},
    {"No credentials cache found", SEC_E_NO_CREDENTIALS},
    {"No credentials were supplied", SEC_E_NO_CREDENTIALS},
};

}  // namespace

HRESULT HresultFromBindFailure(int openLdapCode, std::string_view diagnostic) {
    if (openLdapCode == 0) return S_OK;
    for (const auto& reason : kBindReasons)
        if (diagnostic.find(reason.text) != std::string_view::npos) return reason.hresult;
    return HresultFromLdap(openLdapCode);
}

ULONG WindowsLdapCode(int openLdapCode) {
    if (openLdapCode >= 0) {
        if (openLdapCode <= 0x50 && FindLdapCode(static_cast<ULONG>(openLdapCode))) return openLdapCode;
        return LDAP_OTHER;
    }
    // -1 .. -17 map one to one onto 0x51 .. 0x61; -18 (still connecting) is a connect error.
    if (openLdapCode >= -17) return static_cast<ULONG>(0x50 - openLdapCode);
    return openLdapCode == -18 ? LDAP_CONNECT_ERROR : LDAP_LOCAL_ERROR;
}

DWORD Win32FromWindowsLdap(ULONG windowsLdapCode) {
    const LdapCodeInfo* info = FindLdapCode(windowsLdapCode);
    return info ? info->win32 : ERROR_DS_GENERIC_ERROR;
}

HRESULT HresultFromLdap(int openLdapCode) {
    if (openLdapCode == 0) return S_OK;
    return HRESULT_FROM_WIN32(Win32FromWindowsLdap(WindowsLdapCode(openLdapCode)));
}

HRESULT SearchEndResult(int openLdapCode, CallerSizeLimit limit) {
    switch (WindowsLdapCode(openLdapCode)) {
        case LDAP_SUCCESS:
            return S_ADS_NOMORE_ROWS;
        case LDAP_SIZELIMIT_EXCEEDED:
        case LDAP_ADMIN_LIMIT_EXCEEDED:
            return limit == CallerSizeLimit::Set ? S_ADS_NOMORE_ROWS : HresultFromLdap(openLdapCode);
        case LDAP_FILTER_ERROR:
            return E_ADS_INVALID_FILTER;
        default:
            return HresultFromLdap(openLdapCode);
    }
}

const char16_t* WindowsLdapText(ULONG windowsLdapCode) {
    const LdapCodeInfo* info = FindLdapCode(windowsLdapCode);
    return info ? info->text : u"Unknown error";
}

const char16_t* DirectoryMessageText(DWORD code) {
    // HRESULT_FROM_WIN32 forms of the Win32 codes have the same text.
    if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFFu;
    for (const auto& message : kMessages)
        if (message.code == code) return message.text;
    return nullptr;
}

void RegisterDirectoryMessages() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The system table wants texts as FormatMessageW returns them, ended by CR LF.
        static std::vector<std::u16string> texts;
        static std::vector<SystemMessage> table;
        texts.reserve(std::size(kMessages));
        for (const auto& message : kMessages) {
            texts.push_back(std::u16string(message.text) + u"\r\n");
            table.push_back({message.code, texts.back().c_str()});
        }
        RegisterSystemMessages(table.data(), table.size());
    });
}

}  // namespace lumivel::directory
