// The script a scheduled backup runs: its folder, its name, its text, and the object it backs
// up read back from it.
//
//     Set oObject = CreateObject("RevivoProvider.Revivo")
//
//     If IsObject(oObject) Then
//        oObject.BackupObjects "<distinguished name>"
//     End If
//
// Lines end in CR LF, the last one without; the text is in the ANSI code page. A quote inside
// the name is doubled, as VBScript reads it: a name written as it stands could close the
// string and have the rest of the name run as script under the job's account.
#pragma once

#include <optional>
#include <string>

#include "shared/backup_job.h"
#include "win/types.h"

namespace revivo {

inline constexpr char16_t kScheduledBackupsFolderName[] = u"Scheduled Backups";
// Where "Scheduled Backups" goes instead of beside a module of installed software (below /usr).
inline constexpr char16_t kMachineStateFolder[] = u"/var/lib/lumivel/";

// The folder of the scripts, with its final separator, created when missing: "Scheduled
// Backups" beside the provider module (in kMachineStateFolder when the module is installed
// software) when this account may create files there, else in the
// user's own data folder ($XDG_DATA_HOME/lumivel, by default ~/.local/share/lumivel). A job runs
// whatever its script says, so scripts are kept only where their owner alone may change them,
// never in a cache folder that others may share or that may be emptied. Empty with the Win32
// error in *error when neither can be made.
std::u16string ScheduledBackupsFolder(DWORD* error);

// "BackupObjects (<guid>).vbs".
std::u16string BackupScriptFileName(std::u16string_view guid);

using lumivel::shared::BackupScriptText;

// Writes the script, replacing one of that name whole; a Win32 error code.
DWORD WriteBackupScript(const std::u16string& path, std::u16string_view distinguishedName);

using lumivel::shared::ObjectOfBackupScript;

}  // namespace revivo
