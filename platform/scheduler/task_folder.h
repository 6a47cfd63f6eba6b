// The local computer's task folder and the work item files in it (scheduler area only).
//
// The folder is $LUMIVEL_TASK_FOLDER, else /var/lib/lumivel/tasks. It belongs to the account
// the service runs as and is used only by processes of that account: a folder owned by another
// account, or writable by others, is refused (E_ACCESSDENIED), and so is an item file that is
// not a plain file of the folder's owner. Item files are "<name>.job", mode 0600, replaced
// whole. A read-modify-write of an item holds the folder's write lock (".lock"), so that the
// service's run state and an administrator's change never overwrite each other; the running
// service holds ".service" for as long as it runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "work_item_file.h"

namespace lumivel::scheduler {

std::string TaskFolderPath();

// HRESULT_FROM_WIN32(ERROR_INVALID_NAME) for a name that cannot be a file of the folder:
// empty, longer than 200 characters, with a control character or one of \ / : * ? " < > |,
// starting with '.', or ending with '.' or a blank.
HRESULT CheckItemName(std::u16string_view name);

enum class CreateFolder { No, Yes };

class TaskFolder {
public:
    // Checks the folder (and creates it, mode 0700, when asked and missing).
    static HRESULT Open(CreateFolder create, TaskFolder* folder);

    const std::string& path() const { return m_path; }
    std::string itemPath(std::u16string_view name) const;

    bool exists(std::u16string_view name) const;
    // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when there is no such item.
    HRESULT read(std::u16string_view name, WorkItemRecord* record) const;
    // Without replace, a name that is taken is refused with HRESULT_FROM_WIN32(ERROR_FILE_EXISTS).
    HRESULT write(std::u16string_view name, const WorkItemRecord& record, bool replace) const;
    HRESULT remove(std::u16string_view name) const;
    // The names of the items, sorted; files that are not items are passed over.
    HRESULT list(std::vector<std::u16string>* names) const;

private:
    std::string m_path;
};

// Holds the folder's write lock for its lifetime; waits at most a few seconds for it.
class FolderWriteLock {
public:
    explicit FolderWriteLock(const TaskFolder& folder);
    ~FolderWriteLock();
    FolderWriteLock(const FolderWriteLock&) = delete;
    FolderWriteLock& operator=(const FolderWriteLock&) = delete;
    HRESULT result() const { return m_result; }

private:
    int m_fd = -1;
    HRESULT m_result = S_OK;
};

// Reads the item, lets `change` alter it and writes it back, under the write lock.
template <typename Change>
HRESULT UpdateItem(const TaskFolder& folder, std::u16string_view name, Change change) {
    FolderWriteLock lock(folder);
    if (FAILED(lock.result())) return lock.result();
    WorkItemRecord record;
    if (HRESULT hr = folder.read(name, &record); FAILED(hr)) return hr;
    if (!change(record)) return S_FALSE;
    return folder.write(name, record, true);
}

// The mark of a running service: held by the service, tested by Run and Terminate.
class ServiceMark {
public:
    ~ServiceMark();
    // Takes the mark; HRESULT_FROM_WIN32(ERROR_SERVICE_ALREADY_RUNNING) when another service
    // holds it.
    HRESULT take(const TaskFolder& folder);
    static bool IsHeld(const TaskFolder& folder);

private:
    int m_fd = -1;
};

}  // namespace lumivel::scheduler
