#include "lumivel/machine_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "lumivel/trace.h"

namespace lumivel {

namespace {

constexpr size_t kLongestLine = 4096;
// A configuration file of a few keys; anything larger is not one.
constexpr size_t kLargestFile = 1 << 20;
constexpr long kLargestNumber = 24 * 3600 * 1000L;

using K = SettingKind;

const std::vector<MachineSettingRow> kRows = {
    {"BackupFolder", K::Text, "",
     "The folder backups go into on this machine, for users without their own\n"
     "FileLocation policy (which still comes first). A local path or a share\n"
     "(\\\\server\\share\\folder). Empty: the folder \"Tarvo Lumivel\" on the sysvol\n"
     "share of the domain controller in use."},
    {"PreferredDomainControllers", K::NameList, "",
     "DNS names of the domain controllers to try first, in this order, when they\n"
     "serve the domain in question; separated by commas or blanks. Before the DCs\n"
     "of this machine's site and the domain's others."},
    {"Site", K::Name, "",
     "This machine's site, instead of asking a domain controller for it; \"none\"\n"
     "never asks and keeps the domain's own order of DCs."},
    {"SitePingTimeout", K::Milliseconds, "1500",
     "How long to wait for domain controllers to say this machine's site, in\n"
     "milliseconds."},
    {"LdapConnectTimeout", K::Seconds, "10",
     "How long to wait for a domain controller to accept a connection and the\n"
     "Kerberos bind, in seconds ($LUMIVEL_LDAP_CONNECT_TIMEOUT comes first)."},
    {"LdapOperationTimeout", K::Seconds, "120",
     "How long one LDAP search or change may take, in seconds\n"
     "($LUMIVEL_LDAP_OPERATION_TIMEOUT comes first)."},
};

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

const MachineSettingRow* rowOf(std::string_view key) {
    for (const MachineSettingRow& row : kRows)
        if (equalsNoCase(row.key, key)) return &row;
    return nullptr;
}

// A positive whole number of at most a day (in the unit's terms, bounded either way).
std::optional<int> positiveNumber(std::string_view text) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    const long value = std::strtol(std::string(text).c_str(), nullptr, 10);
    if (value <= 0 || value > kLargestNumber) return std::nullopt;
    return static_cast<int>(value);
}

// Why the value does not suit the key; empty when it does.
std::string valueProblem(const MachineSettingRow& row, std::string_view value) {
    switch (row.kind) {
        case K::Seconds:
            return positiveNumber(value) && *positiveNumber(value) <= 86400 ? "" : "a number of seconds (1 to 86400)";
        case K::Milliseconds: return positiveNumber(value) ? "" : "a number of milliseconds (1 to 86400000)";
        case K::Name:
            for (unsigned char c : value)
                if (!std::isalnum(c) && c != '.' && c != '-' && c != '_') return "one name (letters, digits, '.', '-', '_')";
            return {};
        case K::NameList:
            for (unsigned char c : value)
                if (!std::isalnum(c) && c != '.' && c != '-' && c != '_' && c != ',' && c != ' ' && c != '\t')
                    return "DNS names separated by commas or blanks";
            return {};
        case K::Text: return {};
    }
    return {};
}

std::string lineText(int number) { return "line " + std::to_string(number) + ": "; }

// Whatever is wrong with reading the file, as one problem; the text itself on success.
std::string readFile(const std::string& path, std::string* text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? std::string() : path + ": " + std::strerror(errno);
    struct stat status {};
    std::string problem;
    if (::fstat(fd, &status) != 0) problem = path + ": " + std::strerror(errno);
    else if (!S_ISREG(status.st_mode)) problem = path + ": not a regular file (ignored)";
    else if (static_cast<size_t>(status.st_size) > kLargestFile) problem = path + ": larger than 1 MiB (ignored)";
    char buffer[8192];
    while (problem.empty()) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) problem = path + ": " + std::strerror(errno);
        if (got <= 0) break;
        text->append(buffer, static_cast<size_t>(got));
        // The file may have grown since it was measured.
        if (text->size() > kLargestFile) problem = path + ": larger than 1 MiB (ignored)";
    }
    ::close(fd);
    if (!problem.empty()) text->clear();
    return problem;
}

}  // namespace

const std::vector<MachineSettingRow>& MachineSettingRows() { return kRows; }

ConfigFile ParseMachineConfig(std::string_view text) {
    ConfigFile file;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > kLongestLine) {
            file.problems.push_back(lineText(number) + "longer than " + std::to_string(kLongestLine) +
                                    " characters (ignored)");
            continue;
        }
        if (std::any_of(line.begin(), line.end(), [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; })) {
            file.problems.push_back(lineText(number) + "holds a control character (ignored)");
            continue;
        }
        line = trimmed(line);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            file.problems.push_back(lineText(number) + "not \"Key = value\" (ignored)");
            continue;
        }
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        const MachineSettingRow* row = rowOf(key);
        if (!row) {
            // Cut, so that a line of garbage makes a problem of one line.
            file.problems.push_back(lineText(number) + "unknown key '" + std::string(key.substr(0, 64)) + "' (ignored)");
            continue;
        }
        if (std::string problem = valueProblem(*row, value); !problem.empty() && !value.empty()) {
            file.problems.push_back(lineText(number) + row->key + " takes " + problem + " (ignored)");
            continue;
        }
        auto previous = std::find_if(file.values.begin(), file.values.end(),
                                     [&](const ConfigValue& v) { return v.key == row->key; });
        if (previous != file.values.end()) {
            file.problems.push_back(lineText(number) + row->key + " is set again; line " +
                                    std::to_string(previous->line) + " no longer counts");
            file.values.erase(previous);
        }
        file.values.push_back(ConfigValue{row->key, std::string(value), number});
    }
    return file;
}

std::string MachineConfigFolder() {
    const char* folder = std::getenv("LUMIVEL_CONFIG_DIR");
    std::string path = folder && folder[0] == '/' ? folder : "/etc/lumivel";
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string MachineConfigPath() { return MachineConfigFolder() + "/lumivel.conf"; }

std::string MachineConfigFile(std::string_view name) {
    const std::string path = MachineConfigFolder() + "/" + std::string(name);
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) ? path : std::string();
}

const ConfigFile& MachineConfig() {
    static const ConfigFile file = [] {
        const std::string path = MachineConfigPath();
        std::string text;
        const std::string problem = readFile(path, &text);
        ConfigFile parsed = ParseMachineConfig(text);
        for (std::string& p : parsed.problems) p = path + ": " + p;
        if (!problem.empty()) parsed.problems.insert(parsed.problems.begin(), problem);
        for (const std::string& p : parsed.problems) Trace("config", p);
        return parsed;
    }();
    return file;
}

std::optional<ConfigValue> MachineSetting(std::string_view key) {
    for (const ConfigValue& value : MachineConfig().values)
        if (equalsNoCase(value.key, key)) return value;
    return std::nullopt;
}

NumberSetting MachineNumber(std::string_view key, const char* environmentVariable) {
    if (environmentVariable) {
        const char* text = std::getenv(environmentVariable);
        if (text)
            if (std::optional<int> value = positiveNumber(trimmed(text))) return NumberSetting{*value, environmentVariable};
    }
    if (std::optional<ConfigValue> set = MachineSetting(key); set && !set->value.empty())
        if (std::optional<int> value = positiveNumber(set->value))
            return NumberSetting{*value, MachineConfigPath() + ":" + std::to_string(set->line)};
    const MachineSettingRow* row = rowOf(key);
    const std::optional<int> fallback = row ? positiveNumber(row->defaultValue) : std::nullopt;
    return NumberSetting{fallback.value_or(0), "default"};
}

std::vector<std::string> MachineNameList(std::string_view key) {
    std::vector<std::string> names;
    const std::optional<ConfigValue> set = MachineSetting(key);
    if (!set) return names;
    std::string current;
    for (const char c : set->value + ",") {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!current.empty()) names.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return names;
}

bool IsSoftwareFolder(std::u16string_view folder) { return folder.rfind(u"/usr/", 0) == 0; }

}  // namespace lumivel
