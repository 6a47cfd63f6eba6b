// Where backup archives go: the "FileLocation" policy value when it is set, else the machine's
// BackupFolder (lumivel.conf), else the folder "Tarvo Lumivel" on the sysvol share of the
// domain controller in use.
#pragma once

#include <string>
#include <string_view>

namespace revivo {

inline constexpr char16_t kBackupPolicyKey[] = u"Software\\Policies\\Tarvo Software\\Tarvo Lumivel";
inline constexpr char16_t kFileLocationValue[] = u"FileLocation";

struct BackupFolder {
    std::u16string path;  // ends in a separator
    // The sysvol default, whose last level the writer creates; a policy folder is used as it is.
    bool onSysvol = false;
};

// HKEY_CURRENT_USER's policy value first (the key is created when missing); a folder without
// a trailing separator gets one: "\" on a UNC path, "/" on a local one.
BackupFolder BackupFolderFor(std::u16string_view server);

// The archive's name and full path: the folder, the GUID text and ".zip".
std::u16string ArchivePath(const BackupFolder& folder, std::u16string_view guidText);

}  // namespace revivo
