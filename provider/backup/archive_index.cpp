#include "provider/backup/archive_index.h"

#include <algorithm>

#include "lumivel/file_owner.h"
#include "lumivel/temporary_file.h"
#include "provider/archive/archive_files.h"
#include "provider/archive/member_pattern.h"
#include "provider/archive/zip_reader.h"
#include "provider/backup/backup_file_bounds.h"
#include "provider/backup/section_name.h"
#include "shared/text_helpers.h"
#include "win/errors.h"
#include "win/processes.h"
#include "win/strings.h"

namespace revivo {

namespace {

constexpr char kIndexSignature[] = "lumivel-backup-index 1";
// Index files larger than this were not written here.
constexpr DWORD kMaxIndexSize = 64u << 20;
// Only short lines (section headers, [Backup Info] values) are looked at; long value lines
// are stepped over without being kept.
constexpr size_t kMaxKeptLine = 4096;

std::u16string_view fileNameOf(std::u16string_view path) {
    size_t cut = path.find_last_of(u"/\\");
    return cut == std::u16string_view::npos ? path : path.substr(cut + 1);
}

std::u16string lowerAscii(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return out;
}

std::u16string fromAnsi(std::string_view bytes) {
    if (bytes.empty()) return {};
    int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (size <= 0) return {};
    std::u16string wide(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
    return wide;
}

// Control characters of a value from a file never reach a line of the index or a terminal.
std::u16string printable(std::u16string text) {
    for (char16_t& c : text)
        if (c < 0x20 || c == 0x7F) c = u'?';
    return text;
}

// The value of a "key=value" line without its surrounding double quotes.
std::string quotedValue(std::string_view line) {
    size_t equals = line.find('=');
    std::string_view value = equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
    size_t open = value.find('"'), close = value.rfind('"');
    if (open != std::string_view::npos && close > open) value = value.substr(open + 1, close - open - 1);
    return std::string(value);
}

bool keyIs(std::string_view line, std::string_view key) {
    if (line.size() <= key.size() || line[key.size()] != '=') return false;
    for (size_t i = 0; i < key.size(); ++i)
        if ((line[i] | 0x20) != (key[i] | 0x20)) return false;
    return true;
}

// Follows the section headers of a backup file as its bytes are inflated.
class SectionScanner final : public zip::ByteSink {
public:
    explicit SectionScanner(ArchiveSummary* summary) : m_summary(summary) {}

    bool Write(const void* data, size_t count) override {
        const char* bytes = static_cast<const char*>(data);
        // Stops the inflation itself: the rest of an oversized member is never produced.
        if (!m_bounds.Feed(bytes, count)) return false;
        for (size_t i = 0; i < count; ++i) {
            if (bytes[i] == '\n') {
                EndLine();
            } else if (m_line.size() < kMaxKeptLine) {
                m_line.push_back(bytes[i]);
            } else {
                m_overlong = true;
            }
        }
        return true;
    }

    void Finish() { EndLine(); }
    bool Exceeded() const { return m_bounds.Exceeded(); }

private:
    void EndLine() {
        std::string_view line(m_line);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        if (!m_overlong && line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            std::u16string name = fromAnsi(line.substr(1, line.size() - 2));
            m_inInfo = lumivel::EqualsNoCase(name, u"Backup Info");
            if (IsSectionName(name)) m_summary->sections.push_back(lowerAscii(name));
        } else if (m_inInfo && !m_overlong) {
            if (keyIs(line, "DateTime")) m_summary->dateTime = printable(fromAnsi(quotedValue(line)));
            if (keyIs(line, "Origin")) m_summary->origin = printable(fromAnsi(quotedValue(line)));
        }
        m_line.clear();
        m_overlong = false;
    }

    ArchiveSummary* m_summary;
    BackupBoundsGuard m_bounds;
    std::string m_line;
    bool m_overlong = false;
    bool m_inInfo = false;
};

uint64_t fileTimeValue(const FILETIME& time) {
    return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// FNV-1a of the path: index files need a name of their own per archive, and the path itself
// is kept inside to catch the rare collision.
std::u16string hashName(std::u16string_view path) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (char16_t c : path) {
        hash = (hash ^ (c & 0xFF)) * 0x100000001b3ull;
        hash = (hash ^ (c >> 8)) * 0x100000001b3ull;
    }
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    std::u16string name;
    for (int shift = 60; shift >= 0; shift -= 4) name.push_back(kHex[(hash >> shift) & 0xF]);
    return name + u".idx";
}

bool readWhole(const std::u16string& path, std::string* content) {
    zip::FileHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 || size.QuadPart > kMaxIndexSize)
        return false;
    content->resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return content->empty() ||
           (ReadFile(file.Get(), content->data(), static_cast<DWORD>(content->size()), &read, nullptr) &&
            read == content->size());
}

// An index says what an archive holds without the archive being read again: one that another
// account could have written or replaced would make a listing, and "latest", lie.
bool ownedByCallerAlone(const std::u16string& path, bool directory) {
    lumivel::FileWriterInfo info;
    return lumivel::GetFileWriter(path, &info) == ERROR_SUCCESS && !info.isLink && info.isDirectory == directory &&
           info.ownerUid == lumivel::CurrentUserId() && !info.groupWritable && !info.otherWritable;
}

bool isDateTimeText(std::u16string_view text) {
    // "%i-%.2i-%.2i %.2i:%.2i:%.2i" with a four-digit year sorts as text.
    static constexpr char16_t kForm[] = u"0000-00-00 00:00:00";
    if (text.size() != 19) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        bool digit = text[i] >= u'0' && text[i] <= u'9';
        if (kForm[i] == u'0' ? !digit : text[i] != kForm[i]) return false;
    }
    return true;
}

}  // namespace

bool ArchiveSummary::Holds(std::u16string_view section) const {
    return std::binary_search(sections.begin(), sections.end(), lowerAscii(section));
}

bool ReadArchiveSummary(const std::u16string& archivePath, ArchiveSummary* summary, DWORD* error) {
    summary->readable = false;
    summary->sections.clear();
    summary->dateTime.clear();
    summary->origin.clear();
    auto failed = [&](DWORD code) {
        if (error) *error = code;
        summary->sections.clear();
        return false;
    };
    zip::FileHandle archive(CreateFileW(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!archive.Valid()) return failed(GetLastError());
    zip::FileSource source(archive.Get());
    if (!source.SizeKnown()) return failed(GetLastError());
    zip::ZipReader reader(source);
    if (reader.Open() != zip::Status::Ok) return failed(ERROR_FILE_CORRUPT);

    // The member a restore reads: the archive's name with ".inf" for its last extension.
    std::u16string_view name = fileNameOf(archivePath);
    size_t dot = name.rfind(u'.');
    std::string member = lumivel::shared::NarrowText(dot == std::u16string_view::npos ? name : name.substr(0, dot)) + ".inf";
    const zip::ZipEntry* found = nullptr;
    for (const zip::ZipEntry& entry : reader.Entries())
        if (zip::NamesEqualNoCase(entry.name, member)) found = &entry;
    if (!found) return failed(ERROR_FILE_CORRUPT);
    if (found->uncompressedSize > kMaxBackupFileBytes) return failed(ERROR_FILE_TOO_LARGE);
    SectionScanner scanner(summary);
    if (reader.Extract(*found, scanner) != zip::Status::Ok)
        return failed(scanner.Exceeded() ? ERROR_FILE_TOO_LARGE : ERROR_FILE_CORRUPT);
    scanner.Finish();
    std::sort(summary->sections.begin(), summary->sections.end());
    summary->sections.erase(std::unique(summary->sections.begin(), summary->sections.end()), summary->sections.end());
    summary->readable = true;
    if (error) *error = ERROR_SUCCESS;
    return true;
}

std::u16string WhyArchiveIsUnreadable(const std::u16string& archivePath) {
    ArchiveSummary summary;
    DWORD error = ERROR_SUCCESS;
    if (ReadArchiveSummary(archivePath, &summary, &error)) return {};
    if (error == ERROR_FILE_TOO_LARGE) return u"its backup file is larger than 64 MiB or has a line longer than 1 MiB";
    return error == ERROR_FILE_CORRUPT ? u"it holds no backup file that can be read" : u"it cannot be read";
}

ArchiveIndex::ArchiveIndex(std::u16string folder) : m_folder(std::move(folder)) {
    if (!m_folder.empty() && m_folder.back() != u'/' && m_folder.back() != u'\\') m_folder.push_back(u'/');
}

std::u16string ArchiveIndex::DefaultFolder() {
    WCHAR expanded[MAX_PATH];
    DWORD length = ExpandEnvironmentStringsW(u"%LOCALAPPDATA%/lumivel/backup-index/", expanded, MAX_PATH);
    if (length == 0 || length > MAX_PATH || expanded[0] == u'%') return {};
    return expanded;
}

std::u16string ArchiveIndex::IndexFileOf(const std::u16string& archivePath) const {
    return m_folder + hashName(archivePath);
}

bool ArchiveIndex::Load(const std::u16string& indexFile, const std::u16string& archivePath, uint64_t size,
                        const FILETIME& lastWrite, ArchiveSummary* summary) const {
    std::string content;
    if (!ownedByCallerAlone(indexFile, false) || !readWhole(indexFile, &content)) return false;
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < content.size();) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) return false;  // a file cut short
        lines.push_back(std::string_view(content).substr(start, end - start));
        start = end + 1;
    }
    auto field = [&](size_t index, std::string_view key, std::string_view* value) {
        if (index >= lines.size() || lines[index].substr(0, key.size() + 1) != std::string(key) + " ") return false;
        *value = lines[index].substr(key.size() + 1);
        return true;
    };
    std::string_view path, sizeText, written, readable, dateTime, origin, count;
    if (lines.empty() || lines[0] != kIndexSignature || !field(1, "path", &path) || !field(2, "size", &sizeText) ||
        !field(3, "written", &written) || !field(4, "readable", &readable) || !field(5, "datetime", &dateTime) ||
        !field(6, "origin", &origin) || !field(7, "sections", &count))
        return false;
    if (lumivel::shared::WidenText(path) != archivePath || sizeText != std::to_string(size) ||
        written != std::to_string(fileTimeValue(lastWrite)) || (readable != "0" && readable != "1") ||
        count != std::to_string(lines.size() - 8))
        return false;
    summary->readable = readable == "1";
    summary->dateTime = lumivel::shared::WidenText(dateTime);
    summary->origin = lumivel::shared::WidenText(origin);
    summary->sections.clear();
    summary->sections.reserve(lines.size() - 8);
    for (size_t i = 8; i < lines.size(); ++i) {
        std::u16string section = lumivel::shared::WidenText(lines[i]);
        if (!IsSectionName(section) || lowerAscii(section) != section) return false;
        summary->sections.push_back(std::move(section));
    }
    return std::is_sorted(summary->sections.begin(), summary->sections.end());
}

void ArchiveIndex::Store(const std::u16string& indexFile, const ArchiveSummary& summary) const {
    // A path that does not fit on one line is simply read again next time.
    for (char16_t c : summary.path)
        if (c < 0x20) return;
    std::string content = std::string(kIndexSignature) + "\npath " + lumivel::shared::NarrowText(summary.path) + "\nsize " +
                          std::to_string(summary.size) + "\nwritten " + std::to_string(fileTimeValue(summary.lastWrite)) +
                          "\nreadable " + (summary.readable ? "1" : "0") + "\ndatetime " +
                          lumivel::shared::NarrowText(summary.dateTime) + "\norigin " + lumivel::shared::NarrowText(summary.origin) +
                          "\nsections " + std::to_string(summary.sections.size()) + "\n";
    for (const std::u16string& section : summary.sections) content += lumivel::shared::NarrowText(section) + "\n";

    // Written under a fresh name of its own and renamed into place, so that a reader in
    // another process never sees half an index and nobody can have planted the file.
    std::u16string temporary;
    zip::FileHandle file(lumivel::CreateExclusiveTemporaryFile(m_folder.c_str(), u".tmp-", &temporary));
    if (!file.Valid()) return;
    DWORD written = 0;
    bool ok = WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
              written == content.size();
    ok = file.Close() && ok;
    if (!ok || !MoveFileExW(temporary.c_str(), indexFile.c_str(), MOVEFILE_REPLACE_EXISTING))
        DeleteFileW(temporary.c_str());
}

ArchiveSummary ArchiveIndex::Summary(const std::u16string& archivePath, uint64_t size, const FILETIME& lastWrite) {
    ArchiveSummary summary;
    summary.path = archivePath;
    summary.fileName = std::u16string(fileNameOf(archivePath));
    summary.size = size;
    summary.lastWrite = lastWrite;
    if (!m_folder.empty() && !m_folderChecked) {
        // Made here with the caller's own rights when missing; judged as it then is.
        for (size_t at = m_folder.find_first_of(u"/\\", 1); at != std::u16string::npos;
             at = m_folder.find_first_of(u"/\\", at + 1))
            CreateDirectoryW(m_folder.substr(0, at).c_str(), nullptr);
        m_folderTrusted = ownedByCallerAlone(m_folder.substr(0, m_folder.size() - 1), true);
        m_folderChecked = true;
    }
    if (m_folder.empty() || !m_folderTrusted) {
        ++m_archivesRead;
        ReadArchiveSummary(archivePath, &summary);
        return summary;
    }
    std::u16string indexFile = IndexFileOf(archivePath);
    if (Load(indexFile, archivePath, size, lastWrite, &summary)) return summary;
    ++m_archivesRead;
    DWORD error = ERROR_SUCCESS;
    bool read = ReadArchiveSummary(archivePath, &summary, &error);
    // An archive that could not be opened at all may be readable later; only what was read,
    // or found not to be a backup, is remembered.
    if (read || error == ERROR_FILE_CORRUPT || error == ERROR_FILE_TOO_LARGE) Store(indexFile, summary);
    return summary;
}

bool ListBackupArchives(const std::u16string& folder, ArchiveIndex& index, std::vector<ArchiveSummary>* archives,
                        DWORD* error) {
    archives->clear();
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + u"*.zip").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        if (error) *error = code;
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES;
    }
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        uint64_t size = static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
        archives->push_back(index.Summary(folder + found.cFileName, size, found.ftLastWriteTime));
    } while (FindNextFileW(find, &found));
    FindClose(find);
    // The share's own time of the last write, not the time the file claims: whoever writes
    // an archive chooses what it records, but not when the share saw it written.
    std::stable_sort(archives->begin(), archives->end(), [](const ArchiveSummary& a, const ArchiveSummary& b) {
        if (fileTimeValue(a.lastWrite) != fileTimeValue(b.lastWrite))
            return fileTimeValue(a.lastWrite) > fileTimeValue(b.lastWrite);
        bool aDated = isDateTimeText(a.dateTime), bDated = isDateTimeText(b.dateTime);
        if (aDated != bDated) return aDated;
        if (aDated && a.dateTime != b.dateTime) return a.dateTime > b.dateTime;
        return a.fileName < b.fileName;
    });
    if (error) *error = ERROR_SUCCESS;
    return true;
}

}  // namespace revivo
