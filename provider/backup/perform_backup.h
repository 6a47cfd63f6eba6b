// Command 310, "Generate a backup": the selection backed up at once, or a job that backs it up
// on a schedule. The "Perform Backup" dialog asks which; a record's kPerformBackupKey answers it.
#pragma once

#include <string>
#include <vector>

#include "provider/backup/backup_sources.h"
#include "shared/property_set.h"
#include "win/user.h"

namespace revivo {

// What command 310 hands the dialog, in the order it hands it over.
struct PerformBackupInput {
    BackupSources sources;  // lent by the provider object
    std::u16string server;  // the focused domain controller of the selection
    PropertySet* record = nullptr;  // the first selected object
    std::vector<PropertySet*> selection;
};

// The command on the input: by the first record's kPerformBackupKey when it carries one (S_OK
// when the archive was stored or the job made, else S_FALSE), else through the dialog (S_OK
// when it ended with OK, else S_FALSE); a caller that asked for no dialogs is handed the choice
// back as the question.
HRESULT PerformBackup(HWND parent, PerformBackupInput& input);

// "&Schedule" answered by the schedule keys of a record (kScheduleKey ... kPasswordKey), checked
// as the schedule form checks its fields: true when the job was made. The record keeps the
// password; the caller forgets it.
bool ScheduleBackupWith(HWND owner, PerformBackupInput& input, const PropertySet& answers);

}  // namespace revivo
