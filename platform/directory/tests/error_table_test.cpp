// LDAP results as a Windows caller sees them: result codes, HRESULTs and texts.
#include <gtest/gtest.h>

#include <ldap.h>

#include "../error_table.h"
#include "lumivel/system_messages.h"
#include "lumivel/text.h"
#include "win/dserror.h"

using namespace lumivel::directory;

namespace {

struct Case {
    int openLdap;
    ULONG windowsCode;
    HRESULT hresult;
    const char16_t* ldapText;
};

const Case kCases[] = {
    {LDAP_SUCCESS, 0x00, S_OK, u"Success"},
    {LDAP_NO_SUCH_OBJECT, 0x20, static_cast<HRESULT>(0x80072030), u"No Such Object"},
    {LDAP_ALREADY_EXISTS, 0x44, static_cast<HRESULT>(0x80071392), u"Already Exists"},
    {LDAP_UNWILLING_TO_PERFORM, 0x35, static_cast<HRESULT>(0x80072035), u"Unwilling To Perform"},
    {LDAP_INSUFFICIENT_ACCESS, 0x32, static_cast<HRESULT>(0x80072098), u"Insufficient Rights"},
    {LDAP_INVALID_CREDENTIALS, 0x31, static_cast<HRESULT>(0x8007052E), u"Invalid Credentials"},
    {LDAP_SERVER_DOWN, 0x51, static_cast<HRESULT>(0x8007203A), u"Server Down"},
    {LDAP_CONNECT_ERROR, 0x5b, static_cast<HRESULT>(0x8007203A), u"Can't connect to the LDAP server"},
    {LDAP_TIMEOUT, 0x55, HRESULT_FROM_WIN32(ERROR_TIMEOUT), u"Timeout"},
    {LDAP_FILTER_ERROR, 0x57, static_cast<HRESULT>(0x8007203E), u"Filter Error"},
    {LDAP_LOCAL_ERROR, 0x52, static_cast<HRESULT>(0x8007203B), u"Local Error"},
    {LDAP_NO_SUCH_ATTRIBUTE, 0x10, static_cast<HRESULT>(0x8007200A), u"No Such Attribute"},
    {LDAP_CONSTRAINT_VIOLATION, 0x13, static_cast<HRESULT>(0x8007202F), u"Constraint Violation"},
    {LDAP_OBJECT_CLASS_VIOLATION, 0x41, static_cast<HRESULT>(0x80072014), u"Object Class Violation"},
    {LDAP_NOT_ALLOWED_ON_NONLEAF, 0x42, static_cast<HRESULT>(0x80072015), u"Not allowed on Non-leaf"},
    {LDAP_UNAVAILABLE_CRITICAL_EXTENSION, 0x0c, static_cast<HRESULT>(0x8007202C), u"Unavailable Critical Extension"},
    {LDAP_STRONG_AUTH_REQUIRED, 0x08, static_cast<HRESULT>(0x80072028), u"Strong Auth Required"},
    {LDAP_REFERRAL_LIMIT_EXCEEDED, 0x61, static_cast<HRESULT>(0x80072044), u"Referral Limit Exceeded"},
    {LDAP_X_CONNECTING, 0x5b, static_cast<HRESULT>(0x8007203A), u"Can't connect to the LDAP server"},
    {0x76 /* cancelled, no Windows code */, 0x50, static_cast<HRESULT>(0x80072095), u"Other"},
};

TEST(ErrorTable, LdapResultsAsWindowsSeesThem) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.openLdap);
        const ULONG code = WindowsLdapCode(c.openLdap);
        EXPECT_EQ(code, c.windowsCode);
        EXPECT_EQ(HresultFromLdap(c.openLdap), c.hresult);
        EXPECT_EQ(std::u16string(WindowsLdapText(code)), c.ldapText);
    }
    EXPECT_EQ(std::u16string(WindowsLdapText(0x1234)), u"Unknown error");
}

TEST(ErrorTable, KerberosReasonsOfAFailedBind) {
    const std::string gss = "SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code may provide "
                            "more information (";
    struct Case {
        int rc;
        std::string diagnostic;
        HRESULT expected;
    };
    const Case cases[] = {
        {LDAP_LOCAL_ERROR, gss + "Server not found in Kerberos database)", SEC_E_TARGET_UNKNOWN},
        {LDAP_LOCAL_ERROR, gss + "Clock skew too great)", SEC_E_TIME_SKEW},
        {LDAP_LOCAL_ERROR, gss + "Cannot contact any KDC for realm 'LUMIVEL.TEST')", SEC_E_NO_AUTHENTICATING_AUTHORITY},
        {LDAP_LOCAL_ERROR, gss + "Ticket expired)", SEC_E_CONTEXT_EXPIRED},
        {LDAP_LOCAL_ERROR, gss + "No Kerberos credentials available (default cache: FILE:/tmp/x))", SEC_E_NO_CREDENTIALS},
        // Anything else keeps the LDAP result's meaning.
        {LDAP_LOCAL_ERROR, gss + "Something new)", static_cast<HRESULT>(0x8007203B)},
        {LDAP_INVALID_CREDENTIALS, "80090308: LdapErr: DSID-0C09042A, data 52e", static_cast<HRESULT>(0x8007052E)},
        {LDAP_SERVER_DOWN, "", static_cast<HRESULT>(0x8007203A)},
        {LDAP_TIMEOUT, "", HRESULT_FROM_WIN32(ERROR_TIMEOUT)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.diagnostic);
        EXPECT_EQ(HresultFromBindFailure(c.rc, c.diagnostic), c.expected);
    }
}

// The last answer of a search as the rows' end a caller sees: a server's limit that cut the
// answer short is the failure unless the caller bounded the rows itself.
TEST(ErrorTable, SearchEndsByTheServersLastAnswer) {
    struct Case {
        int rc;
        CallerSizeLimit limit;
        HRESULT expected;
    };
    const Case cases[] = {
        {LDAP_SUCCESS, CallerSizeLimit::None, S_ADS_NOMORE_ROWS},
        {LDAP_SUCCESS, CallerSizeLimit::Set, S_ADS_NOMORE_ROWS},
        {LDAP_SIZELIMIT_EXCEEDED, CallerSizeLimit::None, static_cast<HRESULT>(0x80072023)},
        {LDAP_ADMINLIMIT_EXCEEDED, CallerSizeLimit::None, static_cast<HRESULT>(0x80072024)},
        {LDAP_TIMELIMIT_EXCEEDED, CallerSizeLimit::None, static_cast<HRESULT>(0x80072022)},
        {LDAP_SIZELIMIT_EXCEEDED, CallerSizeLimit::Set, S_ADS_NOMORE_ROWS},
        {LDAP_ADMINLIMIT_EXCEEDED, CallerSizeLimit::Set, S_ADS_NOMORE_ROWS},
        // A time limit is never one the caller's size limit asked for.
        {LDAP_TIMELIMIT_EXCEEDED, CallerSizeLimit::Set, static_cast<HRESULT>(0x80072022)},
        {LDAP_FILTER_ERROR, CallerSizeLimit::None, E_ADS_INVALID_FILTER},
        {LDAP_INSUFFICIENT_ACCESS, CallerSizeLimit::Set, static_cast<HRESULT>(0x80072098)},
        {LDAP_SERVER_DOWN, CallerSizeLimit::None, static_cast<HRESULT>(0x8007203A)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rc);
        EXPECT_EQ(SearchEndResult(c.rc, c.limit), c.expected) << (c.limit == CallerSizeLimit::Set ? "limited" : "");
    }
}

TEST(ErrorTable, SystemMessagesKnowTheDirectoryTexts) {
    RegisterDirectoryMessages();
    struct Text {
        DWORD code;
        const char16_t* text;
    };
    const Text texts[] = {
        {0x80072030, u"There is no such object on the server.\r\n"},
        {0x8007203A, u"The server is not operational.\r\n"},
        {0x80072098, u"Insufficient access rights to perform the operation.\r\n"},
        {0x80071392, u"The object already exists.\r\n"},
        {0x8000500D, u"The directory property cannot be found in the cache.\r\n"},
        {0x80005000, u"An invalid directory pathname was passed.\r\n"},
        {0x8007054B, u"The specified domain either does not exist or could not be contacted.\r\n"},
        {0x8009030E, u"No credentials are available in the security package\r\n"},
        {ERROR_DS_UNWILLING_TO_PERFORM, u"The server is unwilling to process the request.\r\n"},
    };
    for (const auto& t : texts) {
        SCOPED_TRACE(t.code);
        const char16_t* found = lumivel::FindSystemMessage(t.code);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(std::u16string(found), t.text);
    }
}

// Every error a directory call can end in must have a text for the message boxes that show it.
TEST(ErrorTable, EveryResultHasASystemText) {
    RegisterDirectoryMessages();
    for (ULONG code = 1; code <= 0x61; ++code) {
        if (std::u16string(WindowsLdapText(code)) == u"Unknown error") continue;
        SCOPED_TRACE(code);
        EXPECT_NE(lumivel::FindSystemMessage(HRESULT_FROM_WIN32(Win32FromWindowsLdap(code))), nullptr);
    }
    for (int openLdap = -18; openLdap < 0; ++openLdap) {
        SCOPED_TRACE(openLdap);
        EXPECT_NE(lumivel::FindSystemMessage(HresultFromLdap(openLdap)), nullptr);
    }
    const HRESULT others[] = {SEC_E_NO_CREDENTIALS, SEC_E_CONTEXT_EXPIRED, SEC_E_TIME_SKEW, SEC_E_TARGET_UNKNOWN,
                              SEC_E_NO_AUTHENTICATING_AUTHORITY, E_ADS_BAD_PATHNAME, E_ADS_PROPERTY_NOT_FOUND,
                              E_ADS_BAD_PARAMETER, E_ADS_INVALID_FILTER, E_ADS_COLUMN_NOT_SET, E_ADS_UNKNOWN_OBJECT,
                              E_ADS_OBJECT_UNBOUND, E_ADS_CANT_CONVERT_DATATYPE, E_ADS_PROPERTY_NOT_SUPPORTED,
                              MK_E_SYNTAX, HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN), E_INVALIDARG, E_NOTIMPL,
                              E_ACCESSDENIED, E_OUTOFMEMORY};
    for (HRESULT hr : others) {
        SCOPED_TRACE(hr);
        EXPECT_NE(lumivel::FindSystemMessage(static_cast<DWORD>(hr)), nullptr);
    }
}

}  // namespace
