// The provider's INF reader: one chosen field of every line of a section, as an array of wide
// strings. Rests on the platform INF parser and re-reads, whole, from the raw file text any
// field that does not fit the parser buffer of 512 characters.
#pragma once

#include <string>

#include "win/errors.h"
#include "win/setupapi.h"

namespace revivo {

class InfFile {
public:
    static constexpr DWORD kFieldBufferSize = 512;

    // Opens the file when the path is non-empty; otherwise nothing is opened.
    explicit InfFile(LPCWSTR path);
    ~InfFile();
    InfFile(const InfFile&) = delete;
    InfFile& operator=(const InfFile&) = delete;

    void Close();
    bool IsOpen() const { return m_inf != INVALID_HANDLE_VALUE; }
    // The parser's error line from opening, -1 when no path was given.
    LONG ErrorLine() const { return m_errorLine; }
    // Why the file could not be opened: ERROR_FILE_NOT_FOUND for one that is not there.
    DWORD OpenError() const { return m_openError; }

    // Field `fieldIndex` (0 = key) of every line of the section, in line order; an entry is null
    // when that line's field cannot be read. False when no file is open, the section is missing
    // (*lineCount -1) or an over-long field cannot be re-read; *fieldArray is then null. An
    // empty section gives true, *lineCount 0 and a null array. Free with FreeFieldArray.
    //
    // The configuration variant re-reads a field when the parser reports that the buffer is too
    // small; the backup variant whenever the required size reaches the buffer size.
    bool ReadSectionField(LPCWSTR section, DWORD fieldIndex, LPWSTR** fieldArray, LONG* lineCount);
    bool ReadSectionFieldRaw(LPCWSTR section, DWORD fieldIndex, LPWSTR** fieldArray, LONG* lineCount);

private:
    enum class Rereading { WhenBufferTooSmall, WhenRequiredSizeReachesBuffer };
    bool ReadFields(Rereading rereading, LPCWSTR section, DWORD fieldIndex, LPWSTR** fieldArray, LONG* lineCount);

    LONG m_errorLine = -1;
    DWORD m_openError = ERROR_FILE_NOT_FOUND;
    HINF m_inf = INVALID_HANDLE_VALUE;
    std::u16string m_path;
};

// Frees every non-null entry and the array; a null array is ignored.
void FreeFieldArray(LPWSTR* fieldArray, LONG lineCount);

// One field of every line of a section, read whole and freed with the object; empty when the
// section cannot be read.
class SectionFields {
public:
    SectionFields(InfFile& file, LPCWSTR section, DWORD field) {
        if (!file.ReadSectionFieldRaw(section, field, &m_fields, &m_count)) {
            m_fields = nullptr;
            m_count = 0;
        }
    }
    ~SectionFields() { FreeFieldArray(m_fields, m_count); }
    SectionFields(const SectionFields&) = delete;
    SectionFields& operator=(const SectionFields&) = delete;
    LONG Count() const { return m_fields ? m_count : 0; }
    LPCWSTR At(LONG index) const { return m_fields ? m_fields[index] : nullptr; }

private:
    LPWSTR* m_fields = nullptr;
    LONG m_count = 0;
};

// The backup member of an archive: named like the archive, with ".inf" for its extension.
std::u16string BackupMemberName(std::u16string_view archivePath);

}  // namespace revivo
