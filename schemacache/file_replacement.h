// A file that replaces another as a whole: written under a name of its own beside the target,
// created by the exclusive temporary-file helper (never through a link or over another
// writer's file), and renamed over the target only once it is complete, so that a reader sees
// the old file or the new one.
#pragma once

#include <string>

#include "win/types.h"

namespace glossar {

class FileReplacement {
public:
    // Creates the temporary beside the target; valid() tells whether that worked.
    explicit FileReplacement(std::u16string target);
    // Removes the temporary unless it was committed.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    FileReplacement(FileReplacement&& other) noexcept;

    bool valid() const { return m_file != INVALID_HANDLE_VALUE; }
    // The temporary, open for writing, until it is closed.
    HANDLE handle() const { return m_file; }
    // Writes all the bytes; false on any failure or short write.
    bool write(const void* data, size_t size);
    // Flushes and closes the temporary; false when that failed.
    bool close();
    // Closes the temporary if still open and renames it over the target (a read-only target
    // loses that bit first). False when the target could not be replaced; it keeps its old
    // content and the temporary is removed.
    bool commit();

private:
    std::u16string m_target;
    std::u16string m_temporary;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    bool m_failed = false;
};

}  // namespace glossar
