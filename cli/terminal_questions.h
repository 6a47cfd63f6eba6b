// The questions the provider hands back to the command line (it shows the command line no
// dialog), asked of the person at the terminal when there is one, and the provider's messages
// as the command line prints them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivel_cli {

enum class Interaction {
    Terminal,    // a person at the terminal answers what the arguments leave open
    Unattended,  // --yes, no terminal on standard input, or LUMIVEL_UI=headless
};

// Whether the run may ask the person at the terminal, from its options and environment.
Interaction InteractionFor(bool yes);

// The provider's messages ("Caption: text"), on stderr as they are said; under
// LUMIVEL_UI=headless also to the system log, as the headless user interface sends its boxes.
void PrintProviderMessages(const std::vector<std::u16string>& messages);

// Asks for another name for a restored object whose name is taken; nothing when the person
// leaves it (an empty line, or the end of input).
std::optional<std::u16string> AskNewName(std::u16string_view taken);

// One archive a deleted parent can be recreated from, as the provider lists them.
struct ArchiveChoice {
    std::u16string path, date, origin;
    std::u16string distrust;  // why it is not believed; empty when it is
};

// Asks which archive recreates the deleted parent; its index, or nothing for none.
std::optional<size_t> AskArchive(const std::vector<ArchiveChoice>& archives);

// Asks a yes/no question; true only for y or yes.
bool AskYes(const std::string& prompt);

// Whether the archive answer of --from-backup names this archive file: "latest" is not a
// name; otherwise the answer's last path part, in any letter case.
bool NamesArchive(const std::u16string& wanted, std::u16string_view fileName);

// The file name of an archive's path: what follows its last "/" or "\".
std::u16string_view ArchiveFileName(std::u16string_view path);

}  // namespace lumivel_cli
