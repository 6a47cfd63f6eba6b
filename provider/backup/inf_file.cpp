#include "provider/backup/inf_file.h"

#include <memory>
#include <new>
#include <optional>

#include "provider/backup/raw_inf_section.h"
#include "win/errors.h"

namespace revivo {

namespace {

LPWSTR CopyText(std::u16string_view text) {
    LPWSTR copy = new (std::nothrow) WCHAR[text.size() + 1];
    if (!copy) return nullptr;
    text.copy(copy, text.size());
    copy[text.size()] = u'\0';
    return copy;
}

// The field straight from the parser, in a buffer of the size it asked for.
LPWSTR ParserCopy(INFCONTEXT& context, DWORD fieldIndex, DWORD required) {
    LPWSTR copy = new (std::nothrow) WCHAR[required];
    if (!copy) return nullptr;
    if (!SetupGetStringFieldW(&context, fieldIndex, copy, required, nullptr)) {
        delete[] copy;
        return nullptr;
    }
    return copy;
}

}  // namespace

InfFile::InfFile(LPCWSTR path) {
    if (!path || !*path) return;
    m_path = path;
    UINT errorLine = 0;
    m_inf = SetupOpenInfFileW(m_path.c_str(), nullptr, INF_STYLE_WIN4, &errorLine);
    m_openError = m_inf == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    m_errorLine = static_cast<LONG>(errorLine);
}

InfFile::~InfFile() { Close(); }

void InfFile::Close() {
    if (m_inf != INVALID_HANDLE_VALUE) SetupCloseInfFile(m_inf);
    m_inf = INVALID_HANDLE_VALUE;
    m_path.clear();
}

bool InfFile::ReadSectionField(LPCWSTR section, DWORD fieldIndex, LPWSTR** fieldArray, LONG* lineCount) {
    return ReadFields(Rereading::WhenBufferTooSmall, section, fieldIndex, fieldArray, lineCount);
}

bool InfFile::ReadSectionFieldRaw(LPCWSTR section, DWORD fieldIndex, LPWSTR** fieldArray, LONG* lineCount) {
    return ReadFields(Rereading::WhenRequiredSizeReachesBuffer, section, fieldIndex, fieldArray, lineCount);
}

bool InfFile::ReadFields(Rereading rereading, LPCWSTR section, DWORD fieldIndex, LPWSTR** fieldArray,
                         LONG* lineCount) {
    if (!fieldArray || !lineCount) return false;
    *fieldArray = nullptr;
    *lineCount = -1;
    if (!IsOpen() || !section) return false;

    LONG count = SetupGetLineCountW(m_inf, section);
    *lineCount = count;
    if (count == -1) return false;
    if (count == 0) return true;

    LPWSTR* fields = new (std::nothrow) LPWSTR[static_cast<size_t>(count)]();
    if (!fields) return false;

    // Set up at the first over-long field only, so short fields never touch the raw file.
    std::unique_ptr<RawInfSection> raw;
    WCHAR buffer[kFieldBufferSize];
    for (LONG line = 0; line < count; ++line) {
        INFCONTEXT context{};
        if (!SetupGetLineByIndexW(m_inf, section, static_cast<DWORD>(line), &context)) continue;
        DWORD required = 0;
        BOOL read = SetupGetStringFieldW(&context, fieldIndex, buffer, kFieldBufferSize, &required);
        bool reread;
        if (rereading == Rereading::WhenBufferTooSmall) {
            // A field that filled the buffer exactly was delivered whole and is kept.
            if (read) {
                fields[line] = CopyText(std::u16string_view(buffer, required ? required - 1 : 0));
                continue;
            }
            reread = GetLastError() == ERROR_INSUFFICIENT_BUFFER && required != 0;
        } else {
            if (read && required < kFieldBufferSize) {
                fields[line] = CopyText(std::u16string_view(buffer, required ? required - 1 : 0));
                continue;
            }
            reread = required >= kFieldBufferSize;
        }
        if (!reread) continue;

        if (!raw) {
            raw = std::make_unique<RawInfSection>();
            if (!raw->Open(m_path.c_str(), section)) {
                FreeFieldArray(fields, count);
                return false;
            }
        }
        // The parser has told the length; a raw line that disagrees is another line (one the
        // raw text continues with a backslash, say), so the parser's own copy is taken.
        std::optional<std::u16string> text = raw->ReadField(static_cast<DWORD>(line), fieldIndex);
        fields[line] = text && text->size() + 1 == required ? CopyText(*text) : ParserCopy(context, fieldIndex, required);
    }
    *fieldArray = fields;
    return true;
}

void FreeFieldArray(LPWSTR* fieldArray, LONG lineCount) {
    if (!fieldArray) return;
    for (LONG i = 0; i < lineCount; ++i) delete[] fieldArray[i];
    delete[] fieldArray;
}

}  // namespace revivo

namespace revivo {

std::u16string BackupMemberName(std::u16string_view archivePath) {
    size_t cut = archivePath.find_last_of(u"/\\");
    if (cut != std::u16string_view::npos) archivePath.remove_prefix(cut + 1);
    size_t dot = archivePath.rfind(u'.');
    return std::u16string(dot == std::u16string_view::npos ? archivePath : archivePath.substr(0, dot)) + u".inf";
}

}  // namespace revivo
