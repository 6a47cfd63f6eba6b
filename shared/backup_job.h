// A scheduled backup as the provider makes it and the command line reads it back: the work
// item's name and the text of the script the item runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "win/mstask.h"

namespace lumivel::shared {

// The work item's name for an object: "BackupObjects (" + guid + ")".
std::u16string BackupTaskName(std::u16string_view guid);

// The script that backs the object up, in the ANSI code page with CR LF between its lines.
// Quotes in the name are doubled, so that the name stays one string.
std::string BackupScriptText(std::u16string_view distinguishedName);

// The distinguished name a script of ours backs up; none for any other text.
std::optional<std::u16string> ObjectOfBackupScript(std::string_view text);

// The distinguished name the work item's script backs up (the script is its one parameter,
// quoted, and read only up to a size no script of ours reaches); none when the item runs
// anything else or the script cannot be read.
std::optional<std::u16string> ObjectOfBackupTask(ITask* task);

}  // namespace lumivel::shared
