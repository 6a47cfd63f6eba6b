// `lumivel`: the restore provider for administrators on a shell.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "cli/cli_answers.h"
#include "cli/cli_arguments.h"
#include "cli/cli_output.h"
#include "cli/cli_session.h"
#include "lumivel/system_messages.h"
#include "provider/backup/archive_index.h"
#include "provider/backup/backup_folder.h"
#include "shared/text_helpers.h"
#include "win/com.h"
#include "win/errors.h"

using namespace lumivel_cli;
using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

std::string errorText(HRESULT result) {
    std::string text = NarrowText(lumivel::SystemMessageText(static_cast<DWORD>(result)));
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    return text.empty() ? std::string("error ") + code : text + " (" + code + ")";
}

int fail(const std::string& message) {
    std::cerr << "lumivel: " << message << "\n";
    return kExitFailure;
}

// Shows that a long listing is still running, on a terminal only.
class Progress {
public:
    explicit Progress(const char* what) : m_enabled(isatty(STDERR_FILENO) == 1) {
        if (!m_enabled) return;
        std::fprintf(stderr, "%s...", what);
        m_thread = std::thread([this, what] {
            auto start = std::chrono::steady_clock::now();
            while (!m_done.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
                auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
                if (seconds.count() >= 1) std::fprintf(stderr, "\r%s... %llds", what, static_cast<long long>(seconds.count()));
            }
            std::fprintf(stderr, "\r\033[K");
        });
    }
    ~Progress() {
        m_done = true;
        if (m_thread.joinable()) m_thread.join();
    }

private:
    bool m_enabled;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

DeletedRow rowOf(const PropertySet* record) {
    // Without the schema cache there is no friendly class name: the class itself then.
    std::u16string_view className = record->getText(u"FriendlyClassName");
    if (className.empty()) className = record->getText(u"class");
    return DeletedRow{NarrowText(record->getText(u"name")), NarrowText(record->getText(u"Parent")),
                      NarrowText(className), NarrowText(record->getText(u"dateDeleted")),
                      NarrowText(record->getText(u"distinguishedName"))};
}

int runDomains(ProviderSession& session) {
    RecordList nodes;
    HRESULT result = session.storedNodes(&nodes);
    if (FAILED(result)) return fail("cannot read the stored domains: " + errorText(result));
    for (const PropertySet* node : nodes.records()) {
        std::cout << NarrowText(node->getText(u"name")) << "\t" << NarrowText(node->getText(u"DomainName")) << "\t"
                  << NarrowText(node->getText(u"FocusedDC")) << "\n";
    }
    return kExitSuccess;
}

int runConnect(ProviderSession& session, const Arguments& arguments) {
    RecordList added;
    HRESULT result = session.connect(nullptr, &added);
    if (FAILED(result)) return fail(errorText(result));
    if (added.records().empty()) return fail("not connected to " + arguments.domain);
    std::cout << "Connected to " << NarrowText(added.records()[0]->getText(u"name")) << "\n";
    return kExitSuccess;
}

HRESULT listTombstones(ProviderSession& session, const Arguments& arguments, RecordList* keep, RecordList* tombstones) {
    PropertySet* node = session.nodeFor(WidenText(arguments.domain), keep);
    if (!node) return E_OUTOFMEMORY;
    Progress progress("Listing deleted objects");
    return session.list(node, arguments.filter ? FilterPrefixFor(WidenText(*arguments.filter)) : std::u16string(),
                        tombstones);
}

int runList(ProviderSession& session, const Arguments& arguments) {
    RecordList node, tombstones;
    HRESULT result = listTombstones(session, arguments, &node, &tombstones);
    if (FAILED(result)) return fail("cannot list the deleted objects of " + arguments.domain + ": " + errorText(result));
    std::vector<DeletedRow> rows;
    rows.reserve(tombstones.records().size());
    for (const PropertySet* record : tombstones.records()) rows.push_back(rowOf(record));
    std::cout << FormatRows(rows, arguments.format);
    std::cout.flush();
    return std::cout.good() ? kExitSuccess : kExitFailure;
}

bool confirmed(const Arguments& arguments, const PropertySet* tombstone) {
    if (arguments.yes) return true;
    if (isatty(STDIN_FILENO) != 1) return false;
    std::cerr << "Restore " << ReadableName(NarrowText(tombstone->getText(u"name"))) << " into "
              << NarrowText(tombstone->getText(u"lastKnownParent")) << "? [y/N] ";
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

int runRestore(ProviderSession& session, const Arguments& arguments) {
    RecordList node, tombstones;
    HRESULT result = listTombstones(session, arguments, &node, &tombstones);
    if (FAILED(result)) return fail("cannot list the deleted objects of " + arguments.domain + ": " + errorText(result));
    PropertySet* tombstone = FindTombstone(tombstones.records(), WidenText(arguments.tombstone));
    if (!tombstone) return fail("no single deleted object matches " + arguments.tombstone);
    if (!confirmed(arguments, tombstone)) return fail("not restored: confirm with --yes");
    std::vector<PropertySet*> restored;
    result = session.restore(nullptr, tombstone, &restored);
    if (result != S_OK) return fail("the object was not restored");
    for (const PropertySet* record : restored) {
        std::cout << "Restored " << ReadableName(NarrowText(record->getText(u"name"))) << " into "
                  << NarrowText(record->getText(u"lastKnownParent")) << "\n";
    }
    return kExitSuccess;
}

// The domain controller a backup command works with: the one asked for, else the stored
// domain node's, else the one that answers for the domain.
std::u16string serverFor(ProviderSession& session, const Arguments& arguments) {
    if (arguments.server) return WidenText(*arguments.server);
    RecordList keep;
    PropertySet* node = session.nodeFor(WidenText(arguments.domain), &keep);
    std::u16string server = node ? std::u16string(node->getText(u"FocusedDC")) : std::u16string();
    if (server.empty() && arguments.domain.find('=') == std::string::npos)
        server = DomainControllerOf(WidenText(arguments.domain));
    return server;
}

int runBackup(ProviderSession& session, const Arguments& arguments) {
    std::u16string server = serverFor(session, arguments);
    if (server.empty()) return fail("no domain controller of " + arguments.domain + " answers; name one with --server");
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
    {
        Progress progress("Backing up");
        result = session.backup(nullptr, selection, &archive);
    }
    if (result != S_OK || archive.empty()) return fail("no backup was stored");
    std::cout << NarrowText(archive) << "\n";
    return kExitSuccess;
}

// Fields from archives and the directory go onto one line each, control characters and all.
std::string field(std::u16string_view text) {
    std::string out;
    for (char c : NarrowText(text)) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    return out;
}

int runBackups(ProviderSession& session, const Arguments& arguments) {
    std::u16string server = serverFor(session, arguments);
    revivo::BackupFolder folder = revivo::BackupFolderFor(server);
    std::u16string section;
    if (arguments.object) {
        section = SectionOfObject(WidenText(*arguments.object), server);
        if (section.empty()) return fail("cannot tell the GUID of " + *arguments.object);
    }
    revivo::ArchiveIndex index;
    std::vector<revivo::ArchiveSummary> archives;
    DWORD error = ERROR_SUCCESS;
    {
        Progress progress("Reading the backup folder");
        if (!revivo::ListBackupArchives(folder.path, index, &archives, &error))
            return fail("cannot list " + NarrowText(folder.path) + ": " + errorText(HRESULT_FROM_WIN32(error)));
    }
    std::cout << "File\tDate (UTC)\tOrigin\tObjects" << (arguments.object ? "\tHolds object" : "") << "\n";
    for (const revivo::ArchiveSummary& archive : archives) {
        std::cout << field(archive.fileName) << "\t" << field(archive.dateTime) << "\t" << field(archive.origin) << "\t"
                  << (archive.readable ? std::to_string(archive.sections.size()) : std::string("unreadable"));
        if (arguments.object) std::cout << "\t" << (archive.Holds(section) ? "yes" : "no");
        std::cout << "\n";
    }
    std::cout.flush();
    return std::cout.good() ? kExitSuccess : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    ParseResult parsed = ParseArguments(words);
    if (!parsed.arguments) {
        std::cerr << "lumivel: " << parsed.error << "\n" << UsageText(std::nullopt);
        return kExitUsage;
    }
    const Arguments& arguments = *parsed.arguments;
    if (arguments.command == Command::Help) {
        std::cout << UsageText(arguments.helpTopic);
        return kExitSuccess;
    }

    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(result)) return fail("cannot start COM: " + errorText(result));
    Answers answers;
    answers.interactive = isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1;
    if (arguments.command == Command::Connect) answers.connectDomain = WidenText(arguments.domain);
    if (arguments.newName) answers.newName = WidenText(*arguments.newName);
    if (arguments.fromBackup) answers.fromBackup = WidenText(*arguments.fromBackup);
    answers.confirmBackup = arguments.command == Command::Backup;
    std::string problem;
    if (!InstallAnswers(answers, &problem)) return fail(problem);

    int status = kExitFailure;
    {
        ProviderSession session;
        result = session.open();
        if (FAILED(result)) {
            status = fail("the restore provider is not available: " + errorText(result));
        } else {
            switch (arguments.command) {
                case Command::Domains: status = runDomains(session); break;
                case Command::Connect: status = runConnect(session, arguments); break;
                case Command::List: status = runList(session, arguments); break;
                case Command::Restore: status = runRestore(session, arguments); break;
                case Command::Backup: status = runBackup(session, arguments); break;
                case Command::Backups: status = runBackups(session, arguments); break;
                case Command::Help: break;
            }
        }
    }
    CoUninitialize();
    return status;
}
