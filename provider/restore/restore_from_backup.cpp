// RestoreParentFromBackup: the reanimation's way to a deleted parent that is no longer listed.
#include <algorithm>

#include "lumivel/com_ptr.h"
#include "provider/backup/backup_choice_dialog.h"
#include "provider/backup/archive_trust.h"
#include "provider/backup/backup_parent_path.h"
#include "provider/backup/section_name.h"
#include "provider/common/command_report.h"
#include "provider/restore/reanimation.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/text_list.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

bool containerExists(std::u16string_view server, const std::u16string& dn) {
    ComPtr<IADs> existing;
    return SUCCEEDED(lumivel::shared::BindByDn(server, dn, IID_IADs, existing.putVoid()));
}

}  // namespace

int RestoreParentFromBackup(Revivo* provider, HWND parent, PropertySet* record, std::u16string* refusal) {
    if (refusal) refusal->clear();
    // Said here: the reanimation's own message cannot tell the administrator why. Over the
    // restore's window, which a restore on a worker needs to have it shown on the UI's thread.
    auto refuse = [&](HRESULT error, const std::u16string& why) {
        if (refusal) *refusal = why;
        ShowFailure(parent, error, why, u"Restore Object", MB_OK | MB_ICONSTOP);
        return 0;
    };
    std::u16string section = SectionNameOfTombstone(record->getText(u"distinguishedName"));
    if (section.empty()) return 0;
    LoadAttributeLists(provider->attributeLists());
    std::u16string archive(record->getText(kRestoreFromFileKey));
    if (archive.empty()) return 0;
    if (!TrustNamedArchive(record, archive)) {
        ArchiveTrust trust(std::u16string(record->getText(u"FocusedDC")));
        if (std::u16string why = trust.DistrustOfPath(archive); !why.empty())
            return refuse(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED),
                          u"The backup archive " + archive + u" is not used: " + why + u".");
    }
    std::u16string refused;
    std::optional<std::u16string> parentPath =
        ReadBackupParentPath(provider->attributeLists(), record->getText(kRestoreFromFileKey), section, &refused);
    if (!parentPath) return refused.empty() ? 0 : refuse(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE), refused);
    // Wherever the archive says the object was, it is recreated only in its own domain; the
    // server's contexts say which names below it belong to another one.
    std::u16string server(record->getText(u"FocusedDC"));
    std::vector<std::u16string> contexts = NamingContextsOf(server);
    if (contexts.empty())
        return refuse(HRESULT_FROM_WIN32(ERROR_DS_NAMING_VIOLATION),
                      u"The naming contexts of " + server + u" cannot be read: the backup's parent path " + *parentPath +
                          u" is not used.");
    if (std::u16string outside = ParentOutsideNamingContext(record->getText(u"distinguishedName"), *parentPath, contexts);
        !outside.empty())
        return refuse(HRESULT_FROM_WIN32(ERROR_DS_NAMING_VIOLATION), outside);
    // Which of the containers are missing, so that the audit says what the archive made.
    std::u16string context = lumivel::shared::NamingContextOfTombstone(record->getText(u"distinguishedName"));
    // Bounded as the creation is: the path comes from a file anyone may have written.
    std::vector<std::u16string> missing;
    for (std::u16string dn = *parentPath; missing.size() < kMaxCreatedLevels && dn.size() > context.size() &&
                                      !containerExists(server, dn);) {
        missing.push_back(dn);
        std::u16string relativeName, above;
        if (!lumivel::shared::SplitDistinguishedName(dn, &relativeName, &above)) break;
        dn = std::move(above);
    }
    std::reverse(missing.begin(), missing.end());
    // A sibling restored before may have recreated the container already: then it is there
    // to go into, which is what the creation was for.
    if (!CreateContainerPath(server, *parentPath) && !containerExists(server, *parentPath)) return 0;
    record->setText(u"lastKnownParent", *parentPath);
    std::vector<std::u16string> created;
    for (const std::u16string& dn : missing)
        if (containerExists(server, dn)) created.push_back(dn);
    lumivel::shared::SetTextList(record, kRecoveredContainersKey, created);
    return 1;
}

}  // namespace revivo
