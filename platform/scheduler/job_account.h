// The system account that runs the jobs of a root service (scheduler area only).
//
// A service running as root never runs a job as root: each run is handed to this account,
// "lumivel" unless LUMIVEL_JOB_ACCOUNT in the service's environment names another. The account
// runs with its own group and the groups the group database gives it, never with root's.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "win/types.h"

namespace lumivel::scheduler {

struct JobAccount {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    std::string shell;
};

// Whether runs are handed to the job account: only a service that is root hands them over; any
// other runs its jobs as itself, for it has nothing more to give away.
bool RunsJobsAsJobAccount();

// The account; HRESULT_FROM_WIN32(ERROR_NO_SUCH_USER) when it does not exist, E_ACCESSDENIED
// for one that would be root or hold root's group. *problem says which, in words.
HRESULT FindJobAccount(JobAccount* account, std::string* problem);

}  // namespace lumivel::scheduler
