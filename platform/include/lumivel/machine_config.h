// The machine's own settings: /etc/lumivel/lumivel.conf, a text file of "Key = value" lines
// that the administrator edits (the package ships it documented, as a conffile). Per-user
// registry values such as the "FileLocation" policy still come first where they exist; this
// file only replaces the built-in defaults, machine-wide.
//
// The folder is $LUMIVEL_CONFIG_DIR when that is an absolute path, else /etc/lumivel; it also
// holds the machine's copy of "Revivo_Config.inf".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"

namespace lumivel {

// Name and NameList values are DNS names (letters, digits, ".", "-", "_"), since they end up
// in DNS queries and host names.
enum class SettingKind { Text, Seconds, Milliseconds, Name, NameList };

struct MachineSettingRow {
    const char* key;           // "BackupFolder"; compared without regard to case
    SettingKind kind;
    const char* defaultValue;  // as the file would say it; empty: none
    const char* help;          // what it does, in lines of at most 80 characters
};

// Every key the file knows, in the order the documentation lists them.
LUMIVEL_EXPORT const std::vector<MachineSettingRow>& MachineSettingRows();

struct ConfigValue {
    std::string key;    // as the table spells it
    std::string value;  // trimmed
    int line = 0;
};

struct ConfigFile {
    std::vector<ConfigValue> values;    // the known keys that were set, the last line of each
    std::vector<std::string> problems;  // "line 3: unknown key 'Foo' (ignored)", one each
};

// Reads the text of the file. Blank lines and lines whose first non-blank character is "#"
// or ";" are comments; everything else is "Key = value" with blanks around either allowed.
// Nothing makes the whole file fail: a line that is too long, holds a control character,
// has no "=", names an unknown key, or gives a value the key cannot take is left out and
// said in the problems; a key set twice takes its last value, and that is said too.
LUMIVEL_EXPORT ConfigFile ParseMachineConfig(std::string_view text);

LUMIVEL_EXPORT std::string MachineConfigFolder();  // without a trailing "/"
LUMIVEL_EXPORT std::string MachineConfigPath();    // the folder and "/lumivel.conf"
// The folder's copy of a file that also ships beside the modules ("Revivo_Config.inf"): its
// path when it is there as a regular file, else empty, and the shipped copy counts.
LUMIVEL_EXPORT std::string MachineConfigFile(std::string_view name);

// The file as read once per process (a missing file is no problem; one that is not a
// regular file, cannot be read, or is larger than a configuration file can be, is one).
LUMIVEL_EXPORT const ConfigFile& MachineConfig();

// The value the file sets for a key of the table, and the line that set it.
LUMIVEL_EXPORT std::optional<ConfigValue> MachineSetting(std::string_view key);

// A Seconds or Milliseconds setting: the environment variable when it names a positive whole
// number (tests and one-off runs), else the file's value, else the table's default.
struct NumberSetting {
    int value = 0;
    std::string origin;  // the variable's name, "FILE:LINE", or "default"
};
LUMIVEL_EXPORT NumberSetting MachineNumber(std::string_view key, const char* environmentVariable);

// A NameList setting split at commas and blanks.
LUMIVEL_EXPORT std::vector<std::string> MachineNameList(std::string_view key);

// Whether the folder belongs to installed software (below /usr), where nothing is written
// while the programs run: the package manager owns it.
LUMIVEL_EXPORT bool IsSoftwareFolder(std::u16string_view folder);

}  // namespace lumivel
