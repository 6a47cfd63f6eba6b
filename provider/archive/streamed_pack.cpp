#include "provider/archive/streamed_pack.h"

#include "provider/archive/archive_files.h"
#include "provider/archive/zip_writer.h"
#include "win/errors.h"
#include "win/threads.h"

namespace revivo::zip {

namespace {

DWORD ErrorOf(Status status, DWORD systemError) {
    switch (status) {
        case Status::Ok: return ERROR_SUCCESS;
        case Status::TooLarge: return ERROR_FILE_TOO_LARGE;
        case Status::OutOfMemory: return ERROR_NOT_ENOUGH_MEMORY;
        case Status::ReadFailed: return ERROR_OPERATION_ABORTED;  // the writer gave up
        default: return systemError ? systemError : static_cast<DWORD>(ERROR_WRITE_FAULT);
    }
}

}  // namespace

StreamedPack::~StreamedPack() { Abandon(); }

bool StreamedPack::Start(const std::u16string& archivePath, const std::string& memberName, int level,
                         DosTimestamp stamp, DWORD* error) {
    m_file = CreateFileW(archivePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_file == INVALID_HANDLE_VALUE) {
        *error = GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_CANNOT_MAKE);
        SetLastError(*error);
        return false;
    }
    m_path = archivePath;
    m_pipe = std::make_unique<BytePipe>(kPipeCapacity);
    m_thread = std::thread([this, memberName, level, stamp] {
        FileOutput output(m_file);
        ZipWriter writer(output, level);
        Status status = writer.AddMember(memberName, *m_pipe, stamp);
        if (status == Status::Ok) status = writer.Finish();
        if (status != Status::Ok) {
            m_error = ErrorOf(status, GetLastError());
            // The writer must not wait for a reader that is gone.
            m_pipe->StopReading();
        }
    });
    return true;
}

bool StreamedPack::Write(std::string& chunk) { return m_pipe && m_pipe->Push(chunk); }

DWORD StreamedPack::Stop(bool whole) {
    if (!m_pipe) return ERROR_INVALID_HANDLE;
    if (whole) m_pipe->Close();
    else m_pipe->Abort();
    if (m_thread.joinable()) m_thread.join();
    DWORD error = whole ? m_error : static_cast<DWORD>(ERROR_OPERATION_ABORTED);
    if (!CloseHandle(m_file) && error == ERROR_SUCCESS) error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    m_file = INVALID_HANDLE_VALUE;
    if (error != ERROR_SUCCESS) DeleteFileW(m_path.c_str());
    m_pipe.reset();
    return error;
}

DWORD StreamedPack::Finish() { return Stop(true); }

void StreamedPack::Abandon() {
    if (m_pipe) Stop(false);
}

}  // namespace revivo::zip
