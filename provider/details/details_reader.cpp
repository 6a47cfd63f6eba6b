#include "provider/details/details_reader.h"

#include <algorithm>

#include "lumivel/com_ptr.h"
#include "lumivel/variant_holder.h"
#include "provider/backup/attribute_lists.h"
#include "provider/backup/backup_listing.h"
#include "provider/details/value_text.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/provider_interfaces.h"
#include "win/adsi.h"
#include "win/errors.h"

namespace revivo {

namespace {

// A directory that answers with more attributes than an object can have is not believed further.
constexpr size_t kMostReadAttributes = 2000;

HRESULT readKept(const DetailsRequest& request, std::vector<KeptAttribute>* kept) {
    // By the GUID of the tombstone's name: no DN to escape, and only that one object matches.
    std::u16string guid = lumivel::shared::TombstoneGuidOfDn(request.distinguishedName);
    if (guid.empty()) return E_INVALIDARG;
    std::u16string server = request.focusedDc;
    if (server.empty()) server = lumivel::shared::DnsNameOfDn(request.distinguishedName);
    lumivel::ComPtr<IDirectorySearch> search;
    HRESULT result = lumivel::shared::BindByGuid(server, guid, IID_IDirectorySearch, search.putVoid(),
                                                 lumivel::shared::BindSpeed::Fast);
    if (FAILED(result)) return result;
    if (!search) return E_FAIL;
    result = lumivel::shared::SetShowDeletedSearch(search.get(), ADS_SCOPE_BASE, 0);
    if (FAILED(result)) return result;
    ADS_SEARCH_HANDLE handle = nullptr;
    result = search->ExecuteSearch(const_cast<LPWSTR>(u"(objectClass=*)"), nullptr, static_cast<DWORD>(-1), &handle);
    if (FAILED(result)) return result;
    result = search->GetNextRow(handle);
    if (result != S_OK) {
        search->CloseSearchHandle(handle);
        return FAILED(result) ? result : HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT);
    }
    LPWSTR name = nullptr;
    while (kept->size() < kMostReadAttributes && search->GetNextColumnName(handle, &name) == S_OK && name) {
        ADS_SEARCH_COLUMN column{};
        if (!lumivel::EqualsNoCase(lumivel::shared::ViewOf(name), u"ADsPath") &&
            SUCCEEDED(search->GetColumn(handle, name, &column))) {
            kept->push_back(KeptAttribute{std::u16string(lumivel::shared::ViewOf(name)), ColumnValueTexts(column),
                                          column.dwNumValues});
            search->FreeColumn(&column);
        }
        FreeADsStr(name);
        name = nullptr;
    }
    search->CloseSearchHandle(handle);
    std::sort(kept->begin(), kept->end(), [](const KeptAttribute& a, const KeptAttribute& b) {
        return lumivel::FoldCase(a.name) < lumivel::FoldCase(b.name);
    });
    return S_OK;
}

std::vector<PropertySet*> listOf(VARIANT* list) {
    return lumivel::shared::ReadObjectList(list, lumivel::shared::ListForm::AnyArray);
}

}  // namespace

bool DetailsRequestOf(const PropertySet* record, DetailsRequest* request) {
    if (!record || record->IsNode) return false;
    request->distinguishedName = record->getText(u"distinguishedName");
    if (lumivel::shared::TombstoneGuidOfDn(request->distinguishedName).empty()) return false;
    request->name = lumivel::shared::PlainTombstoneName(record->getText(u"name"));
    request->className = record->getText(u"class");
    request->focusedDc = record->getText(u"FocusedDC");
    return true;
}

void TakeHoldingArchives(const std::vector<PropertySet*>& listing, TombstoneDetails* details) {
    if (listing.empty() || !listing.front()) return;
    details->backupFolder = listing.front()->getText(kBackupFolderKey);
    for (size_t i = 1; i < listing.size(); ++i) {
        const PropertySet* archive = listing[i];
        if (!archive || archive->getRaw(kHoldsObjectKey) == 0) continue;
        details->archives.push_back(HoldingArchive{std::u16string(archive->getText(u"name")),
                                                   std::u16string(archive->getText(kBackupDateKey)),
                                                   std::u16string(archive->getText(kBackupOriginKey)),
                                                   std::u16string(archive->getText(kArchiveDistrustKey))});
    }
}

TombstoneDetails ReadTombstoneDetails(const DetailsRequest& request) {
    TombstoneDetails details;
    details.name = request.name + (request.className.empty() ? u"" : u" (deleted " + request.className + u")");
    details.keptRead = readKept(request, &details.kept);

    PropertySet* record = PropertySet::create();
    if (!record) {
        details.backupsRead = E_OUTOFMEMORY;
        return details;
    }
    record->setText(u"distinguishedName", request.distinguishedName);
    record->setText(u"FocusedDC", request.focusedDc);
    record->setText(u"class", request.className);
    record->setText(kBackupObjectKey, request.distinguishedName);
    lumivel::VariantHolder listing;
    details.backupsRead = ListBackups(record, listing.get());
    // No backup was ever made there: a folder that is not there yet holds none.
    if (details.backupsRead == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) details.backupsRead = S_OK;
    std::vector<PropertySet*> archives = listOf(listing.get());
    TakeHoldingArchives(archives, &details);
    if (SUCCEEDED(details.backupsRead)) {
        // Lists of its own: the provider's belong to the console's thread.
        AttributeLists lists;
        PlanReapplyOfNewest(record, archives, lists, &details.reapply);
    }
    lumivel::shared::FreeObjectListRecords(listing.get());
    record->release();
    return details;
}

}  // namespace revivo
