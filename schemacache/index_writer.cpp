#include "schemacache/index_writer.h"

#include "lumivel/temporary_file.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/threads.h"

namespace glossar {
namespace {

bool WriteAll(HANDLE file, const std::vector<unsigned char>& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size() && FlushFileBuffers(file);
}

}  // namespace

std::vector<unsigned char> IndexFileWriter::Encode(const std::vector<std::u16string>& records) {
    size_t units = 0;
    for (const auto& record : records) units += record.size() + 2;
    std::vector<unsigned char> bytes;
    bytes.reserve(2 + units * 2);
    bytes.push_back(0xFF);
    bytes.push_back(0xFE);
    auto put = [&bytes](char16_t unit) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    };
    for (size_t i = 0; i < records.size(); ++i) {
        if (i) put(u'\r'), put(u'\n');
        for (char16_t unit : records[i]) put(unit);
    }
    return bytes;
}

IndexFileWriter::~IndexFileWriter() {
    for (const auto& staged : m_staged) DeleteFileW(staged.temporary.c_str());
}

bool IndexFileWriter::stage(std::u16string_view fileName, const std::vector<std::u16string>& records) {
    if (records.empty()) return true;
    const std::vector<unsigned char> bytes = Encode(records);
    // A new file beside the target, readable by every user of a shared index folder. The
    // directory is a prefix of the names, so the folder is what comes before its last separator.
    const std::u16string stem = m_directory + u"." + std::u16string(fileName) + u".";
    const size_t cut = stem.find_last_of(u"/\\");
    const std::u16string folder = cut == std::u16string::npos ? u"." : stem.substr(0, cut + 1);
    std::u16string temporary;
    HANDLE file = lumivel::CreateExclusiveTemporaryFile(folder.c_str(), std::u16string_view(stem).substr(cut + 1),
                                                        &temporary, 0644);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool written = WriteAll(file, bytes);
    const bool closed = CloseHandle(file);
    if (!written || !closed) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    m_staged.push_back({temporary, m_directory + std::u16string(fileName)});
    return true;
}

bool IndexFileWriter::commit() {
    bool all = true;
    for (const auto& staged : m_staged) {
        const DWORD attributes = GetFileAttributesW(staged.target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(staged.target.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
        if (!MoveFileExW(staged.temporary.c_str(), staged.target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            DeleteFileW(staged.temporary.c_str());
            all = false;
        }
    }
    m_staged.clear();
    return all;
}

}  // namespace glossar
