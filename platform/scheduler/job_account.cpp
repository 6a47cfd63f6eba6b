#include "job_account.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "win/errors.h"

namespace lumivel::scheduler {
namespace {

constexpr char kDefaultAccount[] = "lumivel";

}  // namespace

bool RunsJobsAsJobAccount() { return ::geteuid() == 0; }

HRESULT FindJobAccount(JobAccount* account, std::string* problem) {
    const char* chosen = std::getenv("LUMIVEL_JOB_ACCOUNT");
    account->name = chosen && *chosen ? chosen : kDefaultAccount;
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    int error;
    while ((error = ::getpwnam_r(account->name.c_str(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (!found) {
        *problem = "the account " + account->name + " that runs the jobs does not exist";
        return HRESULT_FROM_WIN32(ERROR_NO_SUCH_USER);
    }
    account->uid = found->pw_uid;
    account->gid = found->pw_gid;
    account->shell = found->pw_shell && *found->pw_shell ? found->pw_shell : "/usr/sbin/nologin";
    // Asked with no room first, the group database says how many there are.
    int count = 0;
    ::getgrouplist(account->name.c_str(), account->gid, nullptr, &count);
    account->groups.assign(static_cast<size_t>(count > 0 ? count : 0), 0);
    if (count <= 0 || ::getgrouplist(account->name.c_str(), account->gid, account->groups.data(), &count) < 0) {
        *problem = "the groups of the account " + account->name + " that runs the jobs cannot be read";
        return HRESULT_FROM_WIN32(ERROR_NO_SUCH_USER);
    }
    account->groups.resize(static_cast<size_t>(count));
    if (account->uid == 0 || account->gid == 0) {
        *problem = "the account " + account->name + " that runs the jobs is root or has root's group";
        return E_ACCESSDENIED;
    }
    for (gid_t group : account->groups) {
        if (group == 0) {
            *problem = "the account " + account->name + " that runs the jobs is a member of root's group";
            return E_ACCESSDENIED;
        }
    }
    return S_OK;
}

}  // namespace lumivel::scheduler
