// Temporary files and folders that nobody else can have planted or linked.
//
// Every file the platform and the modules write under a temporary name comes from here: it is
// created with O_CREAT|O_EXCL|O_NOFOLLOW (mode 0600 unless asked otherwise) under a random name,
// either beside the file it is to become, so that it is renamed over that file once complete
// (a rename replaces a planted link, it never writes through one), or in this process's private
// temporary folder, which nobody else can enter. Work that needs files under names of its own
// gets a PrivateTempDirectory there.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel {

// This process's private temporary folder, without a trailing '/': the folder named by TMP,
// TEMP or TMPDIR (else /tmp) when only this user can write there, otherwise a folder made
// there with mkdtemp (mode 0700) at first use and removed at exit when it is empty.
LUMIVEL_EXPORT DWORD PrivateTemporaryFolder(std::string* folder);

// The temporary path as GetTempPathW gives it, without a trailing '/': the private folder
// above, or the folder named by the environment as it is when that does not exist.
LUMIVEL_EXPORT DWORD TemporaryPathFolder(std::string* folder);

enum class ExistingFile { Keep, Replace };

class LUMIVEL_EXPORT ExclusiveTemporaryFile {
public:
    ExclusiveTemporaryFile() = default;
    // Closes the file and removes it unless it was put in place or kept.
    ~ExclusiveTemporaryFile();
    ExclusiveTemporaryFile(ExclusiveTemporaryFile&& other) noexcept;
    ExclusiveTemporaryFile& operator=(ExclusiveTemporaryFile&& other) noexcept;
    ExclusiveTemporaryFile(const ExclusiveTemporaryFile&) = delete;
    ExclusiveTemporaryFile& operator=(const ExclusiveTemporaryFile&) = delete;

    // A new file in `folder` whose name starts with `prefix`; an empty folder means the
    // private temporary folder.
    DWORD create(const std::string& folder, std::string_view prefix, unsigned mode = 0600);
    // A new hidden file in the folder of `finalPath`, to be put in place with commit().
    DWORD createBeside(const std::string& finalPath, unsigned mode = 0600);

    int descriptor() const { return m_fd; }
    const std::string& path() const { return m_path; }
    DWORD write(std::string_view bytes);

    // Writes the file through to disk, closes it and renames it to `finalPath`. With
    // ExistingFile::Keep an existing final file is left alone and ERROR_ALREADY_EXISTS
    // returned. On failure the temporary file is removed.
    DWORD commit(const std::string& finalPath, ExistingFile existing);
    // Closes the file and leaves it to the caller; returns its path.
    std::string keep();

private:
    void discard();

    int m_fd = -1;
    std::string m_path;
};

// Writes the bytes to an exclusive temporary file beside `path` with the mode given, flushes
// it and renames it to `path`, so that the file appears whole or not at all. With
// ExistingFile::Keep an existing `path` is left alone and ERROR_FILE_EXISTS returned. Nothing
// is left behind on failure.
LUMIVEL_EXPORT DWORD WriteFileAtomically(const std::string& path, std::string_view bytes, unsigned mode,
                                         ExistingFile existing);

// The same for code on the file API: a new file in `folder` (null or empty: the private
// temporary folder) whose name starts with `prefix`, opened for reading and writing; the mode
// is for files that others are to read once they are in place. *path receives its full name;
// the caller closes the handle and removes or moves the file. INVALID_HANDLE_VALUE with the
// last error set on failure.
LUMIVEL_EXPORT HANDLE CreateExclusiveTemporaryFile(LPCWSTR folder, std::u16string_view prefix, std::u16string* path,
                                                   unsigned mode = 0600);

// Removes the folder and everything in it, never following a link and never recursing, so that
// neither links nor the depth of a tree that someone else made there can lead it astray.
LUMIVEL_EXPORT void RemoveFolderTree(const std::string& path);

// A folder of the caller's own inside the temporary path, for files that need names of their
// own: created under a fresh random name with mode 0700 (never through a link), removed with
// everything in it when the owner lets go. Not a Windows API.
class LUMIVEL_EXPORT PrivateTempDirectory {
public:
    // A new folder whose name starts with the prefix; null with the Win32 error in *error
    // (and the last error) when it cannot be made.
    static std::unique_ptr<PrivateTempDirectory> Create(std::u16string_view prefix, DWORD* error = nullptr);

    // Removes the files and empty folders inside without following links, then the folder.
    ~PrivateTempDirectory();
    PrivateTempDirectory(const PrivateTempDirectory&) = delete;
    PrivateTempDirectory& operator=(const PrivateTempDirectory&) = delete;

    // The folder with a trailing '/'.
    const std::u16string& Path() const { return m_path; }
    std::u16string PathOf(std::u16string_view name) const { return m_path + std::u16string(name); }

private:
    PrivateTempDirectory(std::string local, std::u16string path) : m_local(std::move(local)), m_path(std::move(path)) {}

    std::string m_local;
    std::u16string m_path;
};

}  // namespace lumivel
