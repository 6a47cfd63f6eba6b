#include "schemacache/index_writer.h"

#include "win/errors.h"
#include "win/files.h"
#include "win/guid.h"
#include "win/threads.h"

namespace glossar {
namespace {

constexpr int kNameAttempts = 16;

std::u16string Hex(unsigned long long value, int digits) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string text(static_cast<size_t>(digits), u'0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return text;
}

// A hidden name beside the target that no other writer picks: its own random part.
std::u16string TemporaryName(std::u16string_view directory, std::u16string_view fileName) {
    GUID random{};
    CoCreateGuid(&random);
    const unsigned long long bits = (static_cast<unsigned long long>(random.Data1) << 32) |
                                    (static_cast<unsigned long long>(random.Data2) << 16) | random.Data3;
    return std::u16string(directory) + u"." + std::u16string(fileName) + u"." + Hex(bits, 16) + u".tmp";
}

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
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::u16string temporary = TemporaryName(m_directory, fileName);
        HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            return false;
        }
        const bool written = WriteAll(file, bytes);
        const bool closed = CloseHandle(file);
        if (!written || !closed) {
            DeleteFileW(temporary.c_str());
            return false;
        }
        m_staged.push_back({temporary, m_directory + std::u16string(fileName)});
        return true;
    }
    return false;
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
