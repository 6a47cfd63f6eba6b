// Re-reads fields of one INF section straight from the file text, for fields that do not fit
// the INF reader's 512-character buffer (backup values are long hexadecimal strings).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "provider/backup/raw_inf_field.h"
#include "provider/backup/raw_inf_lines.h"
#include "win/types.h"

namespace revivo {

class RawInfSection {
public:
    RawInfSection() = default;
    ~RawInfSection();
    RawInfSection(const RawInfSection&) = delete;
    RawInfSection& operator=(const RawInfSection&) = delete;

    // Opens the file (FF FE: UTF-16LE, else 8-bit ANSI text) and finds the section header,
    // compared without regard to case. False when either fails.
    bool Open(LPCWSTR path, LPCWSTR section);

    // Field `fieldIndex` of the section's line `lineIndex`, counted as the parser counts lines
    // (blank and comment lines are not lines, continued lines are one, same-named sections
    // continue the section, nothing after the end-of-file mark counts).
    // Lines are read whole, whatever their length. Reading forward from the last line read,
    // so a pass over the section reads the file once.
    std::optional<std::u16string> ReadField(DWORD lineIndex, DWORD fieldIndex);

private:
    enum class Encoding { Ansi, Utf16LittleEndian };

    bool Seek(ULONGLONG offset);
    bool FillBuffer();
    // The next raw line without its CR/LF ending; false at the end of the file.
    bool ReadLine(std::u16string& line);
    // The next header or entry, raw lines joined as the parser joins them.
    RawInfLines::Kind NextLine();
    bool IsOwnHeader(std::u16string_view line) const;

    HANDLE m_file = nullptr;
    Encoding m_encoding = Encoding::Ansi;
    std::u16string m_section;
    ULONGLONG m_sectionStart = 0;

    DWORD m_nextLine = 0;  // parser index of the next entry the cursor reaches
    bool m_inSection = true;
    RawInfLines m_lines;
    RawInfLines m_linesAtStart;  // as it was right after the section header

    std::vector<char> m_buffer;
    size_t m_bufferPos = 0;
    size_t m_bufferEnd = 0;
    ULONGLONG m_bufferOffset = 0;  // file offset of m_buffer[0]
    std::string m_bytes;           // reused per 8-bit line
};

}  // namespace revivo
