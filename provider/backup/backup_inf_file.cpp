#include "provider/backup/backup_inf_file.h"

#include <cstdio>

#include "provider/archive/archive_commands.h"
#include "provider/archive/streamed_pack.h"
#include "shared/text_helpers.h"
#include "win/errors.h"
#include "win/strings.h"
#include "win/threads.h"

namespace revivo {

namespace {

constexpr char kHeader[] =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "LayoutFile=layout.inf\r\n"
    "Provider=\"Tarvo Software\"\r\n"
    "ClassGUID={ED39F520-9EA3-4c8b-AA07-BA95A75DEA65}\r\n"
    "Class=Revivo_Backup\r\n"
    "\r\n";

constexpr size_t kFlushSize = 1 << 16;

}  // namespace

std::u16string BackupTimeText(const SYSTEMTIME& utc) {
    char text[64];
    std::snprintf(text, sizeof text, "%i-%.2i-%.2i %.2i:%.2i:%.2i", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                  utc.wMinute, utc.wSecond);
    return lumivel::shared::WidenText(text);
}

std::u16string OriginText(std::u16string_view path) {
    // Records of the listing carry a bare DN; only a real prefix is cut.
    if (lumivel::shared::StartsWithNoCase(path, u"LDAP://")) path.remove_prefix(7);
    std::u16string origin(path);
    // The value stands between double quotes on one line: a line break in it would start a
    // line (or a section) of its own.
    for (char16_t& c : origin)
        if (c < 0x20) c = u'?';
    return origin;
}

BackupInfFile::BackupInfFile() = default;

BackupInfFile::~BackupInfFile() { Discard(); }

bool BackupInfFile::Create(const std::u16string& path) {
    m_file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_file == INVALID_HANDLE_VALUE) {
        m_error = GetLastError();
        return false;
    }
    m_buffer.reserve(kFlushSize * 2);
    return true;
}

bool BackupInfFile::CreatePacked(const std::u16string& archivePath, const std::u16string& memberName) {
    auto pack = std::make_unique<zip::StreamedPack>();
    if (!StartPackingStream(*pack, archivePath.c_str(), memberName.c_str(), &m_error)) return false;
    m_pack = std::move(pack);
    m_buffer.reserve(kFlushSize * 2);
    return true;
}

void BackupInfFile::WriteHeader(const SYSTEMTIME& utc, std::u16string_view origin) {
    WriteBytes(kHeader);
    WriteAnsi(u"[Backup Info]\r\nDateTime=\"" + BackupTimeText(utc) + u"\"\r\nOrigin=\"" + OriginText(origin) +
              u"\"\r\n");
}

void BackupInfFile::BeginSection(std::u16string_view name) {
    ++m_sections;
    WriteAnsi(u"\r\n[" + std::u16string(name) + u"]\r\n");
}

void BackupInfFile::WriteLines(std::u16string_view lines) { WriteAnsi(lines); }

void BackupInfFile::WriteAnsi(std::u16string_view text) {
    if (text.empty() || m_error != ERROR_SUCCESS) return;
    // Nearly every line is hex digits and names: ASCII is the same in every code page, and
    // taking it over directly spares the conversion that once led a backup's profile.
    size_t at = m_buffer.size();
    m_buffer.resize(at + text.size());
    char* out = m_buffer.data() + at;
    size_t ascii = 0;
    for (; ascii < text.size() && text[ascii] < 0x80; ++ascii) out[ascii] = static_cast<char>(text[ascii]);
    if (ascii == text.size()) {
        if (m_buffer.size() >= kFlushSize) Flush();
        return;
    }
    m_buffer.resize(at + ascii);
    text.remove_prefix(ascii);
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        m_error = GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION);
        return;
    }
    at = m_buffer.size();
    m_buffer.resize(at + static_cast<size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), m_buffer.data() + at, size, nullptr,
                        nullptr);
    if (m_buffer.size() >= kFlushSize) Flush();
}

void BackupInfFile::WriteBytes(std::string_view bytes) {
    if (m_error != ERROR_SUCCESS) return;
    m_buffer.append(bytes);
    if (m_buffer.size() >= kFlushSize) Flush();
}

void BackupInfFile::Flush() {
    if (m_pack) {
        // The packing thread says why at the end; until then the failure is only known.
        if (m_error == ERROR_SUCCESS && !m_buffer.empty() && !m_pack->Write(m_buffer)) m_error = ERROR_WRITE_FAULT;
        m_buffer.clear();
        if (m_buffer.capacity() < kFlushSize) m_buffer.reserve(kFlushSize * 2);
        return;
    }
    size_t done = 0;
    while (m_error == ERROR_SUCCESS && done < m_buffer.size()) {
        DWORD written = 0;
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(m_buffer.size() - done, 1u << 30));
        if (!WriteFile(m_file, m_buffer.data() + done, chunk, &written, nullptr) || written == 0)
            m_error = GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_WRITE_FAULT);
        done += written;
    }
    m_buffer.clear();
}

bool BackupInfFile::Close() {
    if (m_pack) {
        Flush();
        // A file that lacks what failed to go in is not completed into an archive.
        if (m_error != ERROR_SUCCESS) {
            Discard();
            return false;
        }
        DWORD packed = m_pack->Finish();
        m_pack.reset();
        if (packed != ERROR_SUCCESS) m_error = packed;
        return m_error == ERROR_SUCCESS;
    }
    if (m_file == INVALID_HANDLE_VALUE) return m_error == ERROR_SUCCESS;
    Flush();
    if (!CloseHandle(m_file) && m_error == ERROR_SUCCESS) m_error = GetLastError();
    m_file = INVALID_HANDLE_VALUE;
    return m_error == ERROR_SUCCESS;
}

void BackupInfFile::Discard() {
    m_buffer.clear();
    if (m_pack || m_file != INVALID_HANDLE_VALUE) {
        // Whatever was written is not a whole file.
        if (m_error == ERROR_SUCCESS) m_error = ERROR_OPERATION_ABORTED;
    }
    if (m_pack) {
        m_pack->Abandon();
        m_pack.reset();
    }
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
}

}  // namespace revivo
