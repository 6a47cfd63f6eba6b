#include "cli/restore_command.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>

#include "cli/cli_errors.h"
#include "cli/cli_output.h"
#include "cli/domain_listing.h"
#include "cli/progress.h"
#include "cli/restore_attempts.h"
#include "cli/restore_preview.h"
#include "cli/restore_report.h"
#include "cli/terminal_text.h"
#include "cli/tombstone_index.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"

namespace lumivel_cli {

namespace {

using lumivel::shared::NarrowText;
using lumivel::shared::PlainTombstoneName;
using lumivel::shared::WidenText;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

std::string shown(std::u16string_view text) { return TerminalText(NarrowText(text)); }
std::string shown(const std::string& text) { return TerminalText(text); }

std::u16string guidOf(const PropertySet* tombstone) {
    return lumivel::FoldCase(lumivel::shared::TombstoneGuid(tombstone->getText(u"name")));
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
};

class RestoreRun {
public:
    RestoreRun(ProviderSession& session, const Arguments& arguments, Interaction interaction)
        : m_session(session), m_arguments(arguments), m_interaction(interaction), m_report(arguments.format) {}

    int run();

private:
    bool collectRequests();
    void findRequests();
    bool confirmed();
    int dryRun();
    int restoreSubtree();
    void reapply(PropertySet* tombstone);
    // The archive --from-backup names for the object; empty with the reason when there is none.
    std::u16string reapplyArchive(PropertySet* tombstone, std::string* reason);
    // Why the restore failed, and, when --from-backup names an archive that cannot be read (it
    // is then never offered, so the provider cannot say it), that it is why.
    std::string failureReason(const RestoreAttempts& attempts, PropertySet* tombstone);
    PreviewReapply planReapply(PropertySet* tombstone);
    // One request's plan for --dry-run; a plan the provider could not make is shown as not found.
    RestorePreview previewOf(const Request& request);
    SensitiveWrites sensitiveWrites() const;
    // Puts --trust-archive on the record, for the provider's own check of the archive.
    void trustNamed(PropertySet* tombstone) const;
    void restoreOne(Request& request);
    void reportRestored(const PropertySet* record, const std::u16string& newDn, bool requested,
                        const CommandOutcome& outcome);
    void notFound(const Request& request);
    // What the command line named the tombstone as.
    std::string requestedText(const PropertySet* record) const;
    int finished(bool succeeded);

    ProviderSession& m_session;
    const Arguments& m_arguments;
    Interaction m_interaction;
    std::vector<Request> m_requests;
    Listing m_listing;
    std::unique_ptr<TombstoneIndex> m_index;
    Outcome m_outcome;
    RestoreReport m_report;
    bool m_adviceGiven = false;
};

void RestoreRun::notFound(const Request& request) {
    m_outcome.allRestored = false;
    if (request.guid.empty()) {
        const std::string reason = "not a tombstone's DN or GUID";
        m_report.add(RestoreRecord("notFound", request.given, {}).set("reason", reason),
                     "Not found " + shown(request.given) + ": " + reason);
        return;
    }
    std::u16string live = LiveObjectDn(request.guid, m_listing.domain.node->getText(u"FocusedDC"));
    const std::string guid = NarrowText(request.guid);
    if (!live.empty()) {
        std::u16string type, name, parent;
        Record record = RestoreRecord("alreadyRestored", request.given, {});
        record.set("guid", guid).set("dn", NarrowText(live));
        if (SplitLeaf(live, &type, &name, &parent)) record.set("name", NarrowText(name)).set("parent", NarrowText(parent));
        m_report.add(std::move(record), "Already restored " + shown(request.given) + ": it is live as " + shown(live));
        return;
    }
    const std::string reason = "no deleted object with GUID " + guid + " in the Deleted Objects of " + m_arguments.domain;
    m_report.add(RestoreRecord("notFound", request.given, {}).set("guid", guid).set("reason", reason),
                 "Not found " + shown(request.given) + ": " + shown(reason));
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
    // The provider's plan, command 315's: the one the restore itself follows.
    std::optional<std::u16string> into;
    if (m_arguments.restoreTo) into = WidenText(*m_arguments.restoreTo);
    for (const Request& request : m_requests) {
        if (!request.tombstone) continue;
        RestorePreview plan;
        HRESULT planned = m_session.planRestore(request.tombstone, &plan, into);
        if (FAILED(planned)) {
            std::cerr << "  " << shown(PlainTombstoneName(request.tombstone->getText(u"name"))) << ": no plan ("
                      << shown(ErrorText(planned)) << ")\n";
            continue;
        }
        if (!plan.missingParent.empty())
            std::cerr << "  the deleted parent " << shown(plan.missingParent)
                      << " is no longer listed: it is recreated from a backup archive first\n";
        for (size_t i = 0; i < plan.objects.size(); ++i) {
            const PreviewObject& object = plan.objects[i];
            bool parent = i + 1 < plan.objects.size();
            std::cerr << "  " << (parent ? "deleted parent " : "")
                      << shown(PlainTombstoneName(WidenText(object.name))) << " ("
                      << shown(object.className) << ")";
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

void RestoreRun::reportRestored(const PropertySet* record, const std::u16string& newDn, bool requested,
                                const CommandOutcome& outcome) {
    std::u16string guid = guidOf(record);
    m_outcome.restoredGuids.insert(guid);
    std::u16string oldName = PlainTombstoneName(record->getText(u"name"));
    const std::string given = requested ? requestedText(record) : std::string();
    Record result = RestoreRecord("restored", given, NarrowText(oldName));
    result.set("guid", NarrowText(guid)).set("tombstone", NarrowText(record->getText(u"distinguishedName")));
    // Where it really is now, read back by its GUID from the controller that restored it.
    std::u16string dn = LiveObjectDn(guid, record->getText(u"FocusedDC"));
    std::u16string type, name, parent;
    if (dn.empty() || !SplitLeaf(dn, &type, &name, &parent)) {
        const std::string note = "not yet readable back by its GUID";
        if (!newDn.empty()) result.set("dn", NarrowText(newDn));
        result.set("reason", note);
        m_report.add(std::move(result), "Restored " + shown(oldName) + (newDn.empty() ? "" : " as " + shown(newDn)) +
                                            " (" + note + ")");
        return;
    }
    result.set("name", NarrowText(name)).set("dn", NarrowText(dn)).set("parent", NarrowText(parent));
    std::string line = "Restored " + shown(name) + " into " + shown(parent);
    if (name != oldName) {
        result.set("renamedFrom", NarrowText(oldName));
        line += " (renamed: " + shown(oldName) + " was taken)";
    } else if (requested && m_arguments.newName && outcome.takenName.empty()) {
        line += " (--new-name " + shown(*m_arguments.newName) + " not used: the name was free)";
    }
    m_report.add(std::move(result), line);
}

std::string RestoreRun::requestedText(const PropertySet* record) const {
    for (const Request& request : m_requests)
        if (request.tombstone == record) return request.given;
    return {};
}

void RestoreRun::restoreOne(Request& request) {
    if (!request.guid.empty() && m_outcome.restoredGuids.count(request.guid)) return;  // came back as a parent
    if (!request.tombstone) {
        notFound(request);
        return;
    }
    RestoreAttempts attempts = RunWithAnswers(
        [&](const RestoreAnswers& answers, std::vector<PropertySet*>* restored, CommandOutcome* outcome) {
            if (!m_arguments.restoreTo) return m_session.restore(request.tombstone, answers, restored, outcome);
            return m_session.restoreTo(request.tombstone, WidenText(*m_arguments.restoreTo), answers, restored,
                                       outcome);
        },
        m_arguments, m_interaction);
    if (attempts.result == S_OK) {
        for (size_t i = 0; i < attempts.restored.size(); ++i)
            reportRestored(attempts.restored[i], attempts.restoredAs[i], attempts.restored[i] == request.tombstone,
                           attempts.last);
        if (m_arguments.reapply) reapply(request.tombstone);
        return;
    }
    m_outcome.allRestored = false;
    const std::string name = NarrowText(PlainTombstoneName(request.tombstone->getText(u"name")));
    const std::string reason = failureReason(attempts, request.tombstone);
    Record record = RestoreRecord("notRestored", request.given, name);
    record.set("guid", NarrowText(request.guid))
        .set("tombstone", NarrowText(request.tombstone->getText(u"distinguishedName")))
        .set("reason", reason);
    m_report.add(std::move(record), "Not restored " + shown(name) + ": " + shown(reason));
}

int RestoreRun::dryRun() {
    std::vector<RestorePreview> previews;
    bool complete = true;
    for (const Request& request : m_requests) {
        previews.push_back(previewOf(request));
        complete = complete && previews.back().found;
    }
    std::cout << FormatPreviews(previews, m_arguments.format);
    std::cout.flush();
    return complete && std::cout.good() ? kExitSuccess : kExitFailure;
}

RestorePreview RestoreRun::previewOf(const Request& request) {
    RestorePreview preview;
    preview.requested = request.given;
    PropertySet* const tombstone = request.tombstone;
    if (!tombstone) return preview;
    const HRESULT result = m_session.planRestore(tombstone, &preview);
    if (FAILED(result)) {
        std::cerr << "lumivel: no plan for " << shown(request.given) << ": " << ErrorText(result) << "\n";
        // Nothing of a plan that failed half-way is shown.
        RestorePreview none;
        none.requested = request.given;
        return none;
    }
    if (preview.found && m_arguments.reapply) preview.reapply = planReapply(tombstone);
    return preview;
}

std::u16string RestoreRun::reapplyArchive(PropertySet* tombstone, std::string* reason) {
    // The archive the question of --from-backup would be answered with.
    BackupListing listing;
    HRESULT listed =
        m_session.listBackups(std::u16string(tombstone->getText(u"FocusedDC")), guidOf(tombstone), &listing);
    if (FAILED(listed)) {
        *reason = "the backup folder cannot be read (" + ErrorText(listed) + ")";
        return {};
    }
    std::u16string wanted = WidenText(*m_arguments.fromBackup);
    const bool latest = lumivel::EqualsNoCase(wanted, u"latest");
    for (const BackupArchive& candidate : listing.archives) {
        if (!candidate.holdsObject || !*candidate.holdsObject) continue;
        if (!latest && !NamesArchive(wanted, candidate.name)) continue;
        bool trusted = candidate.distrust.empty() ||
                       (m_arguments.trustArchive && NamesArchive(WidenText(*m_arguments.trustArchive), candidate.name));
        if (trusted) return candidate.path;
        // The newest that may be believed is "latest"; a named one is refused with its reason.
        if (!latest) {
            *reason = "the archive " + NarrowText(candidate.name) + " is not trusted: " + NarrowText(candidate.distrust) +
                      " (--trust-archive " + NarrowText(candidate.name) + " uses it all the same)";
            return {};
        }
    }
    *reason = "no archive " + *m_arguments.fromBackup + (latest ? " that may be trusted" : "") +
              " in the backup folder holds the object";
    return {};
}

std::string RestoreRun::failureReason(const RestoreAttempts& attempts, PropertySet* tombstone) {
    std::string reason = FailureReason(attempts, m_arguments, m_interaction, tombstone->getText(u"name"));
    if (!m_arguments.fromBackup || lumivel::EqualsNoCase(WidenText(*m_arguments.fromBackup), u"latest")) return reason;
    BackupListing listing;
    if (FAILED(m_session.listBackups(std::u16string(tombstone->getText(u"FocusedDC")), guidOf(tombstone), &listing)))
        return reason;
    for (const BackupArchive& candidate : listing.archives)
        if (candidate.objects < 0 && NamesArchive(WidenText(*m_arguments.fromBackup), candidate.name))
            return reason + "; the archive " + NarrowText(candidate.name) + " that --from-backup names cannot be read" +
                   (candidate.distrust.empty() ? std::string() : ": " + NarrowText(candidate.distrust));
    return reason;
}

void RestoreRun::trustNamed(PropertySet* tombstone) const {
    if (m_arguments.trustArchive)
        tombstone->setText(kTrustArchiveKey, WidenText(*m_arguments.trustArchive));
    else
        tombstone->removeValue(kTrustArchiveKey);
}

SensitiveWrites RestoreRun::sensitiveWrites() const {
    return m_arguments.reapplySensitive ? SensitiveWrites::Consented : SensitiveWrites::Withheld;
}

PreviewReapply RestoreRun::planReapply(PropertySet* tombstone) {
    PreviewReapply plan;
    std::u16string archive = reapplyArchive(tombstone, &plan.reason);
    if (archive.empty()) return plan;
    trustNamed(tombstone);
    std::vector<ReappliedValue> values;
    CommandOutcome said;
    HRESULT result = m_session.reapply(tombstone, archive, ReapplyRun::PlanOnly, sensitiveWrites(), &values, &said);
    if (FAILED(result)) {
        plan.reason = !said.errorText.empty()
                          ? NarrowText(said.errorText)
                          : "the archive or its section for the object cannot be read (" + ErrorText(result) + ")";
        return plan;
    }
    plan.archive = NarrowText(archive);
    for (const ReappliedValue& value : values)
        plan.values.push_back(PreviewValue{NarrowText(value.name), NarrowText(value.outcome), NarrowText(value.error),
                                           value.membership, value.sensitive});
    return plan;
}

void RestoreRun::reapply(PropertySet* tombstone) {
    std::string name = shown(PlainTombstoneName(tombstone->getText(u"name")));
    std::string why;
    std::u16string archive = reapplyArchive(tombstone, &why);
    if (archive.empty()) {
        m_outcome.allRestored = false;
        m_report.reapplyFailed(why, "Not re-applied " + name + ": " + shown(why));
        return;
    }
    trustNamed(tombstone);
    std::vector<ReappliedValue> values;
    CommandOutcome said;
    HRESULT result = m_session.reapply(tombstone, archive, ReapplyRun::Write, sensitiveWrites(), &values, &said);
    PrintProviderMessages(said.messages);
    if (FAILED(result)) {
        m_outcome.allRestored = false;
        // The provider's own words when it said why (an archive refused), else what could not be read.
        const std::string reason =
            !said.errorText.empty()
                ? NarrowText(said.errorText)
                : "the archive, its section for the object or the object cannot be read (" + ErrorText(result) + ")";
        m_report.reapplyFailed(reason, "Not re-applied " + name + ": " + shown(reason));
        return;
    }
    std::string written, details, withheld;
    size_t leftAlone = 0;
    Json handled = Json::array();
    for (const ReappliedValue& value : values) {
        handled.push_back({{"name", NarrowText(value.name)},
                           {"outcome", NarrowText(value.outcome)},
                           {"error", NarrowText(value.error)},
                           {"membership", value.membership},
                           {"sensitive", value.sensitive}});
        if (value.outcome == u"LeftAlone") {
            ++leftAlone;
        } else if (value.outcome == u"Withheld") {
            withheld += "  withheld " + std::string(value.membership ? "membership of " : "") + shown(value.name) +
                        ": " + shown(value.error) + "\n";
        } else if (value.outcome == u"Written") {
            if (value.membership)
                details += "  member of " + shown(value.name) + " again\n";
            else
                written += (written.empty() ? "" : ", ") + shown(value.name);
        } else if (value.membership && value.outcome == u"AlreadyMember") {
            details += "  member of " + shown(value.name) + " already\n";
        } else if (value.membership && value.outcome == u"Gone") {
            details += "  not added to " + shown(value.name) + ": the group is gone\n";
        } else {
            details += (value.membership ? "  not added to " : "  refused ") + shown(value.name) + ": " +
                       shown(value.error) + "\n";
        }
    }
    m_report.addReapplied(std::move(handled),
                          "Re-applied to " + name + ": " +
                              (written.empty() ? std::string("nothing written") : "written " + written) + "; " +
                              std::to_string(leftAlone) + " left alone (restricted, set by the restore, or not writable)\n" +
                              details +
                              (withheld.empty() ? std::string()
                                                : withheld + "  (what was withheld is written only with --reapply-sensitive)\n"));
    if (result != S_OK) m_outcome.allRestored = false;
}

int RestoreRun::restoreSubtree() {
    const Request& request = m_requests.front();
    if (!request.tombstone) {
        notFound(request);
        return finished(false);
    }
    std::string name = shown(PlainTombstoneName(request.tombstone->getText(u"name")));
    if (!m_arguments.yes) {
        if (m_interaction != Interaction::Terminal) {
            std::cerr << "lumivel: nothing restored: nobody can confirm here (standard input is not a terminal, or "
                         "LUMIVEL_UI=headless); confirm with --yes\n";
            return kExitFailure;
        }
        std::cerr << "Restore " << name << " and every deleted object below it? [y/N] " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer) || !(answer == "y" || answer == "Y" || answer == "yes")) {
            std::cerr << "Left alone: nothing was restored.\n";
            return kExitFailure;
        }
    }
    std::vector<SubtreeObject> objects;
    RestoreAttempts attempts;
    {
        Progress progress("Restoring the subtree");
        attempts = RunWithAnswers(
            [&](const RestoreAnswers& answers, std::vector<PropertySet*>*, CommandOutcome* outcome) {
                objects.clear();
                return m_session.restoreSubtree(request.tombstone, m_arguments.keepGoing, answers, &objects, outcome);
            },
            m_arguments, m_interaction);
    }
    HRESULT result = attempts.result;
    std::u16string_view tombstoneName = request.tombstone->getText(u"name");
    if (FAILED(result) || objects.empty()) {
        const std::string reason = failureReason(attempts, request.tombstone);
        Record record = RestoreRecord("notRestored", request.given, NarrowText(PlainTombstoneName(tombstoneName)));
        record.set("guid", NarrowText(request.guid))
            .set("tombstone", NarrowText(request.tombstone->getText(u"distinguishedName")))
            .set("reason", reason);
        m_report.add(std::move(record), "Not restored " + name + ": " + shown(reason));
        return finished(false);
    }
    size_t restored = 0;
    for (const SubtreeObject& object : objects) {
        std::u16string type, newName, parent;
        const std::string plainText = NarrowText(PlainTombstoneName(object.name));
        const std::string plain = shown(plainText);
        const bool container = object.tombstone == request.tombstone->getText(u"distinguishedName");
        auto recordOf = [&](const char* outcome) {
            Record record = RestoreRecord(outcome, container ? request.given : std::string(), plainText);
            record.set("guid", NarrowText(lumivel::FoldCase(lumivel::shared::TombstoneGuid(object.name))))
                .set("tombstone", NarrowText(object.tombstone));
            return record;
        };
        if (object.outcome == u"Restored") {
            ++restored;
            Record record = recordOf("restored");
            if (!object.target.empty() && SplitLeaf(object.target, &type, &newName, &parent)) {
                record.set("name", NarrowText(newName)).set("dn", NarrowText(object.target)).set("parent", NarrowText(parent));
                if (newName != PlainTombstoneName(object.name)) record.set("renamedFrom", plainText);
                m_report.add(std::move(record), "Restored " + shown(newName) + " into " + shown(parent));
            } else {
                record.set("reason", "its new name cannot be read back");
                m_report.add(std::move(record), "Restored " + plain + " (its new name cannot be read back)");
            }
        } else if (object.outcome == u"Failed") {
            // The container itself failed as a single restore does: the provider said why.
            std::string reason =
                container ? FailureReason(attempts, m_arguments, m_interaction, tombstoneName) : NarrowText(object.error);
            m_report.add(recordOf("notRestored").set("reason", reason), "Not restored " + plain + ": " + shown(reason));
        } else {
            m_report.add(recordOf("notAttempted").set("reason", NarrowText(object.error)),
                         "Not attempted " + plain + ": " + shown(object.error));
        }
    }
    m_report.note(std::to_string(restored) + " of " + std::to_string(objects.size()) + " objects restored");
    return finished(result == S_OK && restored == objects.size());
}

int RestoreRun::finished(bool succeeded) {
    return m_report.finish() && succeeded ? kExitSuccess : kExitFailure;
}

int RestoreRun::run() {
    if (!collectRequests()) return kExitFailure;
    std::string error;
    if (!ListDomain(m_session, m_arguments.domain, m_arguments.server, std::nullopt, &m_listing, &error)) {
        std::cerr << "lumivel: " << error << "\n";
        return kExitFailure;
    }
    findRequests();
    if (m_arguments.dryRun) return dryRun();
    if (m_arguments.subtree) return restoreSubtree();
    if (!confirmed()) return kExitFailure;
    for (Request& request : m_requests) restoreOne(request);
    return finished(m_outcome.allRestored);
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
        // so the listing can be piped in as it is. Rows of listings from before the expiry
        // fields end with the tombstone.
        auto fieldCount = std::count(line.begin(), line.end(), '\t') + 1;
        if (fieldCount == static_cast<std::ptrdiff_t>(headings.size()) ||
            fieldCount == static_cast<std::ptrdiff_t>(kTombstoneField + 1)) {
            std::vector<std::string> fields;
            for (size_t start = 0;;) {
                size_t tab = line.find('\t', start);
                fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
                if (tab == std::string::npos) break;
                start = tab + 1;
            }
            if (fields[0] == headings[0] && fields[kTombstoneField] == headings[kTombstoneField]) continue;  // heading
            line = fields[kTombstoneField];
        }
        lines.push_back(line);
    }
    return lines;
}

int RunRestore(ProviderSession& session, const Arguments& arguments, Interaction interaction) {
    return RestoreRun(session, arguments, interaction).run();
}

}  // namespace lumivel_cli
