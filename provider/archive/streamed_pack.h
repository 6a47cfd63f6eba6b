// An archive of one member that is deflated while the member's bytes are still being made:
// the bytes go through a bounded pipe to a thread of the pack's own, which writes the
// archive as PackFile would have from a finished file, so memory stays bounded and the
// deflating is done by the time the last byte is. The archive is complete only after
// Finish; a pack abandoned, or one whose writing failed, leaves no file behind.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "provider/archive/byte_pipe.h"
#include "provider/archive/zip_format.h"
#include "win/files.h"
#include "win/winerror.h"

namespace revivo::zip {

class StreamedPack {
public:
    // The most bytes on their way to the deflating thread at once.
    static constexpr size_t kPipeCapacity = 1 << 20;

    StreamedPack() = default;
    ~StreamedPack();  // abandons a pack that was not finished
    StreamedPack(const StreamedPack&) = delete;
    StreamedPack& operator=(const StreamedPack&) = delete;

    // Creates the archive, which must not exist yet, and starts deflating into it at `level`
    // (0 stores). False with the system error (also the thread's last error).
    bool Start(const std::u16string& archivePath, const std::string& memberName, int level, DosTimestamp stamp,
               DWORD* error);
    // Hands the bytes over; `chunk` comes back empty. False once packing has failed.
    bool Write(std::string& chunk);
    // The member's end: completes and closes the archive. ERROR_SUCCESS, else the error that
    // failed it, and the archive is gone.
    DWORD Finish();
    // The archive goes, whatever was written.
    void Abandon();

    // The most bytes that waited for the deflating thread at once.
    size_t MostQueued() const { return m_pipe ? m_pipe->MostHeld() : 0; }

private:
    DWORD Stop(bool whole);

    std::u16string m_path;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    std::unique_ptr<BytePipe> m_pipe;
    std::thread m_thread;
    DWORD m_error = ERROR_SUCCESS;  // the deflating thread's, read after it ended
};

}  // namespace revivo::zip
