#include "cli/cli_arguments.h"

namespace lumivel_cli {

namespace {

struct CommandName {
    const char* word;
    Command command;
    const char* usage;
};

constexpr CommandName kCommands[] = {
    {"domains", Command::Domains,
     "usage: lumivel domains\n"
     "Lists the stored domain nodes: name, domain and focused domain controller.\n"},
    {"connect", Command::Connect,
     "usage: lumivel connect DOMAIN\n"
     "Connects to DOMAIN (a DNS name, a distinguished name or an LDAP:// path) and stores it\n"
     "as a domain node.\n"},
    {"list", Command::List,
     "usage: lumivel list DOMAIN [--filter PREFIX] [--format table|tsv|json]\n"
     "Lists the deleted objects of DOMAIN: name, last known parent, class, date deleted and\n"
     "the tombstone's distinguished name. PREFIX is the beginning of the name (Ann) or an\n"
     "LDAP filter prefix (CN=Ann); a filter the directory refuses is an error.\n"},
    {"restore", Command::Restore,
     "usage: lumivel restore DOMAIN TOMBSTONE [--new-name NAME] [--from-backup ARCHIVE|latest] [--yes]\n"
     "Restores the deleted object whose tombstone DN or GUID is TOMBSTONE, deleted parents\n"
     "first. NAME answers the question for a new name when the old one is taken; --yes\n"
     "skips the confirmation. When a deleted parent is no longer listed, it is recreated\n"
     "from a backup archive that holds the object: ARCHIVE names it (its file name or path in\n"
     "the backup folder), latest takes the newest one. Exits with 0 only when the object was\n"
     "restored.\n"},
    {"backup", Command::Backup,
     "usage: lumivel backup DOMAIN DN... [--server DC]\n"
     "Backs up the objects (each with everything below it) into one archive in the backup\n"
     "folder: the FileLocation policy's folder, else \\\\DC\\sysvol\\Tarvo Lumivel. DC is the\n"
     "domain controller to read from (default: the domain node's, else the domain's).\n"
     "Prints the archive's path; exits with 0 only when the archive reached the folder.\n"},
    {"backups", Command::Backups,
     "usage: lumivel backups DOMAIN [--object GUID|DN] [--server DC]\n"
     "Lists the archives of the backup folder, newest first: file, date (UTC), origin and\n"
     "number of objects; with --object also whether each archive holds that object (its\n"
     "GUID, or the DN of the live object or of its tombstone).\n"},
};

constexpr const char* kProgramUsage =
    "usage: lumivel <command> [arguments]\n"
    "Commands:\n"
    "  domains                      list the stored domain nodes\n"
    "  connect DOMAIN               connect to a domain and store it\n"
    "  list DOMAIN [options]        list a domain's deleted objects\n"
    "  restore DOMAIN TOMBSTONE     restore a deleted object\n"
    "  backup DOMAIN DN...          back up objects into an archive\n"
    "  backups DOMAIN               list the archives of the backup folder\n"
    "Run 'lumivel <command> --help' for the options of a command.\n";

const CommandName* findCommand(const std::string& word) {
    for (const CommandName& entry : kCommands)
        if (word == entry.word) return &entry;
    return nullptr;
}

ParseResult failure(std::string message) { return ParseResult{std::nullopt, std::move(message)}; }

}  // namespace

std::string UsageText(std::optional<Command> topic) {
    if (topic) {
        for (const CommandName& entry : kCommands)
            if (entry.command == *topic) return entry.usage;
    }
    return kProgramUsage;
}

ParseResult ParseArguments(const std::vector<std::string>& words) {
    Arguments arguments;
    if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        if (words.size() >= 2) {
            if (const CommandName* topic = findCommand(words[1])) arguments.helpTopic = topic->command;
        }
        return ParseResult{arguments, {}};
    }
    const CommandName* command = findCommand(words[0]);
    if (!command) return failure("unknown command '" + words[0] + "'");
    arguments.command = command->command;

    std::vector<std::string> positional;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        auto value = [&](const char* option) -> std::optional<std::string> {
            if (i + 1 >= words.size()) return std::nullopt;
            (void)option;
            return words[++i];
        };
        if (word == "--help" || word == "-h") {
            arguments.command = Command::Help;
            arguments.helpTopic = command->command;
            return ParseResult{arguments, {}};
        }
        if (word == "--filter" && command->command == Command::List) {
            arguments.filter = value("--filter");
            if (!arguments.filter) return failure("--filter needs a prefix");
        } else if (word == "--format" && command->command == Command::List) {
            std::optional<std::string> format = value("--format");
            if (format == "table")
                arguments.format = OutputFormat::Table;
            else if (format == "tsv")
                arguments.format = OutputFormat::Tsv;
            else if (format == "json")
                arguments.format = OutputFormat::Json;
            else
                return failure("--format takes table, tsv or json");
        } else if (word == "--new-name" && command->command == Command::Restore) {
            arguments.newName = value("--new-name");
            if (!arguments.newName || arguments.newName->empty()) return failure("--new-name needs a name");
        } else if (word == "--yes" && command->command == Command::Restore) {
            arguments.yes = true;
        } else if (word == "--from-backup" && command->command == Command::Restore) {
            arguments.fromBackup = value("--from-backup");
            if (!arguments.fromBackup || arguments.fromBackup->empty()) return failure("--from-backup needs an archive or latest");
        } else if (word == "--server" && (command->command == Command::Backup || command->command == Command::Backups)) {
            arguments.server = value("--server");
            if (!arguments.server || arguments.server->empty()) return failure("--server needs a domain controller");
        } else if (word == "--object" && command->command == Command::Backups) {
            arguments.object = value("--object");
            if (!arguments.object || arguments.object->empty()) return failure("--object needs a GUID or a DN");
        } else if (word == "--") {
            positional.insert(positional.end(), words.begin() + static_cast<long>(i) + 1, words.end());
            break;
        } else if (word.size() > 1 && word[0] == '-') {
            return failure("unknown option '" + word + "' for " + command->word);
        } else {
            positional.push_back(word);
        }
    }

    if (command->command == Command::Backup) {
        if (positional.size() < 2) return failure("backup takes DOMAIN and at least one DN");
        arguments.domain = positional[0];
        arguments.objects.assign(positional.begin() + 1, positional.end());
        if (arguments.domain.empty()) return failure("DOMAIN must not be empty");
        for (const std::string& dn : arguments.objects)
            if (dn.empty()) return failure("a DN must not be empty");
        return ParseResult{arguments, {}};
    }
    size_t wanted = command->command == Command::Domains ? 0 : command->command == Command::Restore ? 2 : 1;
    if (positional.size() != wanted) {
        return failure(std::string(command->word) + " takes " +
                       (wanted == 0 ? "no arguments" : wanted == 1 ? "one DOMAIN" : "DOMAIN and TOMBSTONE"));
    }
    if (wanted >= 1) arguments.domain = positional[0];
    if (wanted == 2) arguments.tombstone = positional[1];
    if (arguments.domain.empty() && wanted >= 1) return failure("DOMAIN must not be empty");
    if (command->command == Command::Restore && arguments.tombstone.empty()) return failure("TOMBSTONE must not be empty");
    return ParseResult{arguments, {}};
}

}  // namespace lumivel_cli
