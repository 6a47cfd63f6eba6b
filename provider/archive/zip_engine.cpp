#include "provider/archive/zip_engine.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "provider/archive/archive_files.h"
#include "provider/archive/member_pattern.h"
#include "provider/archive/zip_reader.h"
#include "provider/archive/zip_writer.h"
#include "lumivel/temporary_file.h"
#include "win/datetime.h"
#include "win/processes.h"
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

// Member names come from the archive: their control characters never reach a terminal.
std::string Printable(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

int Fail(Status status, const std::string& subject) {
    for (const auto& entry : kStatusResults) {
        if (entry.status != status) continue;
        if (status != Status::Ok && t_state.messages == EngineMessages::Shown) {
            std::fprintf(stderr, "zip: %s: %s\n", Printable(subject).c_str(), entry.text);
        }
        return entry.result;
    }
    return kZipCorrupt;
}

int Fail(int result, const std::string& subject, const char* text) {
    if (t_state.messages == EngineMessages::Shown) std::fprintf(stderr, "zip: %s: %s\n", Printable(subject).c_str(), text);
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

// A FIFO or a device would be read without end (or never answer): only regular files are
// archives or files to pack.
bool IsRegularFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint64_t ExtractLimit(const ZipCommand& command) {
    if (command.extractLimit) return command.extractLimit;
    WCHAR text[32] = {};
    DWORD length = GetEnvironmentVariableW(u"LUMIVEL_ZIP_EXTRACT_LIMIT_MB", text, 32);
    if (length == 0 || length >= 32) return kDefaultExtractLimit;
    uint64_t megabytes = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (text[i] < u'0' || text[i] > u'9' || megabytes > (UINT64_MAX >> 20) / 10) return kDefaultExtractLimit;
        megabytes = megabytes * 10 + static_cast<uint64_t>(text[i] - u'0');
    }
    return megabytes ? megabytes << 20 : kDefaultExtractLimit;
}

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
        if (!IsRegularFile(input.Get())) return abandon(Fail(kZipCannotReadFile, command.items[i], "not a regular file"));
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

// A new, exclusive file in the destination, so that nobody can have planted its name.
std::optional<std::u16string> CreateTemporary(const std::u16string& directory, const std::string& bare, const char* kind,
                                              FileHandle& file) {
    std::u16string path;
    HANDLE handle = lumivel::CreateExclusiveTemporaryFile(directory.c_str(), u".~" + Wide(bare.substr(0, 200)) + Wide(kind), &path);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    file.Reset(handle);
    return path;
}

bool IsDirectoryEntry(const std::string& name) { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }

// One extracted member on its way to its final name.
struct Placement {
    std::u16string temporary;
    std::u16string final;
    std::u16string setAside;  // the file the member replaces, while the extraction may still fail
    bool placed = false;
};

// Puts the placed members' predecessors back, newest first, and removes what is left over.
void Undo(std::vector<Placement>& placements) {
    for (auto it = placements.rbegin(); it != placements.rend(); ++it) {
        if (it->placed) DeleteFileW(it->final.c_str());
        else DeleteFileW(it->temporary.c_str());
        if (!it->setAside.empty()) MoveFileExW(it->setAside.c_str(), it->final.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

// Moves an existing final file aside under a new name of its own; false when that fails.
bool SetAside(const std::u16string& directory, const std::string& bare, Placement& placement) {
    FileHandle holder;
    std::optional<std::u16string> aside = CreateTemporary(directory, bare, ".old.", holder);
    if (!aside) return false;
    holder.Close();
    if (MoveFileExW(placement.final.c_str(), aside->c_str(), MOVEFILE_REPLACE_EXISTING)) {
        placement.setAside = *aside;
        return true;
    }
    DWORD error = GetLastError();
    DeleteFileW(aside->c_str());
    SetLastError(error);
    return error == ERROR_FILE_NOT_FOUND;  // gone meanwhile: nothing to keep
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
    if (!IsRegularFile(archive.Get())) return Fail(kZipCannotOpenArchive, command.archive, "not a regular file");
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
    const uint64_t limit = ExtractLimit(command);
    uint64_t total = 0;
    for (const ZipEntry& entry : reader.Entries()) {
        std::u16string name = Wide(entry.name);
        bool matches = false;
        for (const std::u16string& pattern : patterns) matches = matches || MatchesPattern(name, pattern);
        if (!matches || IsDirectoryEntry(entry.name)) continue;
        // A member that cannot be written under its name fails the whole extraction: leaving
        // it out would hand the caller an incomplete result as a complete one.
        std::optional<std::string> bare = SafeBareName(entry.name);
        if (!bare) return Fail(kZipBadName, entry.name, "the name cannot be a file name here");
        Status supported = ZipReader::CheckSupported(entry);
        if (supported != Status::Ok) return Fail(supported, entry.name);
        total += entry.uncompressedSize;
        if (total > limit) return Fail(kZipOverLimit, command.archive, "would unpack to more than the extraction limit");
        chosen.push_back({&entry, *bare});
    }
    if (chosen.empty()) return Fail(kZipNoMatch, command.archive, "no member matches");
    // Two members under one name would leave only the last one: which one the caller reads
    // would depend on the order inside the archive.
    std::vector<const std::string*> names;
    for (const Chosen& member : chosen) names.push_back(&member.bare);
    std::sort(names.begin(), names.end(),
              [](const std::string* a, const std::string* b) { return CompareNamesNoCase(*a, *b) < 0; });
    for (size_t i = 1; i < names.size(); ++i)
        if (CompareNamesNoCase(*names[i - 1], *names[i]) == 0)
            return Fail(kZipDuplicateName, *names[i], "two members would take this name");

    // Everything is unpacked and checked into new files first; only then do the members take
    // their names.
    std::vector<Placement> placements;
    auto abandon = [&](int result) {
        Undo(placements);
        return result;
    };
    for (const Chosen& member : chosen) {
        FileHandle file;
        std::optional<std::u16string> temporary = CreateTemporary(directory, member.bare, ".", file);
        if (!temporary) {
            RecordLastError();
            return abandon(Fail(kZipCannotWrite, member.bare, "cannot create"));
        }
        placements.push_back({*temporary, directory + Wide(member.bare), {}, false});
        FileSink sink(file.Get());
        Status extracted = reader.Extract(*member.entry, sink);
        if (extracted == Status::WriteFailed) RecordLastError();
        if (!file.Close() && extracted == Status::Ok) {
            RecordLastError();
            extracted = Status::WriteFailed;
        }
        if (extracted != Status::Ok) return abandon(Fail(extracted, member.entry->name));
    }
    // What cannot be replaced at all is found before anything moves.
    for (size_t i = 0; i < chosen.size(); ++i) {
        DWORD attributes = GetFileAttributesW(placements[i].final.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
            SetLastError(ERROR_ACCESS_DENIED);
            RecordLastError();
            return abandon(Fail(kZipCannotWrite, chosen[i].bare, "an existing file of that name cannot be replaced"));
        }
    }
    for (size_t i = 0; i < chosen.size(); ++i) {
        Placement& placement = placements[i];
        // Whatever holds the name goes aside first, a planted link included (moved, never
        // written through).
        if (!SetAside(directory, chosen[i].bare, placement) ||
            !MoveFileExW(placement.temporary.c_str(), placement.final.c_str(), 0)) {
            RecordLastError();
            return abandon(Fail(kZipCannotWrite, chosen[i].bare, "cannot move into place"));
        }
        placement.placed = true;
    }
    for (const Placement& placement : placements)
        if (!placement.setAside.empty()) DeleteFileW(placement.setAside.c_str());
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
