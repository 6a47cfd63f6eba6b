#include "provider/backup/restore_from_backup.h"

#include "lumivel/ldap_escape.h"
#include "lumivel/private_temp_directory.h"
#include "provider/archive/archive_commands.h"
#include "provider/backup/backup_choice_dialog.h"
#include "provider/backup/inf_file.h"
#include "provider/backup/section_name.h"
#include "provider/backup/text_hex.h"
#include "provider/reanimation.h"
#include "provider/revivo.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

// The fields of every line of a section; empty when the section cannot be read.
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

std::u16string_view baseNameWithoutExtension(std::u16string_view path) {
    size_t cut = path.find_last_of(u"/\\");
    if (cut != std::u16string_view::npos) path.remove_prefix(cut + 1);
    size_t dot = path.rfind(u'.');
    return dot == std::u16string_view::npos ? path : path.substr(0, dot);
}

bool containerExists(std::u16string_view server, const std::u16string& dn) {
    std::u16string path = server.empty() ? std::u16string(u"LDAP://") : u"LDAP://" + std::u16string(server) + u"/";
    ComPtr<IADs> existing;
    return SUCCEEDED(ADsGetObject((path + lumivel::ldap::AdsPathDn(dn)).c_str(), IID_IADs, existing.putVoid()));
}

}  // namespace

std::optional<std::u16string> ReadBackupParentPath(Revivo* provider, std::u16string_view archivePath,
                                                   std::u16string_view section) {
    if (archivePath.empty() || section.empty()) return std::nullopt;
    auto temporary = lumivel::PrivateTempDirectory::Create(u"lumivel-restore");
    if (!temporary) return std::nullopt;
    std::u16string archive(archivePath);
    if (ExtractInfFiles(archive.c_str(), temporary->Path().c_str()) != 0) return std::nullopt;

    std::u16string infPath = temporary->PathOf(std::u16string(baseNameWithoutExtension(archivePath)) + u".inf");
    InfFile file(infPath.c_str());
    std::u16string sectionName(section);
    SectionFields keys(file, sectionName.c_str(), 0);
    SectionFields values(file, sectionName.c_str(), 1);
    for (LONG i = std::min(keys.Count(), values.Count()) - 1; i >= 0; --i) {
        LPCWSTR key = keys.At(i);
        LPCWSTR value = values.At(i);
        if (!key || !value || IsRestrictedAttribute(provider->attributeLists(), key) ||
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

int RestoreParentFromBackup(Revivo* provider, PropertySet* record) {
    std::u16string section = SectionNameOfTombstone(record->getText(u"distinguishedName"));
    if (section.empty()) return 0;
    LoadAttributeLists(provider->attributeLists());
    std::optional<std::u16string> parent =
        ReadBackupParentPath(provider, record->getText(kRestoreFromFileKey), section);
    if (!parent) return 0;
    std::u16string server(record->getText(u"FocusedDC"));
    // A sibling restored before may have recreated the container already: then it is there
    // to go into, which is what the creation was for.
    if (!CreateContainerPath(server, *parent) && !containerExists(server, *parent)) return 0;
    record->setText(u"lastKnownParent", *parent);
    return 1;
}

}  // namespace revivo
