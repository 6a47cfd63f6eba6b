// The backup INF file as it is written: 8-bit text in the ANSI code page, CR LF line ends,
// no byte-order mark. The fixed header, the [Backup Info] section, then one section per
// directory object. Written through a buffer, into a file or straight into the archive it
// is packed into; the first failing write is remembered and every later call does nothing,
// so a run can check once at the end.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "win/files.h"
#include "win/winerror.h"

namespace revivo {

namespace zip {
class StreamedPack;
}

class BackupInfFile {
public:
    BackupInfFile();
    ~BackupInfFile();
    BackupInfFile(const BackupInfFile&) = delete;
    BackupInfFile& operator=(const BackupInfFile&) = delete;

    // Creates the file, which must not exist yet; false with the system error.
    bool Create(const std::u16string& path);
    // Creates the archive, which must not exist yet, that the file is packed into as it is
    // written, as its one member `memberName`; no file of that name is ever made. False with
    // the system error.
    bool CreatePacked(const std::u16string& archivePath, const std::u16string& memberName);
    // The header, then "DateTime" (the time given, UTC) and "Origin" between double quotes.
    void WriteHeader(const SYSTEMTIME& utc, std::u16string_view origin);
    // An empty line and the section header.
    void BeginSection(std::u16string_view name);
    // Lines already ended by CR LF, as FormatValueLine makes them.
    void WriteLines(std::u16string_view lines);
    // Flushes and closes (and completes the archive); false with the first error of the
    // file's life.
    bool Close();
    // Closes without completing: an archive being packed goes, a plain file stays as it is;
    // either way the file counts as failed from now on.
    void Discard();

    DWORD Error() const { return m_error; }
    size_t SectionCount() const { return m_sections; }

private:
    void WriteAnsi(std::u16string_view text);
    void WriteBytes(std::string_view bytes);
    void Flush();

    HANDLE m_file = INVALID_HANDLE_VALUE;
    std::unique_ptr<zip::StreamedPack> m_pack;
    std::string m_buffer;
    DWORD m_error = ERROR_SUCCESS;
    size_t m_sections = 0;
};

// The [Backup Info] values as written: the time formatted as "%i-%.2i-%.2i %.2i:%.2i:%.2i",
// and the origin with its "LDAP://" prefix removed when it has one.
std::u16string BackupTimeText(const SYSTEMTIME& utc);
std::u16string OriginText(std::u16string_view path);

}  // namespace revivo
