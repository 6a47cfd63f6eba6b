#include "provider/backup/raw_inf_section.h"

#include <cstring>

#include "win/files.h"
#include "win/strings.h"
#include "win/threads.h"

namespace revivo {

namespace {

constexpr size_t kBufferSize = 1 << 16;

std::u16string_view TrimLeadingBlanks(std::u16string_view line) {
    size_t start = 0;
    while (start < line.size() && IsInfBlank(line[start])) ++start;
    return line.substr(start);
}

}  // namespace

RawInfSection::~RawInfSection() {
    if (m_file && m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
}

bool RawInfSection::Seek(ULONGLONG offset) {
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(m_file, distance, nullptr, FILE_BEGIN)) return false;
    m_bufferOffset = offset;
    m_bufferPos = m_bufferEnd = 0;
    return true;
}

bool RawInfSection::FillBuffer() {
    m_bufferOffset += m_bufferEnd;
    m_bufferPos = m_bufferEnd = 0;
    DWORD read = 0;
    if (!ReadFile(m_file, m_buffer.data(), static_cast<DWORD>(m_buffer.size()), &read, nullptr)) return false;
    m_bufferEnd = read;
    return read > 0;
}

bool RawInfSection::ReadLine(std::u16string& line) {
    line.clear();
    bool any = false;
    if (m_encoding == Encoding::Utf16LittleEndian) {
        for (;;) {
            if (m_bufferEnd - m_bufferPos < 2) {
                // An odd byte left in the buffer is read again as the start of the next fill.
                if (m_bufferPos < m_bufferEnd && !Seek(m_bufferOffset + m_bufferPos)) return false;
                if (!FillBuffer() || m_bufferEnd < 2) {
                    m_bufferPos = m_bufferEnd;  // a lone trailing byte is no character
                    return any;
                }
            }
            char16_t c = static_cast<char16_t>(static_cast<unsigned char>(m_buffer[m_bufferPos]) |
                                               (static_cast<unsigned char>(m_buffer[m_bufferPos + 1]) << 8));
            m_bufferPos += 2;
            any = true;
            if (c == u'\n') break;
            line.push_back(c);
        }
    } else {
        m_bytes.clear();
        for (;;) {
            if (m_bufferPos == m_bufferEnd && !FillBuffer()) {
                if (!any) return false;
                break;
            }
            any = true;
            const char* start = m_buffer.data() + m_bufferPos;
            const void* newline = std::memchr(start, '\n', m_bufferEnd - m_bufferPos);
            size_t take = newline ? static_cast<size_t>(static_cast<const char*>(newline) - start)
                                  : m_bufferEnd - m_bufferPos;
            m_bytes.append(start, take);
            m_bufferPos += take;
            if (newline) {
                ++m_bufferPos;
                break;
            }
        }
        if (!m_bytes.empty()) {
            int size = MultiByteToWideChar(CP_ACP, 0, m_bytes.data(), static_cast<int>(m_bytes.size()), nullptr, 0);
            if (size > 0) {
                line.resize(static_cast<size_t>(size));
                MultiByteToWideChar(CP_ACP, 0, m_bytes.data(), static_cast<int>(m_bytes.size()), line.data(), size);
            }
        }
    }
    while (!line.empty() && (line.back() == u'\r' || line.back() == u'\n')) line.pop_back();
    return true;
}

RawInfLines::Kind RawInfSection::NextLine() {
    std::u16string line;
    while (!m_lines.ended() && ReadLine(line)) {
        RawInfLines::Kind kind = m_lines.add(line);
        if (kind != RawInfLines::Kind::None) return kind;
    }
    return m_lines.finish();
}

// A header is "[" name "]" after leading blanks, anything after the bracket ignored, and its
// name compares as the parser compares section names (case folded, all of it).
bool RawInfSection::IsOwnHeader(std::u16string_view line) const {
    std::u16string_view text = TrimLeadingBlanks(line);
    size_t close = text.find(u']');
    if (text.empty() || text.front() != u'[' || close == std::u16string_view::npos) return false;
    std::u16string_view name = text.substr(1, close - 1);
    return CompareStringOrdinal(name.data(), static_cast<int>(name.size()), m_section.data(),
                                static_cast<int>(m_section.size()), TRUE) == CSTR_EQUAL;
}

bool RawInfSection::Open(LPCWSTR path, LPCWSTR section) {
    if (!path || !section) return false;
    m_file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_file == INVALID_HANDLE_VALUE) {
        m_file = nullptr;
        return false;
    }
    m_buffer.resize(kBufferSize);
    m_section = section;
    if (!Seek(0)) return false;
    FillBuffer();
    ULONGLONG start = 0;
    if (m_bufferEnd >= 2 && static_cast<unsigned char>(m_buffer[0]) == 0xFF &&
        static_cast<unsigned char>(m_buffer[1]) == 0xFE) {
        m_encoding = Encoding::Utf16LittleEndian;
        start = 2;
    } else if (m_bufferEnd >= 3 && std::string_view(m_buffer.data(), 3) == "\xEF\xBB\xBF") {
        start = 3;  // the parser skips a UTF-8 mark too
    }
    m_bufferPos = static_cast<size_t>(start);

    for (RawInfLines::Kind kind; (kind = NextLine()) != RawInfLines::Kind::None;) {
        if (kind == RawInfLines::Kind::Header && IsOwnHeader(m_lines.text())) {
            // A header line never continues, so the joiner holds nothing across this point.
            m_sectionStart = m_bufferOffset + m_bufferPos;
            m_linesAtStart = m_lines;
            m_nextLine = 0;
            m_inSection = true;
            return true;
        }
    }
    return false;
}

std::optional<std::u16string> RawInfSection::ReadField(DWORD lineIndex, DWORD fieldIndex) {
    if (!m_file) return std::nullopt;
    if (lineIndex < m_nextLine) {
        if (!Seek(m_sectionStart)) return std::nullopt;
        m_nextLine = 0;
        m_inSection = true;
        m_lines = m_linesAtStart;
    }
    for (RawInfLines::Kind kind; (kind = NextLine()) != RawInfLines::Kind::None;) {
        if (kind == RawInfLines::Kind::Header) {
            m_inSection = IsOwnHeader(m_lines.text());
            continue;
        }
        if (!m_inSection) continue;
        if (m_nextLine++ == lineIndex) return ExtractRawField(m_lines.text(), fieldIndex, m_lines.joins());
    }
    return std::nullopt;
}

}  // namespace revivo
