#include "provider/archive/archive_commands.h"

#include <string>

#include "provider/archive/streamed_pack.h"
#include "provider/archive/zip_engine.h"
#include "win/datetime.h"
#include "win/errors.h"
#include "win/strings.h"

namespace revivo {

namespace {

std::string Ansi(LPCWSTR text) {
    if (!text || !*text) return {};
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string ansi(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, ansi.data(), size, nullptr, nullptr);
    ansi.resize(static_cast<size_t>(size - 1));
    return ansi;
}

// Start and per-thread state for the length of one command.
class EngineSession {
public:
    EngineSession() {
        zip::ZipEngineStart();
        zip::ZipThreadAttach();
    }
    ~EngineSession() {
        zip::ZipThreadDetach();
        zip::ZipEngineStop();
    }
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;
};

// A failed command leaves its reason as the thread's last error, as a system call would: the
// file operation's own error, else one that says what kind of failure it was.
int WithLastError(int result) {
    if (result == zip::kZipOk) return result;
    DWORD error = zip::ZipThreadLastError();
    if (error == ERROR_SUCCESS) {
        switch (result) {
            case zip::kZipTooLarge: error = ERROR_FILE_TOO_LARGE; break;
            case zip::kZipOutOfMemory: error = ERROR_NOT_ENOUGH_MEMORY; break;
            case zip::kZipNoMatch: error = ERROR_FILE_NOT_FOUND; break;
            case zip::kZipArchiveExists: error = ERROR_FILE_EXISTS; break;
            default: error = ERROR_FILE_CORRUPT; break;
        }
    }
    SetLastError(error);
    return result;
}

}  // namespace

int PackFile(LPCWSTR archivePath, LPCWSTR filePath) {
    std::string archive = Ansi(archivePath);
    std::string file = Ansi(filePath);
    const char* items[] = {file.c_str()};
    zip::ZipCommand command;
    command.function = zip::kFunctionPack;
    command.archive = archive.c_str();
    command.items = items;
    command.itemCount = 1;
    command.level = zip::kMediumCompression;
    command.messages = zip::EngineMessages::Suppressed;
    EngineSession session;
    return WithLastError(zip::ZipEngineRun(command));
}

bool StartPackingStream(zip::StreamedPack& pack, LPCWSTR archivePath, LPCWSTR memberName, DWORD* error) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    zip::DosTimestamp stamp =
        zip::MakeDosTimestamp(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    return pack.Start(archivePath, Ansi(memberName), zip::kMediumCompression, stamp, error);
}

int ExtractInfFiles(LPCWSTR archivePath, LPCWSTR destinationDirectory, uint64_t limitBytes) {
    std::string archive = Ansi(archivePath);
    std::string destination = Ansi(destinationDirectory);
    const char* patterns[] = {"*.inf"};
    zip::ZipCommand command;
    command.function = zip::kFunctionExtract;
    command.archive = archive.c_str();
    command.items = patterns;
    command.itemCount = 1;
    command.destination = destination.c_str();
    command.messages = zip::EngineMessages::Suppressed;
    command.extractLimit = limitBytes;
    EngineSession session;
    return WithLastError(zip::ZipEngineRun(command));
}

}  // namespace revivo
