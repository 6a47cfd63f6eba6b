// How the provider's dialogs and message boxes reach the administrator. Every one of them
// passes the command line's UI hook: a dialog is answered from the arguments, or asked on the
// terminal when the run is interactive, or else cancelled with a line that says which option
// would have answered it; a message box is printed to stderr and never waits for a key
// unless it offers a real choice to a person at the terminal.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_arguments.h"

namespace lumivel_cli {

enum class Interaction {
    Terminal,    // a person at the terminal answers what the arguments leave open
    Unattended,  // --yes, no terminal on standard input, or LUMIVEL_UI=headless
};

struct Answers {
    // Typed into "Connect to" (dialog 201) and confirmed.
    std::optional<std::u16string> connectDomain;
    // Typed into "Name" (dialog 206) when a restored name is taken, once per operation.
    std::optional<std::u16string> newName;
    // "Perform Backup" (dialog 109) is confirmed with OK.
    bool confirmBackup = false;
    // "Restore" (dialog 204) answered with the archive of this file name (a path's last part),
    // or with the newest one for "latest"; an archive the list lacks cancels it.
    std::optional<std::u16string> fromBackup;
    // "Perform Backup" answered with "&Schedule", and the schedule form filled with these.
    std::optional<ScheduleRequest> schedule;
    std::shared_ptr<const std::u16string> password;
    Interaction interaction = Interaction::Unattended;
    // Message boxes also go to the system log, as the headless user interface sends them.
    bool headless = false;
};

// What the provider asked and said during one operation, for the operation's report.
struct Transcript {
    std::vector<std::string> messages;  // "Caption: text", as printed
    // The name the Name dialog showed as taken (the first time), and what answered it.
    std::optional<std::u16string> takenName;
    std::optional<std::u16string> typedName;
    bool nameUnanswered = false;  // a taken name nobody could replace
    bool archiveUnanswered = false;  // the choice of a backup archive nobody could make
    std::optional<std::u16string> archiveChosen;
};

// Installs the hook and the headless backend for the rest of the process.
void InstallAnswers(const Answers& answers);

// Starts a new operation: the transcript so far is handed back and emptied, and --new-name
// may answer once more.
Transcript TakeTranscript();

// Whether the run may ask the person at the terminal, from its options and environment.
Interaction InteractionFor(bool yes);

// Whether the archive answer of --from-backup names this archive file: "latest" is not a
// name; otherwise the answer's last path part, in any letter case.
bool NamesArchive(const std::u16string& wanted, std::u16string_view fileName);

}  // namespace lumivel_cli
