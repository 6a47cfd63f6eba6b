// A restore run as often as its questions take. The provider hands back what it would ask in a
// dialog (a name that is taken, the archive to recreate a deleted parent from); the command line
// answers from its arguments or asks at the terminal, and runs the command again with the answer.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/cli_arguments.h"
#include "cli/cli_session.h"
#include "cli/terminal_questions.h"

namespace lumivel_cli {

// How one restore ended, over every run it took.
struct RestoreAttempts {
    HRESULT result = E_FAIL;
    CommandOutcome last;
    std::vector<PropertySet*> restored;      // of every run, in order; the caller's own records
    std::vector<std::u16string> restoredAs;  // the DN each of them got, where the provider said
    bool nameUnanswered = false;             // a taken name nobody could replace
    bool archiveUnanswered = false;          // the choice of a backup archive nobody could make
};

// One run of the restore command with the answers given so far.
using RestoreRunner =
    std::function<HRESULT(const RestoreAnswers& answers, std::vector<PropertySet*>* restored, CommandOutcome* outcome)>;

// Runs it until it succeeds or ends in no question the arguments or the person can answer. The
// provider's messages are printed as each run ends, but not those of a run that went on without
// the archive it asked for and failed when an archive was then chosen: the answer avoids that
// failure. A person typing taken names one after another is stopped after a while.
RestoreAttempts RunWithAnswers(const RestoreRunner& run, const Arguments& arguments, Interaction interaction);

// Why the restore of the object (its tombstone name) did not happen, in one line.
std::string FailureReason(const RestoreAttempts& attempts, const Arguments& arguments, Interaction interaction,
                          std::u16string_view tombstoneName);

}  // namespace lumivel_cli
