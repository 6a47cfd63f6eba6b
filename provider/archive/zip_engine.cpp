#include "provider/archive/zip_engine.h"

#include <atomic>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "provider/archive/archive_files.h"
#include "provider/archive/member_pattern.h"
#include "provider/archive/zip_reader.h"
#include "provider/archive/zip_writer.h"
#include "win/datetime.h"
#include "win/errors.h"
#include "win/strings.h"

namespace revivo::zip {

namespace {

std::atomic<int> g_starts{0};

struct ThreadState {
    int attachments = 0;
    DWORD lastError = 0;
    EngineMessages messages = EngineMessages::Shown;
};
thread_local ThreadState t_state;

constexpr struct {
    Status status;
    int result;
    const char* text;
} kStatusResults[] = {
    {Status::Ok, kZipOk, "no error"},
    {Status::ReadFailed, kZipCannotReadFile, "cannot read"},
    {Status::WriteFailed, kZipCannotWrite, "cannot write"},
    {Status::Corrupt, kZipCorrupt, "archive is truncated or corrupt"},
    {Status::Unsupported, kZipUnsupported, "zip64, split archives and this compression are not supported"},
    {Status::Encrypted, kZipEncrypted, "encrypted members are not supported"},
    {Status::CrcMismatch, kZipCrcMismatch, "CRC mismatch"},
    {Status::TooLarge, kZipTooLarge, "too large for an archive without zip64"},
    {Status::OutOfMemory, kZipOutOfMemory, "out of memory"},
};

int Fail(Status status, const std::string& subject) {
    for (const auto& entry : kStatusResults) {
        if (entry.status != status) continue;
        if (status != Status::Ok && t_state.messages == EngineMessages::Shown) {
            std::fprintf(stderr, "zip: %s: %s\n", subject.c_str(), entry.text);
        }
        return entry.result;
    }
    return kZipCorrupt;
}

int Fail(int result, const std::string& subject, const char* text) {
    if (t_state.messages == EngineMessages::Shown) std::fprintf(stderr, "zip: %s: %s\n", subject.c_str(), text);
    return result;
}

void RecordLastError() { t_state.lastError = GetLastError(); }

std::u16string Wide(const char* ansi) {
    if (!ansi || !*ansi) return {};
    int size = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    if (size <= 1) return {};
    std::u16string wide(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide.data(), size);
    wide.resize(static_cast<size_t>(size - 1));
    return wide;
}

std::u16string Wide(const std::string& utf8) { return Wide(utf8.c_str()); }

std::string BareName(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

DosTimestamp LastWriteStamp(HANDLE file) {
    FILETIME written{}, local{};
    SYSTEMTIME time{};
    if (!GetFileTime(file, nullptr, nullptr, &written) || !FileTimeToLocalFileTime(&written, &local) ||
        !FileTimeToSystemTime(&local, &time)) {
        return {};
    }
    return MakeDosTimestamp(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
}

int Pack(const ZipCommand& command) {
    std::u16string archivePath = Wide(command.archive);
    if (archivePath.empty() || command.itemCount <= 0 || !command.items) {
        return Fail(kZipBadCommand, "pack", "no archive or no files");
    }
    std::vector<std::string> names;
    for (int i = 0; i < command.itemCount; ++i) {
        if (!command.items[i]) return Fail(kZipBadCommand, "pack", "missing file name");
        std::string name = BareName(command.items[i]);
        if (name.empty()) return Fail(kZipBadCommand, command.items[i], "not a file name");
        for (const std::string& other : names) {
            if (NamesEqualNoCase(other, name)) return Fail(kZipDuplicateName, name, "named twice");
        }
        names.push_back(name);
    }

    FileHandle archive(CreateFileW(archivePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!archive.Valid()) {
        RecordLastError();
        return t_state.lastError == ERROR_FILE_EXISTS || t_state.lastError == ERROR_ALREADY_EXISTS
                   ? Fail(kZipArchiveExists, command.archive, "already exists")
                   : Fail(kZipCannotOpenArchive, command.archive, "cannot create");
    }
    // Whatever goes wrong, no half-written archive is left behind.
    auto abandon = [&](int result) {
        archive.Close();
        DeleteFileW(archivePath.c_str());
        return result;
    };
    FileOutput output(archive.Get());
    ZipWriter writer(output, command.level);
    for (int i = 0; i < command.itemCount; ++i) {
        FileHandle input(CreateFileW(Wide(command.items[i]).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!input.Valid()) {
            RecordLastError();
            return abandon(Fail(kZipCannotReadFile, command.items[i], "cannot open"));
        }
        FileInput stream(input.Get());
        Status added = writer.AddMember(names[static_cast<size_t>(i)], stream, LastWriteStamp(input.Get()));
        if (added != Status::Ok) {
            RecordLastError();
            return abandon(Fail(added, command.items[i]));
        }
    }
    Status finished = writer.Finish();
    if (finished != Status::Ok) {
        RecordLastError();
        return abandon(Fail(finished, command.archive));
    }
    if (!archive.Close()) {
        RecordLastError();
        return abandon(Fail(kZipCannotWrite, command.archive, "cannot write"));
    }
    return kZipOk;
}

class FileSink : public ByteSink {
public:
    explicit FileSink(HANDLE file) : m_output(file) {}
    bool Write(const void* data, size_t count) override { return m_output.Write(data, count); }

private:
    FileOutput m_output;
};

// A new, exclusive file beside the final one, so a failed extraction never touches the final
// name and nobody can have planted the temporary one.
std::optional<std::u16string> CreateTemporary(const std::u16string& directory, const std::string& bare,
                                              FileHandle& file) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
        std::u16string path = directory + u".~" + Wide(bare.substr(0, 200)) + Wide(suffix) + u".part";
        HANDLE handle =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file.Reset(handle);
            return path;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    return std::nullopt;
}

int Extract(const ZipCommand& command) {
    std::u16string archivePath = Wide(command.archive);
    std::u16string directory = Wide(command.destination);
    if (archivePath.empty() || directory.empty() || command.itemCount <= 0 || !command.items) {
        return Fail(kZipBadCommand, "extract", "no archive, destination or pattern");
    }
    if (directory.back() != u'/' && directory.back() != u'\\') directory.push_back(u'/');
    std::vector<std::u16string> patterns;
    for (int i = 0; i < command.itemCount; ++i) {
        if (!command.items[i]) return Fail(kZipBadCommand, "extract", "missing pattern");
        patterns.push_back(Wide(command.items[i]));
    }

    FileHandle archive(CreateFileW(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!archive.Valid()) {
        RecordLastError();
        return Fail(kZipCannotOpenArchive, command.archive, "cannot open");
    }
    FileSource source(archive.Get());
    if (!source.SizeKnown()) {
        RecordLastError();
        return Fail(kZipCannotOpenArchive, command.archive, "cannot read");
    }
    ZipReader reader(source);
    Status opened = reader.Open();
    if (opened != Status::Ok) return Fail(opened, command.archive);

    struct Chosen {
        const ZipEntry* entry;
        std::string bare;
    };
    std::vector<Chosen> chosen;
    for (const ZipEntry& entry : reader.Entries()) {
        std::u16string name = Wide(entry.name);
        bool matches = false;
        for (const std::u16string& pattern : patterns) matches = matches || MatchesPattern(name, pattern);
        if (!matches) continue;
        std::optional<std::string> bare = SafeBareName(entry.name);
        if (!bare) continue;  // directories and names that cannot be a file here
        Status supported = ZipReader::CheckSupported(entry);
        if (supported != Status::Ok) return Fail(supported, entry.name);
        chosen.push_back({&entry, *bare});
    }
    if (chosen.empty()) return Fail(kZipNoMatch, command.archive, "no member matches");

    // Everything is unpacked and checked into temporary files first; only then do the
    // members take their names, so a bad member leaves no file of this extraction behind.
    std::vector<std::u16string> temporaries;
    auto discard = [&](int result) {
        for (const std::u16string& path : temporaries) DeleteFileW(path.c_str());
        return result;
    };
    for (const Chosen& member : chosen) {
        FileHandle file;
        std::optional<std::u16string> temporary = CreateTemporary(directory, member.bare, file);
        if (!temporary) {
            RecordLastError();
            return discard(Fail(kZipCannotWrite, member.bare, "cannot create"));
        }
        temporaries.push_back(*temporary);
        FileSink sink(file.Get());
        Status extracted = reader.Extract(*member.entry, sink);
        if (extracted == Status::WriteFailed) RecordLastError();
        if (!file.Close() && extracted == Status::Ok) {
            RecordLastError();
            extracted = Status::WriteFailed;
        }
        if (extracted != Status::Ok) return discard(Fail(extracted, member.entry->name));
    }
    for (size_t i = 0; i < chosen.size(); ++i) {
        std::u16string final = directory + Wide(chosen[i].bare);
        if (!MoveFileExW(temporaries[i].c_str(), final.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            RecordLastError();
            temporaries.erase(temporaries.begin(), temporaries.begin() + static_cast<std::ptrdiff_t>(i));
            return discard(Fail(kZipCannotWrite, chosen[i].bare, "cannot move into place"));
        }
    }
    return kZipOk;
}

}  // namespace

void ZipEngineStart() { ++g_starts; }

void ZipEngineStop() {
    int current = g_starts.load();
    while (current > 0 && !g_starts.compare_exchange_weak(current, current - 1)) {
    }
}

void ZipThreadAttach() {
    if (t_state.attachments++ == 0) t_state = ThreadState{1, 0, EngineMessages::Shown};
}

void ZipThreadDetach() {
    if (t_state.attachments > 0) --t_state.attachments;
}

DWORD ZipThreadLastError() { return t_state.lastError; }

int ZipEngineRun(const ZipCommand& command) {
    if (g_starts.load() <= 0 || t_state.attachments <= 0) return kZipNotStarted;
    t_state.lastError = 0;
    t_state.messages = command.messages;
    switch (command.function) {
    case kFunctionPack:
        return Pack(command);
    case kFunctionExtract:
        return Extract(command);
    default:
        return Fail(kZipBadCommand, "command", "unknown function");
    }
}

}  // namespace revivo::zip
