// A backup run: every object of the list into one backup file, packed into an archive named
// by a fresh GUID, moved into the backup folder.
#pragma once

#include <string>
#include <vector>

#include "provider/backup/object_sections.h"
#include "shared/property_set.h"
#include "shared/provider_interfaces.h"
#include "win/winerror.h"

namespace revivo {

// The record key that receives the archive's full path once it is in the backup folder; its
// callers read it too, so it is declared with the provider's interfaces.
using ::kBackupArchiveKey;

struct BackupRun {
    enum class Outcome {
        NothingToBackUp,  // an empty list
        Stored,           // the archive reached the backup folder
        Failed,           // no archive: the backup file or the archive could not be made
        FolderNotCreated, // the sysvol folder could not be created
        NotMoved,         // the archive could not be moved into the folder
    };
    Outcome outcome = Outcome::NothingToBackUp;
    DWORD error = ERROR_SUCCESS;  // a Win32 error or an HRESULT, for the system's text
    std::u16string archivePath;   // where the archive went (or was to go)
    size_t sections = 0;
};

// The run as the dialog, BackupObjects and the command line start it. With an owner window
// the outcome is shown in message boxes; without one only failures are reported, to stderr
// and the system log, so that a scheduled job never waits for a button nobody presses.
// On success every record of the list gets the archive's path under kBackupArchiveKey.
BackupRun RunBackup(const BackupSources& sources, HWND owner, std::u16string_view server, const std::vector<PropertySet*>& objects,
                    SubtreeReading reading = SubtreeReading::Batched);

// The same with the result callers see: 1 when the backup folder could not be created, else 0.
int BackupToArchive(const BackupSources& sources, HWND owner, std::u16string_view server, const std::vector<PropertySet*>& objects);

// The caption of the message that says why a run failed.
LPCWSTR BackupFailureCaption(BackupRun::Outcome outcome);

// Shown or logged: with a window a message box (owned as given), without one a line on stderr
// and an entry in the system log.
void ReportBackupMessage(HWND window, bool windowless, LPCWSTR caption, std::u16string_view text, UINT style);

}  // namespace revivo
