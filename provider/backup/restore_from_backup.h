// Recovering a deleted object's former parent container from a backup archive: the parent's
// DN is read from the object's section in the archive and created again.
#pragma once

#include <optional>
#include <string>

namespace revivo {

class Revivo;

// The DN in the last qualifying "path" line of the section, read from the archive's backup
// member (named like the archive, ".inf"), which is extracted into a private folder that goes
// afterwards. None when there is no archive, member, section or readable "path" line, or when
// "path" is restricted.
std::optional<std::u16string> ReadBackupParentPath(Revivo* provider, std::u16string_view archivePath,
                                                   std::u16string_view section);

}  // namespace revivo
