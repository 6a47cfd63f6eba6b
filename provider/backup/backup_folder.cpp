#include "provider/backup/backup_folder.h"

#include "lumivel/machine_config.h"
#include "lumivel/registry_key.h"
#include "shared/text_helpers.h"

namespace revivo {

namespace {

bool isUnc(std::u16string_view path) {
    return path.size() >= 2 && (path[0] == u'\\' || path[0] == u'/') && (path[1] == u'\\' || path[1] == u'/');
}

}  // namespace

BackupFolder BackupFolderFor(std::u16string_view server) {
    lumivel::RegistryKey policy;
    policy.create(HKEY_CURRENT_USER, kBackupPolicyKey, KEY_READ);
    std::optional<std::u16string> location = policy ? policy.readString(kFileLocationValue) : std::nullopt;
    // The machine's folder stands for users whom no policy names one.
    if (!location || location->empty())
        if (std::optional<lumivel::ConfigValue> machine = lumivel::MachineSetting("BackupFolder"))
            location = lumivel::shared::WidenText(machine->value);
    if (location && !location->empty()) {
        if (location->back() != u'\\' && location->back() != u'/') location->push_back(isUnc(*location) ? u'\\' : u'/');
        return BackupFolder{*location, false};
    }
    return BackupFolder{u"\\\\" + std::u16string(server) + u"\\sysvol\\Tarvo Lumivel\\", true};
}

std::u16string ArchivePath(const BackupFolder& folder, std::u16string_view guidText) {
    return folder.path + std::u16string(guidText) + u".zip";
}

}  // namespace revivo
