#include "provider/backup/backup_sections.h"

#include <algorithm>

#include "provider/archive/archive_commands.h"
#include "provider/archive/zip_engine.h"
#include "provider/backup/backup_file_bounds.h"
#include "provider/backup/section_name.h"
#include "provider/backup/text_hex.h"
#include "shared/text_helpers.h"
#include "win/files.h"
#include "win/threads.h"

namespace revivo {

namespace {

constexpr int kTypeDate = 7;
constexpr int kTypeBool = 11;
constexpr int kTypeBytes = 8209;
constexpr int kTypeStringArray = 8200;
constexpr int kTypeVariantArray = 8204;

// A text a person or a program wrote, not bytes that merely decode as UTF-16.
bool looksLikeText(std::u16string_view text) {
    return std::none_of(text.begin(), text.end(), [](char16_t c) {
        return (c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') || (c >= 0xFDD0 && c <= 0xFDEF) || c >= 0xFFFE;
    });
}

}  // namespace

std::unique_ptr<BackupSections> BackupSections::Open(std::u16string_view archivePath, std::u16string* why) {
    if (why) why->clear();
    if (archivePath.empty()) return nullptr;
    auto folder = lumivel::PrivateTempDirectory::Create(u"lumivel-reapply");
    if (!folder) return nullptr;
    std::u16string archive(archivePath);
    // The bound holds before anything is unpacked: the declared sizes are checked first.
    if (int failed = ExtractInfFiles(archive.c_str(), folder->Path().c_str(), kMaxBackupFileBytes); failed != 0) {
        if (failed == zip::kZipOverLimit && why)
            *why = u"The backup file in " + archive + u" is refused: it is larger than 64 MiB.";
        return nullptr;
    }
    std::u16string infPath = folder->PathOf(BackupMemberName(archivePath));
    std::u16string refused;
    if (CheckBackupFileBounds(infPath, &refused) != ERROR_SUCCESS) {
        if (why) *why = refused;
        return nullptr;
    }
    std::unique_ptr<BackupSections> sections(new BackupSections(std::move(folder), std::move(infPath)));
    if (!sections->m_file.IsOpen()) return nullptr;
    return sections;
}

BackupSections::BackupSections(std::unique_ptr<lumivel::PrivateTempDirectory> folder, std::u16string infPath)
    : m_folder(std::move(folder)), m_infPath(std::move(infPath)), m_file(m_infPath.c_str()) {}

std::vector<BackupAttribute> BackupSections::Attributes(std::u16string_view section) {
    std::u16string name(section);
    SectionFields keys(m_file, name.c_str(), 0);
    SectionFields values(m_file, name.c_str(), 1);
    std::vector<BackupAttribute> attributes;
    for (LONG i = 0; i < std::min(keys.Count(), values.Count()); ++i) {
        if (!keys.At(i) || !values.At(i)) continue;
        std::u16string_view key(keys.At(i));
        std::u16string_view field(values.At(i));
        size_t tab = field.find(u'\t');
        if (tab == std::u16string_view::npos || tab == 0 || tab > 6) continue;
        int type = 0;
        for (char16_t c : field.substr(0, tab)) {
            if (c < u'0' || c > u'9') type = -1;
            if (type >= 0) type = type * 10 + (c - u'0');
        }
        if (type < 0) continue;
        // Values of an array carry "_" and their number after the attribute's name.
        if (type == kTypeStringArray || type == kTypeVariantArray) {
            size_t underscore = key.rfind(u'_');
            if (underscore != std::u16string_view::npos) key = key.substr(0, underscore);
        }
        auto same = [&](const BackupAttribute& a) { return lumivel::EqualsNoCase(a.name, key); };
        auto found = std::find_if(attributes.begin(), attributes.end(), same);
        if (found == attributes.end()) {
            attributes.push_back(BackupAttribute{std::u16string(key), type, {}});
            found = attributes.end() - 1;
        }
        found->texts.emplace_back(field.substr(tab + 1));
    }
    return attributes;
}

std::vector<std::u16string> BackupSections::SectionNames() const {
    std::vector<std::u16string> names;
    HANDLE file = CreateFileW(m_infPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return names;
    std::string text;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
    CloseHandle(file);
    // Section headers of objects are their GUIDs: 32 hexadecimal digits between brackets.
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        std::string_view line(text.data() + start, (end == std::string::npos ? text.size() : end) - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() == 34 && line.front() == '[' && line.back() == ']') {
            std::u16string name = lumivel::shared::WidenText(line.substr(1, 32));
            if (IsSectionName(name)) names.push_back(std::move(name));
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return names;
}

std::optional<DecodedValue> DecodeBackupValue(int type, std::u16string_view text) {
    DecodedValue value;
    if (type == kTypeDate) return std::nullopt;
    if (type == kTypeBytes) {
        value.binary = true;
        if (!DecodeByteHex(text, &value.bytes)) return std::nullopt;
        return value;
    }
    if (!DecodeTextHex(text, &value.text, nullptr)) {
        // An array's byte-string element is byte hex, which need not be whole characters.
        if (type != kTypeVariantArray || !DecodeByteHex(text, &value.bytes)) return std::nullopt;
        value.binary = true;
        return value;
    }
    if (type == kTypeVariantArray && !looksLikeText(value.text)) {
        value.text.clear();
        value.binary = true;
        if (!DecodeByteHex(text, &value.bytes)) return std::nullopt;
        return value;
    }
    if (type == kTypeBool) {
        if (lumivel::EqualsNoCase(value.text, u"True")) value.text = u"TRUE";
        else if (lumivel::EqualsNoCase(value.text, u"False")) value.text = u"FALSE";
        else return std::nullopt;
    }
    return value;
}

}  // namespace revivo
