// The former parent of an object as its backup recorded it: the "path" line of its section.
#pragma once

#include <optional>
#include <string>

namespace revivo {

class AttributeLists;

// The DN in the last qualifying "path" line of the section, read from the archive's backup
// member (named like the archive, ".inf"), which is extracted into a private folder that goes
// afterwards. None when there is no archive, member, section or readable "path" line, or when
// "path" is restricted in the provider's lists; *why (when given) says so when the member was
// refused for its size.
std::optional<std::u16string> ReadBackupParentPath(AttributeLists& lists, std::u16string_view archivePath,
                                                   std::u16string_view section, std::u16string* why = nullptr);

}  // namespace revivo
