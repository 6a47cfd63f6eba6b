#include "provider/backup/backup_parent_path.h"

#include "lumivel/temporary_file.h"
#include "provider/archive/archive_commands.h"
#include "provider/archive/zip_engine.h"
#include "provider/backup/backup_file_bounds.h"
#include "provider/backup/attribute_lists.h"
#include "provider/backup/inf_file.h"
#include "provider/backup/text_hex.h"
#include "shared/text_helpers.h"

namespace revivo {

std::optional<std::u16string> ReadBackupParentPath(AttributeLists& lists, std::u16string_view archivePath,
                                                   std::u16string_view section, std::u16string* why) {
    if (why) why->clear();
    if (archivePath.empty() || section.empty()) return std::nullopt;
    auto temporary = lumivel::PrivateTempDirectory::Create(u"lumivel-restore");
    if (!temporary) return std::nullopt;
    std::u16string archive(archivePath);
    // The bound holds before anything is unpacked: the declared sizes are checked first.
    if (int failed = ExtractInfFiles(archive.c_str(), temporary->Path().c_str(), kMaxBackupFileBytes); failed != 0) {
        if (failed == zip::kZipOverLimit && why)
            *why = u"The backup file in " + archive + u" is refused: it is larger than 64 MiB.";
        return std::nullopt;
    }

    std::u16string infPath = temporary->PathOf(BackupMemberName(archivePath));
    std::u16string refused;
    if (CheckBackupFileBounds(infPath, &refused) != ERROR_SUCCESS) {
        if (why) *why = refused;
        return std::nullopt;
    }
    InfFile file(infPath.c_str());
    std::u16string sectionName(section);
    SectionFields keys(file, sectionName.c_str(), 0);
    SectionFields values(file, sectionName.c_str(), 1);
    for (LONG i = std::min(keys.Count(), values.Count()) - 1; i >= 0; --i) {
        LPCWSTR key = keys.At(i);
        LPCWSTR value = values.At(i);
        if (!key || !value || IsRestrictedAttribute(lists, key) ||
            !lumivel::EqualsNoCase(key, u"path"))
            continue;
        std::u16string_view field(value);
        size_t tab = field.find(u'\t');
        if (tab == std::u16string_view::npos || field.substr(0, tab) != u"8") continue;
        // The line nearest the end decides; one that does not decode gives no name at all.
        std::u16string parent;
        if (!DecodeTextHex(field.substr(tab + 1), &parent, nullptr) || parent.empty()) return std::nullopt;
        return parent;
    }
    return std::nullopt;
}

}  // namespace revivo
