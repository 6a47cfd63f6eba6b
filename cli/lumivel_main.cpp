// `lumivel`: the console without arguments; with them, the restore provider for
// administrators on a shell.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>

#include "cli/audit_log_command.h"
#include "cli/cli_arguments.h"
#include "cli/cli_errors.h"
#include "cli/cli_jobs.h"
#include "cli/cli_output.h"
#include "cli/cli_schedule.h"
#include "cli/cli_session.h"
#include "cli/command_records.h"
#include "cli/completion_words.h"
#include "cli/config_command.h"
#include "cli/domain_listing.h"
#include "cli/output_schemas.h"
#include "cli/domain_sites.h"
#include "cli/listing_output.h"
#include "cli/progress.h"
#include "cli/record_output.h"
#include "cli/restore_command.h"
#include "cli/terminal_questions.h"
#include "cli/terminal_text.h"
#include "lumivel/console_launch.h"
#include "lumivel/standard_output.h"
#include "lumivel/trace.h"
#include "lumivel/ui_backend.h"
#include "shared/audit_log.h"
#include "shared/backup_job.h"
#include "shared/directory_operations.h"
#include "shared/provider_interfaces.h"
#include "shared/schedule_check.h"
#include "shared/text_helpers.h"
#include "win/com.h"

using namespace lumivel_cli;
using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The snap-in the console shows: {B979019D-5037-44E0-835B-3CD84BDDA491}.
constexpr CLSID kSnapinClsid = {0xB979019D, 0x5037, 0x44E0, {0x83, 0x5B, 0x3C, 0xD8, 0x4B, 0xDD, 0xA4, 0x91}};

int fail(const std::string& message) {
    std::cerr << "lumivel: " << message << "\n";
    return kExitFailure;
}

std::string shown(std::u16string_view text) { return TerminalText(NarrowText(text)); }

int printed(const std::string& text) {
    std::cout << text;
    std::cout.flush();
    return std::cout.good() ? kExitSuccess : kExitFailure;
}

int runDomains(ProviderSession& session, const Arguments& arguments) {
    RecordList nodes;
    HRESULT result = session.storedNodes(&nodes);
    if (FAILED(result)) return fail("cannot read the stored domains: " + ErrorText(result));
    if (nodes.records().empty()) {
        size_t stored = StoredDomainCount();
        if (stored == 0)
            std::cerr << "lumivel: no domain is stored; store one with lumivel connect DOMAIN\n";
        else
            std::cerr << "lumivel: " << stored << (stored == 1 ? " domain is" : " domains are")
                      << " stored, but none can be bound now (without a Kerberos ticket, get one with kinit first)\n";
    }
    std::vector<Record> records;
    for (const PropertySet* node : nodes.records()) {
        const DomainSites sites = SitesOf(std::u16string(node->getText(u"DomainName")), std::u16string(node->getText(u"FocusedDC")));
        records.push_back(DomainRecord(node, sites));
    }
    return printed(FormatRecords(kDomainsSchema, records, arguments.format));
}

int runConnect(ProviderSession& session, const Arguments& arguments) {
    RecordList added;
    CommandOutcome outcome;
    HRESULT result = session.connect(WidenText(DomainThrough(arguments.domain, arguments.server)), &added, &outcome);
    PrintProviderMessages(outcome.messages);
    if (FAILED(result)) return fail(ExplainedError(result));
    if (added.records().empty()) return fail("not connected to " + TerminalText(arguments.domain));
    std::cout << "Connected to " << shown(added.records()[0]->getText(u"name")) << "\n";
    return kExitSuccess;
}

int runList(ProviderSession& session, const Arguments& arguments) {
    BufferListingOutput();
    Listing listing;
    std::string error;
    ListingPrinter printer(arguments.format, std::cout, arguments.expiringWithin, std::time(nullptr));
    // Output that cannot be written is said once, by main, with the errno of the write.
    auto failed = [&] {
        if (int written = printer.writeError()) {
            errno = written;
            return kExitFailure;
        }
        return fail(TerminalText(error));
    };
    if (arguments.incremental) {
        std::string note;
        if (!ListDomainIncrementally(session, arguments.domain, arguments.server, &listing,
                                     [&](const TombstoneFields& tombstone) { return printer.add(tombstone, &error); },
                                     &error, &note))
            return failed();
        if (arguments.verbose && !note.empty()) std::cerr << "lumivel: " << TerminalText(note) << "\n";
    } else {
        // Rows that stream to the terminal show the listing's progress themselves; a table
        // is written only at the end.
        const ListingProgress progress = arguments.format != OutputFormat::Table && isatty(STDOUT_FILENO) == 1
                                             ? ListingProgress::Hidden
                                             : ListingProgress::Shown;
        // A listing that breaks off after rows were written still fails, and the JSON is left
        // unclosed, so that no script takes it for the whole.
        if (!ListDomainEach(session, arguments.domain, arguments.server, arguments.filter, &listing,
                            [&](PropertySet* record) {
                                const bool added = printer.add(record, &error);
                                record->release();
                                return added ? S_OK : E_FAIL;
                            },
                            progress, &error))
            return failed();
    }
    if (printer.shown() == 0 && !arguments.filter)
        std::cerr << "lumivel: " << TerminalText(EmptyListingAdvice(arguments.domain)) << "\n";
    if (!printer.finish(&error)) return failed();
    // Only a whole listing stands for the domain's tombstones in completion.
    if (!arguments.filter && !arguments.expiringWithin) RememberListing(arguments.domain, printer.guidLines());
    std::cout.flush();
    return std::cout.good() ? kExitSuccess : kExitFailure;
}

// The domain controller a backup command works with: the one asked for, else the stored
// domain node's, else the one that answers for the domain.
std::u16string serverFor(ProviderSession& session, const Arguments& arguments) {
    if (arguments.server) return WidenText(*arguments.server);
    RecordList keep;
    DomainNode domain;
    std::u16string server;
    if (SUCCEEDED(session.resolveDomain(WidenText(arguments.domain), &keep, &domain)))
        server = domain.node->getText(u"FocusedDC");
    if (server.empty() && arguments.domain.find('=') == std::string::npos)
        server = DomainControllerOf(WidenText(arguments.domain));
    return server;
}

int runBackup(ProviderSession& session, const Arguments& arguments) {
    std::u16string server = serverFor(session, arguments);
    if (server.empty())
        return fail("no domain controller of " + TerminalText(arguments.domain) + " answers; name one with --server");
    RecordList records;
    std::vector<PropertySet*> selection;
    for (const std::string& dn : arguments.objects) {
        PropertySet* record = PropertySet::create();
        if (!record) return fail("out of memory");
        records.add(record);
        record->setText(u"path", WidenText(dn));
        record->setText(u"distinguishedName", WidenText(dn));
        record->setText(u"FocusedDC", server);
        selection.push_back(record);
    }
    std::u16string archive;
    HRESULT result;
    CommandOutcome outcome;
    {
        Progress progress("Backing up");
        result = session.backup(selection, &archive, &outcome);
    }
    PrintProviderMessages(outcome.messages);
    if (result != S_OK || archive.empty()) return fail("no backup was stored");
    if (arguments.format == OutputFormat::Table) return printed(shown(archive) + "\n");
    return printed(FormatRecords(kBackupSchema, {BackupRecord(archive, server, arguments.objects)}, arguments.format));
}

int runBackups(ProviderSession& session, const Arguments& arguments) {
    std::u16string server = serverFor(session, arguments);
    std::optional<std::u16string> object;
    if (arguments.object) object = WidenText(*arguments.object);
    BackupListing listing;
    HRESULT result;
    {
        Progress progress("Reading the backup folder");
        result = session.listBackups(server, object, &listing);
    }
    if (FAILED(result) && arguments.object && listing.section.empty())
        return fail("cannot tell the GUID of " + TerminalText(*arguments.object) + ": " + ExplainedError(result));
    if (FAILED(result)) return fail("cannot list " + shown(listing.folder) + ": " + ErrorText(result));
    std::vector<Record> records;
    for (const BackupArchive& archive : listing.archives) records.push_back(BackupArchiveRecord(archive));
    return printed(FormatRecords(kBackupsSchema, records, arguments.format, BackupListingFields(listing, arguments.object)));
}

int runSchedule(ProviderSession& session, const Arguments& arguments, std::u16string& password) {
    const std::string& object = arguments.objects.front();
    // The form's checks first, in the form's words: nothing is asked of the directory for a
    // schedule the form would refuse.
    const std::u16string account = WidenText(arguments.schedule.account);
    if (std::optional<lumivel::shared::ScheduleRefusal> refused =
            lumivel::shared::CheckScheduleEntries(ScheduleEntriesFor(arguments.schedule, account, password))) {
        PrintProviderMessages({std::u16string(refused->caption) + u": " + refused->text});
        return fail("no backup of " + TerminalText(object) + " was scheduled");
    }
    std::u16string server = serverFor(session, arguments);
    if (server.empty()) return fail("no domain controller of " + arguments.domain + " answers; name one with --server");
    const std::u16string dn = WidenText(object);
    const std::u16string guid = GuidOfLiveObject(dn, server);
    if (guid.empty()) return fail("cannot read the object " + TerminalText(object) + " on " + shown(server));
    PropertySet* record = PropertySet::create();
    if (!record) return fail("out of memory");
    RecordList keep;
    keep.add(record);
    record->setText(u"path", dn);
    record->setText(u"distinguishedName", dn);
    record->setText(u"FocusedDC", server);
    record->setText(u"guid", guid);
    bool put = PutScheduleAnswers(arguments.schedule, password, record);
    CommandOutcome outcome;
    HRESULT result = put ? session.schedule(record, &outcome) : E_OUTOFMEMORY;
    lumivel::shared::ForgetPassword(*record);
    PrintProviderMessages(outcome.messages);
    const std::u16string name = lumivel::shared::BackupTaskName(guid);
    JobRow job;
    // A job that was there before is told apart by the provider's refusal to make it again.
    if (result != S_OK || outcome.result != S_OK || FAILED(DescribeJob(name, &job)))
        return fail("no backup of " + TerminalText(object) + " was scheduled");
    if (arguments.format != OutputFormat::Table)
        return printed(FormatRecords(kScheduleSchema, {JobRecord(job)}, arguments.format));
    return printed("Scheduled " + TerminalText(job.name) + ": " + TerminalText(job.schedule) + "; next run " +
                   TerminalText(job.nextRun) + "\n");
}

int runJobs(const Arguments& arguments) {
    const std::u16string name = WidenText(arguments.jobName);
    switch (arguments.jobAction) {
        case JobAction::Delete: {
            HRESULT result = DeleteJob(name);
            std::string problem = lumivel::shared::WriteAudit(lumivel::shared::AuditEntry{
                "unschedule", arguments.jobName, {}, {}, SUCCEEDED(result), FAILED(result) ? ErrorText(result) : ""});
            if (!problem.empty()) std::cerr << "lumivel: the audit log could not be written: " << TerminalText(problem) << "\n";
            if (FAILED(result)) return fail("cannot delete the job " + TerminalText(arguments.jobName) + ": " + ErrorText(result));
            std::cout << "Deleted " << OneLine(name) << "\n";
            return kExitSuccess;
        }
        case JobAction::Run: {
            HRESULT result = RunJob(name);
            std::string problem = lumivel::shared::WriteAudit(lumivel::shared::AuditEntry{
                "run-job", arguments.jobName, {}, {}, SUCCEEDED(result), FAILED(result) ? ErrorText(result) : ""});
            if (!problem.empty()) std::cerr << "lumivel: the audit log could not be written: " << TerminalText(problem) << "\n";
            if (FAILED(result)) return fail("cannot run the job " + TerminalText(arguments.jobName) + ": " + ErrorText(result));
            std::cout << "The scheduler service runs " << OneLine(name) << " now\n";
            return kExitSuccess;
        }
        case JobAction::List: break;
    }
    std::vector<JobRow> rows;
    HRESULT result = ListJobs(&rows);
    if (FAILED(result)) return fail("cannot read the scheduled jobs: " + ErrorText(result));
    std::vector<Record> records;
    for (const JobRow& row : rows) records.push_back(JobRecord(row));
    return printed(FormatRecords(kJobsSchema, records, arguments.format));
}

int runCommand(ProviderSession& session, const Arguments& arguments, Interaction interaction,
               std::u16string& password) {
    switch (arguments.command) {
        case Command::Domains: return runDomains(session, arguments);
        case Command::Connect: return runConnect(session, arguments);
        case Command::List: return runList(session, arguments);
        case Command::Restore: return RunRestore(session, arguments, interaction);
        case Command::Backup: return runBackup(session, arguments);
        case Command::Backups: return runBackups(session, arguments);
        case Command::Schedule: return runSchedule(session, arguments, password);
        case Command::Log:
        case Command::Config:
        case Command::Jobs:
        case Command::Help:
        case Command::Version:
        case Command::Console: break;
    }
    return kExitFailure;
}

int run(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    // Asked by the shell completion scripts; no command of the table, so no help shows it.
    if (!words.empty() && words[0] == "__complete") return RunCompletion({words.begin() + 1, words.end()});
    ParseResult parsed = ParseArguments(words);
    if (!parsed.arguments) {
        parsed.error = TerminalText(parsed.error);
        std::cerr << MistakeText(parsed);
        return kExitUsage;
    }
    const Arguments& arguments = *parsed.arguments;
    if (arguments.verbose) lumivel::EnableTrace();
    if (arguments.command == Command::Help) {
        std::cout << UsageText(arguments.helpTopic);
        return kExitSuccess;
    }
    if (arguments.command == Command::Version) {
        std::cout << VersionText();
        return kExitSuccess;
    }
    if (arguments.command == Command::Console) {
        if (!lumivel::console::ConsoleCanShow()) {
            std::cerr << "lumivel: there is no display to show the console on (DISPLAY and WAYLAND_DISPLAY are "
                         "not set); its work is done on a terminal with a command:\n"
                      << UsageText(std::nullopt);
            return kExitUsage;
        }
        std::string why;
        int status = lumivel::console::LaunchConsole(&kSnapinClsid, &why);
        if (status < 0) {
            std::cerr << "lumivel: " << TerminalText(why) << "\n";
            status = kExitFailure;
        }
        // A domain's fetch may still be running on its worker when the window closes; the
        // process ends here rather than run static destructors under it.
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        _exit(status);
    }

    // The log is a file of this machine: no provider and no directory to read it.
    if (arguments.command == Command::Log) return RunLog(arguments);
    if (arguments.command == Command::Config) return RunConfig(arguments);
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(result)) return fail("cannot start COM: " + ErrorText(result));
    if (arguments.command == Command::Jobs) {
        int status = runJobs(arguments);
        CoUninitialize();
        return status;
    }
    std::u16string password;
    if (arguments.command == Command::Schedule) {
        std::string problem;
        if (!ReadPassword(arguments.schedule, &password, &problem)) {
            CoUninitialize();
            return fail(problem);
        }
    }
    const Interaction interaction = InteractionFor(arguments.yes);
    // The provider asks this program nothing in a window (it hands its questions back), so
    // nothing it shows may wait for one either.
    lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend());

    int status = kExitFailure;
    {
        ProviderSession session;
        result = session.open();
        status = FAILED(result) ? fail(ProviderAdvice(result)) : runCommand(session, arguments, interaction, password);
    }
    Forget(password);
    CoUninitialize();
    return status;
}

}  // namespace

// Output that could not be written (a full disk, a closed pipe) fails the run, whatever the
// command did.
int main(int argc, char** argv) {
    int status = run(argc, argv);
    if (int error = lumivel::FlushStandardOutput()) {
        std::cerr << "lumivel: the output could not be written: " << std::strerror(error) << "\n";
        return kExitFailure;
    }
    return status;
}
