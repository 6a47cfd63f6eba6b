#include "job_folder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "../files/path.h"
#include "../registry/hive.h"
#include "account_keys.h"
#include "lumivel/errno_map.h"
#include "lumivel/temporary_file.h"
#include "win/errors.h"

// After the platform headers: it defines LOCK_WRITE, a name objidl.h uses.
#include <fcntl.h>

namespace lumivel::scheduler {
namespace {

HRESULT FromErrno(int error) { return HRESULT_FROM_WIN32(Win32ErrorFromErrno(error)); }

// The job account must reach its folder through every folder above it.
std::string BaseForJobAccount() {
    std::string base = TemporaryBaseFolder();
    struct stat st {};
    if (::stat(base.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_IXOTH)) return base;
    return "/tmp";
}

}  // namespace

HRESULT JobFolder::Create(bool forJobAccount, std::unique_ptr<JobFolder>* folder, std::string* problem) {
    std::string base;
    if (forJobAccount) {
        base = BaseForJobAccount();
    } else if (DWORD e = PrivateTemporaryFolder(&base)) {
        *problem = "there is no private temporary folder for its run";
        return HRESULT_FROM_WIN32(e);
    }
    std::string pattern = base + "/lumivel-job-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        *problem = "no folder for its run could be made in " + base;
        return FromErrno(errno);
    }
    folder->reset(new JobFolder(pattern));
    return S_OK;
}

JobFolder::~JobFolder() { RemoveFolderTree(m_path); }

HRESULT JobFolder::addTicket(const std::string& principal, const std::vector<uint8_t>& keytab, std::string* problem) {
    const std::string keytabPath = pathOf("keytab");
    DWORD error = WriteFileAtomically(
        keytabPath, std::string_view(reinterpret_cast<const char*>(keytab.data()), keytab.size()), 0600,
        ExistingFile::Keep);
    if (error != ERROR_SUCCESS) {
        *problem = "its keytab could not be written for the run";
        return HRESULT_FROM_WIN32(error);
    }
    HRESULT hr = TicketFromKeytab(principal, keytabPath, pathOf("ccache"));
    ::unlink(keytabPath.c_str());
    if (FAILED(hr)) *problem = "no ticket could be obtained for " + principal;
    return hr;
}

HRESULT JobFolder::addHive(const std::string& source, bool userHive, const std::string& name, std::string* problem) {
    if (source.empty()) return S_OK;
    DWORD error = SnapshotHive(source, userHive ? HiveOwner::CurrentUser : HiveOwner::Anyone, pathOf(name));
    if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return S_OK;
    *problem = std::string("the ") + (userHive ? "user" : "machine") + " hive " + source +
               " of the user who saved it cannot be handed to the run";
    return HRESULT_FROM_WIN32(error);
}

HRESULT JobFolder::addFolder(const std::string& name, std::string* problem) {
    if (::mkdir(pathOf(name).c_str(), 0700) == 0) return S_OK;
    *problem = "the folder " + pathOf(name) + " could not be made for the run";
    return FromErrno(errno);
}

HRESULT JobFolder::handOver(const JobAccount& account, std::string* problem) {
    int folder = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        *problem = "the folder of its run cannot be opened";
        return FromErrno(errno);
    }
    // Everything in it is the service's own until now, and made flat: one level to give away.
    int error = 0;
    int listing = ::dup(folder);
    DIR* entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!entries) error = errno ? errno : EBADF;
    if (listing >= 0 && !entries) ::close(listing);
    while (entries && !error) {
        dirent* entry = ::readdir(entries);
        if (!entry) break;
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (::fchownat(folder, name.c_str(), account.uid, account.gid, AT_SYMLINK_NOFOLLOW) != 0) error = errno;
    }
    if (entries) ::closedir(entries);
    if (!error && ::fchown(folder, account.uid, account.gid) != 0) error = errno;
    ::close(folder);
    if (!error) return S_OK;
    *problem = "the folder of its run could not be given to the account " + account.name;
    return FromErrno(error);
}

}  // namespace lumivel::scheduler
