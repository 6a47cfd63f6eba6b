// How the provider's dialogs and message boxes reach the administrator: through the terminal
// user interface when the administrator is at a terminal and gave no answers in advance;
// otherwise the dialogs are answered from the command line (a question without an answer is
// cancelled) and every message box is printed to stderr.
#pragma once

#include <optional>
#include <string>

namespace lumivel_cli {

struct Answers {
    // Typed into "Connect to" (dialog 201) and confirmed.
    std::optional<std::u16string> connectDomain;
    // Typed into "Name" (dialog 206) when a restored name is taken; without it the question is
    // asked on a terminal, else cancelled.
    std::optional<std::u16string> newName;
    // "Perform Backup" (dialog 109) is confirmed with OK.
    bool confirmBackup = false;
    // "Restore" (dialog 204) answered with the archive of this file name (a path's last part),
    // or with the newest one for "latest"; an archive the list lacks cancels it.
    std::optional<std::u16string> fromBackup;
    bool interactive = false;
};

// Installs the terminal backend and the answers for the rest of the process; false with a
// message when the terminal user interface is not available.
bool InstallAnswers(const Answers& answers, std::string* error);

// Messages shown so far (caption and text), for the exit status and the tests.
int MessagesShown();

}  // namespace lumivel_cli
