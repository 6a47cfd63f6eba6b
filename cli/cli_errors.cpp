#include "cli/cli_errors.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "lumivel/system_messages.h"
#include "shared/text_helpers.h"
#include "win/dserror.h"
#include "win/errors.h"

namespace lumivel_cli {

const char kRightsAdvice[] =
    "listing Deleted Objects normally needs administrator rights (a member of Domain Admins, or "
    "a ticket of such an account from kinit)";

namespace {

const char kCutShortAdvice[] =
    "the domain controller's limit cut its answer short, and a part is never taken for the whole: nothing was "
    "saved from it; try again, name another domain controller with --server, or have the domain controller's LDAP "
    "limits raised";

struct Advice {
    HRESULT code;
    const char* text;
};

constexpr Advice kAdvice[] = {
    {SEC_E_NO_CREDENTIALS, "no Kerberos ticket: get one with kinit, for example kinit administrator@REALM"},
    {SEC_E_CONTEXT_EXPIRED, "the Kerberos ticket has expired: get a new one with kinit"},
    {SEC_E_TIME_SKEW, "this machine's clock differs too much from the domain controller's"},
    {SEC_E_TARGET_UNKNOWN, "the domain controller is not known to Kerberos under that name: name the domain by its DNS name"},
    {HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN),
     "no domain controller of that domain was found: check the name, and that DNS resolves its _ldap._tcp.dc._msdcs records"},
    {HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN), "no domain controller answers for that name: check the name, DNS and the network"},
    {HRESULT_FROM_WIN32(ERROR_DS_INSUFF_ACCESS_RIGHTS), kRightsAdvice},
    {E_ACCESSDENIED, kRightsAdvice},
    {HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT), "the directory holds no such naming context or object"},
    {E_ADS_BAD_PATHNAME, "that is neither a DNS domain name nor a distinguished name"},
    {HRESULT_FROM_WIN32(ERROR_DS_SIZELIMIT_EXCEEDED), kCutShortAdvice},
    {HRESULT_FROM_WIN32(ERROR_DS_ADMIN_LIMIT_EXCEEDED), kCutShortAdvice},
    {HRESULT_FROM_WIN32(ERROR_DS_TIMELIMIT_EXCEEDED),
     "the domain controller did not give its whole answer in time, and a part is never taken for the whole: "
     "nothing was saved from it; try again when the domain controller is less busy, or name another with --server"},
};

std::string hiveSetting(const char* variable) {
    const char* value = std::getenv(variable);
    return std::string(variable) + (value ? "=" + std::string(value) : std::string(" unset (the default hive)"));
}

// The provider module installed beside this program.
std::string providerModulePath() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "RevivoProvider.so";
    std::string program(path, static_cast<size_t>(length));
    size_t slash = program.rfind('/');
    return (slash == std::string::npos ? std::string() : program.substr(0, slash + 1)) + "RevivoProvider.so";
}

}  // namespace

std::string ErrorText(HRESULT result) {
    std::string text = lumivel::shared::NarrowText(lumivel::SystemMessageText(static_cast<DWORD>(result)));
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    return text.empty() ? std::string("error ") + code : text + " (" + code + ")";
}

std::string ExplainedError(HRESULT result) {
    for (const Advice& advice : kAdvice)
        if (advice.code == result) return ErrorText(result) + "; " + advice.text;
    return ErrorText(result);
}

std::string ProviderAdvice(HRESULT result) {
    std::string text = "the restore provider is not available: " + ErrorText(result);
    if (result != REGDB_E_CLASSNOTREG && result != HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)) return text;
    return text + "; it is not registered in the registry this run uses (" + hiveSetting("LUMIVEL_MACHINE_HIVE") + ", " +
           hiveSetting("LUMIVEL_USER_HIVE") + "): register it with regsvr " + providerModulePath() +
           ", run with the same two variables";
}

bool IsAccessDenied(HRESULT result) {
    return result == HRESULT_FROM_WIN32(ERROR_DS_INSUFF_ACCESS_RIGHTS) || result == E_ACCESSDENIED ||
           result == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
}

}  // namespace lumivel_cli
