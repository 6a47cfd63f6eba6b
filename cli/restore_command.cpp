#include "cli/restore_command.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <iostream>
#include <set>

#include "cli/cli_errors.h"
#include "cli/cli_output.h"
#include "cli/domain_listing.h"
#include "cli/restore_plan.h"
#include "cli/terminal_text.h"
#include "shared/text_helpers.h"

namespace lumivel_cli {

namespace {

using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

std::string shown(std::u16string_view text) { return TerminalText(NarrowText(text)); }
std::string shown(const std::string& text) { return TerminalText(text); }

std::u16string guidOf(const PropertySet* tombstone) {
    return lumivel::FoldCase(lumivel::shared::MangledGuidText(tombstone->getText(u"name")));
}

// One tombstone named on the command line or in the --from file.
struct Request {
    std::string given;
    std::u16string guid;  // case-folded; empty when the text names no tombstone
    PropertySet* tombstone = nullptr;
};

struct Outcome {
    bool allRestored = true;
    std::set<std::u16string> restoredGuids;  // case-folded
    bool cacheSpent = false;                 // a restore re-read a tombstone since the last full listing
};

class RestoreRun {
public:
    RestoreRun(ProviderSession& session, const Arguments& arguments, Interaction interaction)
        : m_session(session), m_arguments(arguments), m_interaction(interaction) {}

    int run();

private:
    bool collectRequests();
    void findRequests();
    bool confirmed();
    void restoreOne(Request& request);
    bool refreshListing();
    void reportRestored(const PropertySet* record, const std::u16string& plannedTarget, bool requested,
                        const Transcript& transcript);
    std::string failureReason(const Transcript& transcript, HRESULT result) const;
    void notFound(const Request& request);

    ProviderSession& m_session;
    const Arguments& m_arguments;
    Interaction m_interaction;
    std::vector<Request> m_requests;
    Listing m_listing;
    std::unique_ptr<TombstoneIndex> m_index;
    Outcome m_outcome;
    bool m_adviceGiven = false;
};

void RestoreRun::notFound(const Request& request) {
    m_outcome.allRestored = false;
    if (request.guid.empty()) {
        std::cout << "Not found " << shown(request.given) << ": not a tombstone's DN or GUID\n";
        return;
    }
    std::u16string live = LiveObjectDn(request.guid, m_listing.domain.node->getText(u"FocusedDC"));
    if (!live.empty()) {
        std::cout << "Already restored " << shown(request.given) << ": it is live as " << shown(live) << "\n";
        return;
    }
    std::cout << "Not found " << shown(request.given) << ": no deleted object with GUID " << shown(request.guid)
              << " in the Deleted Objects of " << shown(m_arguments.domain) << "\n";
    if (m_listing.tombstones.records().empty() && !m_adviceGiven) {
        std::cerr << "lumivel: " << EmptyListingAdvice(m_arguments.domain) << "\n";
        m_adviceGiven = true;
    }
}

bool RestoreRun::collectRequests() {
    std::vector<std::string> texts = m_arguments.tombstones;
    if (m_arguments.tombstoneFile) {
        std::vector<std::string> lines;
        if (*m_arguments.tombstoneFile == "-") {
            lines = ReadTombstoneLines(std::cin);
        } else {
            std::ifstream file(*m_arguments.tombstoneFile);
            if (!file) {
                std::cerr << "lumivel: cannot read " << shown(*m_arguments.tombstoneFile) << "\n";
                return false;
            }
            lines = ReadTombstoneLines(file);
        }
        texts.insert(texts.end(), lines.begin(), lines.end());
    }
    if (texts.empty()) {
        std::cerr << "lumivel: no tombstone to restore\n";
        return false;
    }
    for (const std::string& text : texts) {
        std::u16string wide = WidenText(text);
        std::u16string guid = GuidOfTombstoneArgument(wide);
        if (guid.empty())
            if (std::optional<std::string> plain = UnescapeField(text)) guid = GuidOfTombstoneArgument(WidenText(*plain));
        m_requests.push_back(Request{text, lumivel::FoldCase(guid), nullptr});
    }
    return true;
}

void RestoreRun::findRequests() {
    m_index = std::make_unique<TombstoneIndex>(m_listing.tombstones.records());
    std::set<const PropertySet*> seen;
    std::vector<Request> unique;
    for (Request& request : m_requests) {
        request.tombstone = m_index->find(WidenText(request.given));
        if (request.tombstone) request.guid = guidOf(request.tombstone);
        // The same object named twice is restored, and reported, once.
        if (!request.tombstone || seen.insert(request.tombstone).second) unique.push_back(std::move(request));
    }
    m_requests = std::move(unique);
}

bool RestoreRun::refreshListing() {
    std::string error;
    if (!ListAgain(m_session, m_arguments.domain, &m_listing, &error)) {
        std::cerr << "lumivel: " << error << "\n";
        return false;
    }
    m_index = std::make_unique<TombstoneIndex>(m_listing.tombstones.records());
    // The old records are gone: every request is found again in the new listing.
    for (Request& request : m_requests) request.tombstone = request.guid.empty() ? nullptr : m_index->byGuid(request.guid);
    m_outcome.cacheSpent = false;
    return true;
}

bool RestoreRun::confirmed() {
    size_t count = 0;
    for (const Request& request : m_requests) count += request.tombstone ? 1 : 0;
    if (count == 0) return true;  // nothing to confirm: every line is a report already
    if (m_arguments.yes) return true;
    if (m_interaction != Interaction::Terminal) {
        std::cerr << "lumivel: nothing restored: nobody can confirm here (standard input is not a terminal, or "
                     "LUMIVEL_UI=headless); confirm with --yes\n";
        return false;
    }
    std::cerr << "Restore plan:\n";
    for (const Request& request : m_requests) {
        if (!request.tombstone) continue;
        RestorePlan plan = PlanRestore(request.tombstone, *m_index);
        if (!plan.missingParent.empty())
            std::cerr << "  the deleted parent " << shown(plan.missingParent)
                      << " is no longer listed: it is recreated from a backup archive first\n";
        for (const PlannedObject& object : plan.chain) {
            bool parent = object.tombstone != request.tombstone;
            std::cerr << "  " << (parent ? "deleted parent " : "") << shown(PlainName(object.tombstone->getText(u"name")))
                      << " (" << shown(object.tombstone->getText(u"class")) << ")";
            if (object.target.empty())
                std::cerr << " below the recreated parent\n";
            else
                std::cerr << (parent ? " first, as " : " as ") << shown(object.target) << "\n";
        }
    }
    std::cerr << (count == 1 ? "Restore it? [y/N] " : "Restore these " + std::to_string(count) + " objects? [y/N] ")
              << std::flush;
    std::string answer;
    if (std::getline(std::cin, answer) && (answer == "y" || answer == "Y" || answer == "yes")) return true;
    std::cerr << (count == 1 ? "Left alone: the object was not restored.\n"
                             : "Left alone: none of the objects was restored.\n");
    return false;
}

std::string RestoreRun::failureReason(const Transcript& transcript, HRESULT result) const {
    if (transcript.nameUnanswered) {
        std::string taken = transcript.takenName ? shown(*transcript.takenName) : std::string("its name");
        if (m_arguments.newName) return "the name " + taken + " is taken, and so is " + shown(*m_arguments.newName);
        return "the name " + taken + " is taken" +
               (m_interaction == Interaction::Unattended ? "; give another with --new-name NAME" : "");
    }
    if (transcript.archiveUnanswered)
        return "its deleted parent is no longer listed, and no backup archive was chosen to recreate it from "
               "(--from-backup ARCHIVE|latest)";
    // What the provider said last, the reason it gave up.
    for (auto message = transcript.messages.rbegin(); message != transcript.messages.rend(); ++message)
        if (message->rfind("Success:", 0) != 0) return *message;
    return result == S_FALSE ? "the provider did not restore it" : ErrorText(result);
}

void RestoreRun::reportRestored(const PropertySet* record, const std::u16string& plannedTarget, bool requested,
                                const Transcript& transcript) {
    std::u16string guid = guidOf(record);
    m_outcome.restoredGuids.insert(guid);
    std::u16string oldName = PlainName(record->getText(u"name"));
    // Where it really is now, read back by its GUID from the controller that restored it.
    std::u16string dn = LiveObjectDn(guid, record->getText(u"FocusedDC"));
    std::u16string type, name, parent;
    if (dn.empty() || !SplitLeaf(dn, &type, &name, &parent)) {
        std::cout << "Restored " << shown(oldName);
        if (!plannedTarget.empty()) std::cout << " as " << shown(plannedTarget);
        std::cout << " (not yet readable back by its GUID)\n";
        return;
    }
    std::cout << "Restored " << shown(name) << " into " << shown(parent);
    if (name != oldName) {
        std::cout << " (renamed: " << shown(oldName) << " was taken)";
    } else if (requested && m_arguments.newName && !transcript.takenName) {
        std::cout << " (--new-name " << shown(*m_arguments.newName) << " not used: the name was free)";
    }
    std::cout << "\n";
}

void RestoreRun::restoreOne(Request& request) {
    if (!request.guid.empty() && m_outcome.restoredGuids.count(request.guid)) return;  // came back as a parent
    if (m_outcome.cacheSpent && request.tombstone) {
        // The provider forgets the listing once it re-read a tombstone; a deleted parent is
        // found only in a fresh one.
        RestorePlan plan = PlanRestore(request.tombstone, *m_index);
        if (plan.chain.size() > 1) {
            if (!refreshListing()) {
                m_outcome.allRestored = false;
                return;
            }
        }
    }
    if (!request.tombstone) {
        notFound(request);
        return;
    }
    RestorePlan plan = PlanRestore(request.tombstone, *m_index);
    TakeTranscript();
    std::vector<PropertySet*> restored;
    HRESULT result = m_session.restore(nullptr, request.tombstone, &restored);
    Transcript transcript = TakeTranscript();
    if (plan.chain.size() > 1 || !plan.missingParent.empty()) m_outcome.cacheSpent = true;
    for (const PropertySet* record : restored) {
        if (!record) continue;
        std::u16string planned;
        for (const PlannedObject& object : plan.chain)
            if (object.tombstone == record) planned = object.target;
        reportRestored(record, planned, record == request.tombstone, transcript);
    }
    if (result == S_OK) return;
    m_outcome.allRestored = false;
    std::cout << "Not restored " << shown(PlainName(request.tombstone->getText(u"name"))) << ": "
              << shown(failureReason(transcript, result)) << "\n";
}

int RestoreRun::run() {
    if (!collectRequests()) return kExitFailure;
    std::string error;
    if (!ListDomain(m_session, m_arguments.domain, std::nullopt, &m_listing, &error)) {
        std::cerr << "lumivel: " << error << "\n";
        return kExitFailure;
    }
    findRequests();
    if (!confirmed()) return kExitFailure;
    for (Request& request : m_requests) restoreOne(request);
    std::cout.flush();
    return m_outcome.allRestored ? kExitSuccess : kExitFailure;
}

}  // namespace

std::vector<std::string> ReadTombstoneLines(std::istream& input) {
    std::vector<std::string> lines;
    const std::vector<std::string>& headings = FieldNames();
    std::string line;
    while (std::getline(input, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
        if (std::find(headings.begin(), headings.end(), line) != headings.end()) continue;
        // A whole row of `list --format tsv` (fields never hold a raw tab): its tombstone field,
        // so the listing can be piped in as it is.
        if (std::count(line.begin(), line.end(), '\t') + 1 == static_cast<std::ptrdiff_t>(headings.size())) {
            std::string last = line.substr(line.rfind('\t') + 1);
            if (line.rfind(headings[0] + '\t', 0) == 0 && last == headings.back()) continue;  // the heading row
            line = last;
        }
        lines.push_back(line);
    }
    return lines;
}

int RunRestore(ProviderSession& session, const Arguments& arguments, Interaction interaction) {
    return RestoreRun(session, arguments, interaction).run();
}

}  // namespace lumivel_cli
