#include "schemacache/file_replacement.h"

#include <algorithm>
#include <utility>

#include "win/errors.h"
#include "win/files.h"
#include "win/guid.h"
#include "win/threads.h"

namespace glossar {
namespace {

constexpr int kNameAttempts = 16;
constexpr DWORD kLargestWrite = 1u << 30;

std::u16string Hex(unsigned long long value, int digits) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string text(static_cast<size_t>(digits), u'0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return text;
}

// A hidden name beside the target that no other writer picks: its own random part.
std::u16string TemporaryName(const std::u16string& target) {
    GUID random{};
    CoCreateGuid(&random);
    const unsigned long long bits = (static_cast<unsigned long long>(random.Data1) << 32) |
                                    (static_cast<unsigned long long>(random.Data2) << 16) | random.Data3;
    const size_t cut = target.find_last_of(u"/\\");
    const size_t nameStart = cut == std::u16string::npos ? 0 : cut + 1;
    return target.substr(0, nameStart) + u"." + target.substr(nameStart) + u"." + Hex(bits, 16) + u".tmp";
}

}  // namespace

FileReplacement::FileReplacement(std::u16string target) : m_target(std::move(target)) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::u16string temporary = TemporaryName(m_target);
        HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            m_file = file;
            m_temporary = std::move(temporary);
            return;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return;
    }
}

FileReplacement::FileReplacement(FileReplacement&& other) noexcept
    : m_target(std::move(other.m_target)),
      m_temporary(std::exchange(other.m_temporary, std::u16string())),
      m_file(std::exchange(other.m_file, INVALID_HANDLE_VALUE)),
      m_failed(other.m_failed) {}

FileReplacement::~FileReplacement() {
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    if (!m_temporary.empty()) DeleteFileW(m_temporary.c_str());
}

bool FileReplacement::write(const void* data, size_t size) {
    if (m_file == INVALID_HANDLE_VALUE || m_failed) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, kLargestWrite));
        DWORD written = 0;
        if (!WriteFile(m_file, bytes, chunk, &written, nullptr) || written != chunk) {
            m_failed = true;
            return false;
        }
        bytes += chunk;
        size -= chunk;
    }
    return true;
}

bool FileReplacement::close() {
    if (m_file == INVALID_HANDLE_VALUE) return !m_temporary.empty() && !m_failed;
    const bool flushed = FlushFileBuffers(m_file);
    const bool closed = CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    if (!flushed || !closed) m_failed = true;
    return !m_failed;
}

bool FileReplacement::commit() {
    if (m_temporary.empty() || !close()) return false;
    const DWORD attributes = GetFileAttributesW(m_target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(m_target.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    if (!MoveFileExW(m_temporary.c_str(), m_target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    m_temporary.clear();
    return true;
}

}  // namespace glossar
