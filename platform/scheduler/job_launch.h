// Starting one run of a work item (scheduler area only).
//
// The run's command line is the application name (quoted unless it came quoted) followed by
// the parameters, read as CreateProcessW reads a command line. Every run leads a session of its
// own, within the bounds of job_limits.h, and can never gain privileges. A service that runs as
// root hands each run to the job account (job_account.h) in a folder of its own
// (job_folder.h), and its process gets:
//   - HOME, the working directory (unless the item names one) and TMPDIR in that folder, and
//     the account's USER, LOGNAME and SHELL;
//   - copies of the registry hives of the user who saved the item, which it may read, and
//     LUMIVEL_AUDIT_LOG naming a file in its folder that the service takes its audit lines from;
//   - for an item with a domain account, KRB5CCNAME naming the ticket in its folder; else none;
//   - from the service's own environment only PATH, the locale, the time zone, the Kerberos,
//     LDAP and SMB client settings and the LUMIVEL_ settings: nothing that names root's files.
// A service that is not root runs each item as itself, with the hives of the user who saved
// it, the service account's HOME, USER, LOGNAME and SHELL, the XDG folders and TMPDIR of the
// service, and KRB5CCNAME naming a ticket in a private folder of the run (an item of the
// service's own account keeps the service's). Either way the keytab file used for the ticket
// is gone before the process starts, and every run has the headless user interface.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "job_account.h"
#include "job_folder.h"
#include "lumivel/confined_process.h"
#include "work_item_file.h"

namespace lumivel::scheduler {

struct LaunchedJob {
    HANDLE process = nullptr;
    std::string account;  // the job account it runs as; empty when it runs as the service's
    std::u16string applicationName;
    ProcessLimits limits;
    std::unique_ptr<JobFolder> folder;  // removed when the run has ended
};

std::u16string JobCommandLine(const WorkItemRecord& record);

// Where a run finds what the service prepared for it.
struct RunPlaces {
    std::string credentialCache;      // empty: none of the run's own
    const JobAccount* account = nullptr;  // the rest only for a run handed to the job account
    std::string home, temporary, userHive, machineHive, auditLog;
};

// The environment block entries ("NAME=value") for a run, given the service's environment.
std::vector<std::u16string> JobEnvironment(const WorkItemRecord& record, const std::vector<std::string>& service,
                                           const RunPlaces& places);

// Starts the run; a failure is the HRESULT the item records as why it did not start, and
// *problem says in words what could not be done.
HRESULT LaunchJob(const WorkItemRecord& record, LaunchedJob* job, std::string* problem);

}  // namespace lumivel::scheduler
