#include "provider/backup/backup_script.h"

#include "lumivel/machine_config.h"
#include "lumivel/temporary_file.h"
#include "provider/backup/module_directory.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/guid.h"
#include "win/processes.h"
#include "win/threads.h"

namespace revivo {

namespace {

std::u16string environment(LPCWSTR name) {
    WCHAR value[4096] = {};
    DWORD length = GetEnvironmentVariableW(name, value, 4096);
    return length > 0 && length < 4096 ? std::u16string(value, length) : std::u16string();
}

bool isDirectory(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates the folder and its missing parents; a Win32 error code.
DWORD ensureFolder(const std::u16string& folder) {
    if (isDirectory(folder)) return ERROR_SUCCESS;
    size_t cut = folder.find_last_of(u"/\\", folder.size() >= 2 ? folder.size() - 2 : 0);
    if (cut != std::u16string::npos && cut > 0)
        if (DWORD e = ensureFolder(folder.substr(0, cut + 1))) return e;
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return GetLastError();
    return ERROR_SUCCESS;
}

// Whether this account may create files in the folder: it makes one that goes when closed.
bool canCreateFilesIn(const std::u16string& folder) {
    GUID random{};
    CoCreateGuid(&random);
    WCHAR text[40] = {};
    StringFromGUID2(random, text, 40);
    std::u16string probe = folder + u".probe-" + text;
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

}  // namespace

std::u16string ScheduledBackupsFolder(DWORD* error) {
    const std::u16string module = ModuleDirectory();
    // An installed package's folder is the package manager's; root's scripts go into the
    // product's state folder instead, where the account that runs the jobs can read them.
    const std::u16string beside = (lumivel::IsSoftwareFolder(module) ? std::u16string(kMachineStateFolder) : module) +
                                  kScheduledBackupsFolderName + u"/";
    if (ensureFolder(beside) == ERROR_SUCCESS && canCreateFilesIn(beside)) return beside;
    std::u16string data = environment(u"XDG_DATA_HOME");
    // A relative value is ignored, as the XDG base directory rules ask.
    if (data.empty() || data.front() != u'/') {
        std::u16string home = environment(u"HOME");
        data = home.empty() ? std::u16string() : home + u"/.local/share";
    }
    if (data.empty()) {
        *error = ERROR_PATH_NOT_FOUND;
        return {};
    }
    const std::u16string own = data + u"/lumivel/" + kScheduledBackupsFolderName + u"/";
    *error = ensureFolder(own);
    return *error == ERROR_SUCCESS ? own : std::u16string();
}

std::u16string BackupScriptFileName(std::u16string_view guid) {
    return u"BackupObjects (" + std::u16string(guid) + u").vbs";
}

DWORD WriteBackupScript(const std::u16string& path, std::u16string_view distinguishedName) {
    const std::string text = BackupScriptText(distinguishedName);
    // Written beside its place under a name of its own and then renamed, so that a job never
    // reads half a script and nothing written here follows a link left in the folder.
    const size_t cut = path.find_last_of(u"/\\");
    const std::u16string folder = cut == std::u16string::npos ? u"." : path.substr(0, cut + 1);
    std::u16string temporary;
    HANDLE file = lumivel::CreateExclusiveTemporaryFile(
        folder.c_str(), u"." + path.substr(cut == std::u16string::npos ? 0 : cut + 1) + u".", &temporary, 0644);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    DWORD error = ok ? ERROR_SUCCESS : (GetLastError() ? GetLastError() : ERROR_WRITE_FAULT);
    if (!CloseHandle(file) && error == ERROR_SUCCESS) error = GetLastError();
    if (error == ERROR_SUCCESS && !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != ERROR_SUCCESS) DeleteFileW(temporary.c_str());
    return error;
}

}  // namespace revivo
