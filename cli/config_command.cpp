#include "cli/config_command.h"

#include <unistd.h>

#include <iostream>

#include "cli/output_schemas.h"
#include "cli/terminal_text.h"
#include "lumivel/machine_config.h"
#include "lumivel/registry_key.h"
#include "shared/text_helpers.h"

namespace lumivel_cli {

namespace {

// The provider reads its backup folder policy from here (HKEY_CURRENT_USER).
constexpr char16_t kPolicyKey[] = u"Software\\Policies\\Tarvo Software\\Tarvo Lumivel";
constexpr char16_t kFileLocation[] = u"FileLocation";

// The variables that come before the file for a number, where there is one.
const char* environmentOf(std::string_view key) {
    if (key == "LdapConnectTimeout") return "LUMIVEL_LDAP_CONNECT_TIMEOUT";
    if (key == "LdapOperationTimeout") return "LUMIVEL_LDAP_OPERATION_TIMEOUT";
    return nullptr;
}

std::string fileLine(const lumivel::ConfigValue& value) {
    return lumivel::MachineConfigPath() + ":" + std::to_string(value.line);
}

EffectiveSetting backupFolder() {
    lumivel::RegistryKey policy;
    if (policy.open(HKEY_CURRENT_USER, kPolicyKey, KEY_READ) == ERROR_SUCCESS)
        if (std::optional<std::u16string> location = policy.readString(kFileLocation); location && !location->empty())
            return {"BackupFolder", lumivel::shared::NarrowText(*location),
                    "policy HKEY_CURRENT_USER\\" + lumivel::shared::NarrowText(kPolicyKey) + "\\FileLocation"};
    if (std::optional<lumivel::ConfigValue> machine = lumivel::MachineSetting("BackupFolder"); machine && !machine->value.empty())
        return {"BackupFolder", machine->value, fileLine(*machine)};
    return {"BackupFolder", "\\\\DC\\sysvol\\Tarvo Lumivel", "default (DC: the domain controller in use)"};
}

// This program lies beside the provider module, installed as built.
std::string programFolder() {
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size()) return {};
    path.resize(static_cast<size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}

EffectiveSetting restrictedAttributes() {
    const std::string machine = lumivel::MachineConfigFile("Revivo_Config.inf");
    if (!machine.empty()) return {"RestrictedAttributes", machine, "the machine's copy"};
    return {"RestrictedAttributes", programFolder() + "Revivo_Config.inf", "default (the copy beside the modules)"};
}

}  // namespace

std::vector<EffectiveSetting> EffectiveSettings() {
    std::vector<EffectiveSetting> settings;
    for (const lumivel::MachineSettingRow& row : lumivel::MachineSettingRows()) {
        const std::string key = row.key;
        if (key == "BackupFolder") {
            settings.push_back(backupFolder());
        } else if (row.kind == lumivel::SettingKind::Seconds || row.kind == lumivel::SettingKind::Milliseconds) {
            const lumivel::NumberSetting number = lumivel::MachineNumber(key, environmentOf(key));
            settings.push_back({key, std::to_string(number.value), number.origin});
        } else if (std::optional<lumivel::ConfigValue> set = lumivel::MachineSetting(key); set && !set->value.empty()) {
            settings.push_back({key, set->value, fileLine(*set)});
        } else {
            settings.push_back({key, row.defaultValue, "default"});
        }
    }
    settings.push_back(restrictedAttributes());
    return settings;
}

int RunConfig(const Arguments& arguments) {
    // The file's mistakes go first, so that a person sees why a line of it does not count.
    for (const std::string& problem : lumivel::MachineConfig().problems)
        std::cerr << "lumivel: " << TerminalText(problem) << "\n";
    std::vector<Record> records;
    for (const EffectiveSetting& setting : EffectiveSettings())
        records.push_back(Record().set("setting", setting.setting).set("value", setting.value).set("origin", setting.origin));
    std::cout << FormatRecords(kConfigSchema, records, arguments.format);
    std::cout.flush();
    return std::cout.good() ? 0 : 1;
}

}  // namespace lumivel_cli
