#include "provider/backup/backup_listing.h"

#include <vector>

#include "lumivel/com_ptr.h"
#include "lumivel/unique_bstr.h"
#include "provider/backup/archive_index.h"
#include "provider/backup/archive_trust.h"
#include "provider/backup/backup_folder.h"
#include "provider/backup/section_name.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/provider_interfaces.h"

namespace revivo {

namespace {

// Records made for the caller, freed here unless they were handed over.
class RecordBatch {
public:
    ~RecordBatch() {
        for (PropertySet* record : m_records) record->release();
    }
    PropertySet* add() {
        PropertySet* record = PropertySet::create();
        if (record) m_records.push_back(record);
        return record;
    }
    HRESULT handOver(VARIANT* list) {
        if (!list) return S_OK;
        HRESULT result = lumivel::shared::BuildObjectList(m_records, list);
        if (SUCCEEDED(result)) m_records.clear();
        return result;
    }

private:
    std::vector<PropertySet*> m_records;
};

}  // namespace

std::u16string SectionOfObject(std::u16string_view object, std::u16string_view server, HRESULT* result) {
    *result = S_OK;
    if (IsSectionName(object)) return std::u16string(object);
    std::u16string section = SectionNameOfGuidText(object);
    if (section.empty()) section = SectionNameOfTombstone(object);
    if (!section.empty()) return section;
    if (object.find(u'=') == std::u16string_view::npos) {
        *result = E_INVALIDARG;
        return {};
    }
    lumivel::ComPtr<IADs> live;
    lumivel::UniqueBstr guid;
    *result = lumivel::shared::BindByDn(server, object, IID_IADs, live.putVoid());
    if (SUCCEEDED(*result)) *result = live->get_GUID(guid.put());
    if (FAILED(*result)) return {};
    return std::u16string(guid.view());
}

HRESULT ListBackups(const PropertySet* request, VARIANT* result) {
    std::u16string server(request->getText(u"FocusedDC"));
    BackupFolder folder = BackupFolderFor(server);
    RecordBatch records;
    PropertySet* header = records.add();
    if (!header) return E_OUTOFMEMORY;
    header->setText(kBackupFolderKey, folder.path);

    bool checking = request->has(kBackupObjectKey);
    std::u16string section;
    HRESULT status = S_OK;
    if (checking) section = SectionOfObject(request->getText(kBackupObjectKey), server, &status);
    if (!section.empty()) header->setText(kBackupSectionKey, section);

    std::vector<ArchiveSummary> archives;
    if (SUCCEEDED(status)) {
        ArchiveIndex index;
        DWORD error = ERROR_SUCCESS;
        if (!ListBackupArchives(folder.path, index, &archives, &error)) status = HRESULT_FROM_WIN32(error);
    }
    ArchiveTrust trust(server);
    for (const ArchiveSummary& archive : archives) {
        PropertySet* record = records.add();
        if (!record) return E_OUTOFMEMORY;
        record->setText(u"name", archive.fileName);
        record->setText(u"path", archive.path);
        record->setText(kBackupDateKey, archive.dateTime);
        record->setText(kBackupOriginKey, archive.origin);
        record->setInt(kObjectCountKey, archive.readable ? static_cast<LONG>(archive.sections.size()) : -1);
        if (checking) record->setInt(kHoldsObjectKey, archive.Holds(section) ? 1 : 0);
        std::u16string why = trust.Distrust(archive);
        if (why.empty() && !archive.readable) why = WhyArchiveIsUnreadable(archive.path);
        if (!why.empty()) record->setText(kArchiveDistrustKey, why);
    }
    HRESULT handed = records.handOver(result);
    return FAILED(status) ? status : handed;
}

}  // namespace revivo
