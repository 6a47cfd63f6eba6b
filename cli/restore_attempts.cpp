#include "cli/restore_attempts.h"

#include <iostream>
#include <optional>

#include "cli/terminal_text.h"
#include "shared/directory_operations.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"

namespace lumivel_cli {

namespace {

using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;

constexpr int kMostRuns = 16;

std::string shown(std::u16string_view text) { return TerminalText(NarrowText(text)); }
std::string shown(const std::string& text) { return TerminalText(text); }

// The value of a DN's first relative name, as dialog 206 shows it.
std::u16string leafName(const std::u16string& dn) {
    std::u16string type, value, parent;
    return SplitLeaf(dn, &type, &value, &parent) ? value : dn;
}

class Answerer {
public:
    Answerer(const Arguments& arguments, Interaction interaction)
        : m_arguments(arguments), m_interaction(interaction) {}

    // Answers the question a run ended in; false when it cannot be (the run's failure stands).
    bool answer(const CommandOutcome& outcome, RestoreAnswers* answers, RestoreAttempts* attempts) const {
        if (outcome.asks(kNewNameKey)) return answerName(outcome, answers, attempts);
        if (outcome.asks(kRestoreFromFileKey) && !answers->restoreFromFile)
            return answerArchive(outcome, answers, attempts);
        return false;
    }

private:
    bool answerName(const CommandOutcome& outcome, RestoreAnswers* answers, RestoreAttempts* attempts) const {
        std::u16string taken = leafName(outcome.takenName);
        if (m_arguments.newName) {
            // The name given was used and is taken as well: asking again would not help.
            std::cerr << "Name: " << shown(*m_arguments.newName) << " is taken too\n";
        } else if (m_interaction == Interaction::Terminal) {
            if (std::optional<std::u16string> typed = AskNewName(taken)) {
                answers->newName = *typed;
                return true;
            }
        } else {
            std::cerr << "Name: " << shown(taken) << " is taken; give another with --new-name NAME\n";
        }
        attempts->nameUnanswered = true;
        return false;
    }

    bool answerArchive(const CommandOutcome& outcome, RestoreAnswers* answers, RestoreAttempts* attempts) const {
        std::optional<size_t> chosen;
        if (m_arguments.fromBackup) {
            // "latest" is the first: the provider lists the archives newest first.
            std::u16string wanted = WidenText(*m_arguments.fromBackup);
            bool latest = lumivel::EqualsNoCase(wanted, u"latest");
            // "latest" is the newest archive that may be believed, or one --trust-archive names.
            for (size_t i = 0; i < outcome.archives.size() && !chosen; ++i) {
                const ArchiveChoice& archive = outcome.archives[i];
                bool named = NamesArchive(wanted, ArchiveFileName(archive.path));
                if (latest && !archive.distrust.empty() && !trusted(archive)) {
                    std::cerr << "Restore: passing over " << shown(ArchiveFileName(archive.path))
                              << ", not trusted: " << shown(archive.distrust) << "\n";
                    continue;
                }
                if (latest || named) chosen = i;
            }
            if (!chosen)
                std::cerr << "Restore: no archive " << shown(*m_arguments.fromBackup)
                          << (latest ? " that may be trusted" : "") << " in the backup folder holds the object\n";
        } else if (m_interaction == Interaction::Terminal) {
            chosen = AskArchive(outcome.archives);
        } else {
            std::cerr << "Restore: the deleted parent is no longer listed; name a backup archive to recreate it "
                         "from with --from-backup ARCHIVE|latest\n";
        }
        if (chosen && !outcome.archives[*chosen].distrust.empty() && !trusted(outcome.archives[*chosen])) {
            const ArchiveChoice& archive = outcome.archives[*chosen];
            std::cerr << "Restore: the archive " << shown(ArchiveFileName(archive.path))
                      << " is not trusted: " << shown(archive.distrust) << "\n";
            if (m_interaction == Interaction::Terminal && AskYes("Use it all the same? [y/N] ")) {
                answers->trustArchive = archive.path;
            } else {
                std::cerr << "Restore: name it with --trust-archive to use it all the same\n";
                chosen.reset();
            }
        }
        if (!chosen) {
            attempts->archiveUnanswered = true;
            return false;
        }
        answers->restoreFromFile = outcome.archives[*chosen].path;
        return true;
    }

    bool trusted(const ArchiveChoice& archive) const {
        return m_arguments.trustArchive && NamesArchive(WidenText(*m_arguments.trustArchive), ArchiveFileName(archive.path));
    }

    const Arguments& m_arguments;
    Interaction m_interaction;
};

}  // namespace

RestoreAttempts RunWithAnswers(const RestoreRunner& run, const Arguments& arguments, Interaction interaction) {
    Answerer answerer(arguments, interaction);
    RestoreAttempts attempts;
    RestoreAnswers answers;
    if (arguments.newName) answers.newName = WidenText(*arguments.newName);
    if (arguments.trustArchive) answers.trustArchive = WidenText(*arguments.trustArchive);
    for (int round = 0; round < kMostRuns; ++round) {
        std::vector<PropertySet*> restored;
        attempts.result = run(answers, &restored, &attempts.last);
        attempts.restored.insert(attempts.restored.end(), restored.begin(), restored.end());
        const std::vector<std::u16string>& dns = attempts.last.restoredAs;
        attempts.restoredAs.insert(attempts.restoredAs.end(), dns.begin(), dns.end());
        attempts.restoredAs.resize(attempts.restored.size());
        bool archiveAsked = attempts.last.asks(kRestoreFromFileKey) && !answers.restoreFromFile;
        if (attempts.result == S_OK || !answerer.answer(attempts.last, &answers, &attempts)) break;
        if (!archiveAsked) PrintProviderMessages(attempts.last.messages);
        attempts.last.messages.clear();
    }
    PrintProviderMessages(attempts.last.messages);
    return attempts;
}

std::string FailureReason(const RestoreAttempts& attempts, const Arguments& arguments, Interaction interaction,
                          std::u16string_view tombstoneName) {
    const CommandOutcome& outcome = attempts.last;
    if (attempts.nameUnanswered) {
        if (arguments.newName)
            return "the name " + shown(lumivel::shared::PlainTombstoneName(tombstoneName)) + " is taken, and so is " +
                   shown(*arguments.newName);
        return "the name " + shown(leafName(outcome.takenName)) + " is taken" +
               (interaction == Interaction::Unattended ? "; give another with --new-name NAME" : "");
    }
    if (attempts.archiveUnanswered)
        return "its deleted parent is no longer listed, and no backup archive was chosen to recreate it from "
               "(--from-backup ARCHIVE|latest)";
    // The provider's own words, as the box that says why shows them.
    std::string said = outcome.failureLine();
    return said.empty() ? std::string("the provider did not restore it") : said;
}

}  // namespace lumivel_cli
