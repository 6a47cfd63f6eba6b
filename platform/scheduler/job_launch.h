// Starting one run of a work item (scheduler area only).
//
// The run's command line is the application name (quoted unless it came quoted) followed by
// the parameters, read as CreateProcessW reads a command line. The process gets:
//   - the service account's HOME, USER, LOGNAME and SHELL, and HOME as its working directory
//     unless the item names one;
//   - from the service's own environment only PATH, the locale, the time zone, the Kerberos
//     and LDAP client settings, the XDG folders, TMPDIR and the LUMIVEL_ settings;
//   - the registry hives of the user who saved the item, and the headless user interface;
//   - for an item with a domain account, KRB5CCNAME naming a credential cache in a private
//     folder of this run, holding a ticket obtained from the item's keytab (the keytab file
//     used for it is gone before the process starts). An item of the service's own account
//     keeps the service's KRB5CCNAME.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "lumivel/temporary_file.h"
#include "work_item_file.h"

namespace lumivel::scheduler {

struct LaunchedJob {
    HANDLE process = nullptr;
    std::unique_ptr<PrivateTempDirectory> credentials;  // removed when the run has ended
};

std::u16string JobCommandLine(const WorkItemRecord& record);

// The environment block entries ("NAME=value") for a run, given the service's environment.
std::vector<std::u16string> JobEnvironment(const WorkItemRecord& record, const std::vector<std::string>& service,
                                           const std::string& credentialCache);

// Starts the run; a failure is the HRESULT the item records as why it did not start.
HRESULT LaunchJob(const WorkItemRecord& record, LaunchedJob* job);

}  // namespace lumivel::scheduler
