// RestoreParentFromBackup: the reanimation's way to a deleted parent that is no longer listed.
#include "lumivel/com_ptr.h"
#include "provider/backup/backup_choice_dialog.h"
#include "provider/backup/backup_parent_path.h"
#include "provider/backup/section_name.h"
#include "provider/restore/reanimation.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

bool containerExists(std::u16string_view server, const std::u16string& dn) {
    ComPtr<IADs> existing;
    return SUCCEEDED(lumivel::shared::BindByDn(server, dn, IID_IADs, existing.putVoid()));
}

}  // namespace

int RestoreParentFromBackup(Revivo* provider, PropertySet* record) {
    std::u16string section = SectionNameOfTombstone(record->getText(u"distinguishedName"));
    if (section.empty()) return 0;
    LoadAttributeLists(provider->attributeLists());
    std::optional<std::u16string> parent =
        ReadBackupParentPath(provider->attributeLists(), record->getText(kRestoreFromFileKey), section);
    if (!parent) return 0;
    std::u16string server(record->getText(u"FocusedDC"));
    // A sibling restored before may have recreated the container already: then it is there
    // to go into, which is what the creation was for.
    if (!CreateContainerPath(server, *parent) && !containerExists(server, *parent)) return 0;
    record->setText(u"lastKnownParent", *parent);
    return 1;
}

}  // namespace revivo
