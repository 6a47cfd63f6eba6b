// The folder of one run of a work item (scheduler area only).
//
// The service makes it, mode 0700, and fills it while it is still its own: the ticket obtained
// from the item's keytab ("ccache"), and for a run handed to the job account read-only copies
// of the hives of the user who saved the item ("user.hive", "machine.hive") and a temporary
// folder ("tmp"). Then it hands the folder over to the account, which is the run's home and
// all of the local file system it may write. When the run has ended the service takes back
// what the run left for it (its audit lines) and removes the folder with everything in it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "job_account.h"
#include "win/types.h"

namespace lumivel::scheduler {

class JobFolder {
public:
    // A new folder: for a run handed to the job account in the temporary base folder when every
    // account may pass through it (else /tmp), otherwise in the service's private temporary
    // folder. *problem says what failed.
    static HRESULT Create(bool forJobAccount, std::unique_ptr<JobFolder>* folder, std::string* problem);
    ~JobFolder();
    JobFolder(const JobFolder&) = delete;
    JobFolder& operator=(const JobFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string pathOf(const std::string& name) const { return m_path + "/" + name; }

    // The ticket for the principal from the keytab's bytes, in "ccache"; the keytab is gone
    // again before this returns.
    HRESULT addTicket(const std::string& principal, const std::vector<uint8_t>& keytab, std::string* problem);
    // A read-only copy of the hive at `source` under `name`. A hive that does not exist is no
    // fault: the run starts with an empty one, as its user's own process would.
    HRESULT addHive(const std::string& source, bool userHive, const std::string& name, std::string* problem);
    HRESULT addFolder(const std::string& name, std::string* problem);
    // Gives the folder and everything in it to the account.
    HRESULT handOver(const JobAccount& account, std::string* problem);

private:
    explicit JobFolder(std::string path) : m_path(std::move(path)) {}
    std::string m_path;
};

}  // namespace lumivel::scheduler
