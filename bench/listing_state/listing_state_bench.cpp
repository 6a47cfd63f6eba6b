// The command line's per-row work at the size of a large domain, with no directory: N
// generated tombstones (default 100,000; a few carry hostile text) saved as `list
// --incremental` saves them and read back, and printed as a table, TSV and JSON to a file
// of our own, from the state as read back. Then `list --incremental`'s own work, unchanged and
// after 100 changes: the state read, its overdue tombstones found, the changes laid over it, the
// state saved again when something changed, the rows printed as a table and as JSON through the
// standard output (to /dev/null) and their GUIDs kept for completion. Prints the time of each step,
// the CPU time of each incremental listing (each in a process of its own), and the state file's size.
//
//   build/bin/listing_state_bench [records]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/completion_words.h"
#include "cli/domain_listing.h"
#include "cli/listing_output.h"
#include "cli/listing_state.h"
#include "lumivel/temporary_file.h"
#include "shared/directory_operations.h"
#include "shared/listing_changes.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"

using namespace lumivel_cli;
using lumivel::shared::WidenText;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::vector<PropertySet*> generated(size_t count) {
    std::vector<PropertySet*> records;
    records.reserve(count);
    char guid[64];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(guid, sizeof guid, "%08zx-1c2d-4e5f-8a9b-%012zx", i, i * 7919);
        std::string name = "Bulk Contact " + std::to_string(i);
        if (i % 1000 == 7) name = "Pat (Ops)\t*lead*\x1b[31m \xe2\x80\xae Ж中𝄞";
        const std::string parent = "OU=Bulk Tombstones,DC=lumivel,DC=test";
        PropertySet* record = PropertySet::create();
        record->setText(u"name", WidenText(name + "\nDEL:" + guid));
        record->setText(u"distinguishedName",
                        WidenText("CN=" + name + "\\0ADEL:" + guid + ",CN=Deleted Objects,DC=lumivel,DC=test"));
        record->setText(u"lastKnownParent", WidenText(parent));
        record->setText(u"Parent", WidenText(parent));
        record->setText(u"class", u"contact");
        record->setText(u"FriendlyClassName", u"Contact");
        record->setText(u"dateDeleted", u"2026-12-01 10:00:00");
        record->setText(kDateDeletedUtcKey, u"2026-12-01T10:00:00Z");
        record->setText(kExpiresKey, u"2027-05-30 10:00:00");
        record->setText(kExpiresUtcKey, u"2027-05-30T10:00:00Z");
        record->setText(u"FocusedDC", u"dc1.lumivel.test");
        records.push_back(record);
    }
    return records;
}

double cpuSeconds() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// As command 322 answers after changes: a third of them new tombstones, a third listed ones
// changed, a third listed ones gone.
std::vector<PropertySet*> changesOver(const std::vector<TombstoneFields>& listed, size_t count) {
    std::vector<PropertySet*> changes;
    char guid[64];
    for (size_t i = 0; i < count; ++i) {
        PropertySet* change = PropertySet::create();
        const TombstoneFields& model = listed[(i * 997) % listed.size()];
        if (i % 3 == 2) {
            change->setInt(kSyncLeftKey, 1);
            change->setText(u"guid", WidenText(model[kFieldGuid]));
        } else {
            change->setText(u"Parent", WidenText(model[kFieldParent]));
            change->setText(u"class", WidenText(model[kFieldClass]));
            change->setText(u"dateDeleted", WidenText(model[kFieldDateDeleted]));
            change->setText(kDateDeletedUtcKey, WidenText(model[kFieldDeletedUtc]));
            change->setText(kExpiresKey, WidenText(model[kFieldExpires]));
            change->setText(kExpiresUtcKey, WidenText(model[kFieldExpiresUtc]));
            std::string name(model[kFieldTombstoneName]);
            if (i % 3 == 0) {
                std::snprintf(guid, sizeof guid, "ffffffff-0000-4000-8000-%012zx", i);
                name = "New Contact " + std::to_string(i) + "\nDEL:" + guid;
            }
            change->setText(u"name", WidenText(name));
            change->setText(u"distinguishedName", WidenText("CN=" + name + ",CN=Deleted Objects,DC=lumivel,DC=test"));
        }
        changes.push_back(change);
    }
    return changes;
}

// `list --incremental` past its answer from the directory, as ListDomainIncrementally runs it.
bool incremental(const std::string& path, const std::vector<PropertySet*>& changes, OutputFormat format,
                 std::string* why) {
    ListingState saved;
    if (!ReadListingState(path, "lumivel.test", &saved, why)) return false;
    const std::time_t now = std::time(nullptr);
    if (OverdueTombstones(saved.tombstones, now).size() > saved.tombstones.size()) return false;
    std::vector<TombstoneFields> tombstones;
    tombstones.swap(saved.tombstones);
    ApplyTombstoneChanges(&tombstones, &saved.owned, changes);
    if (!changes.empty()) {
        ListingState next;
        next.server = saved.server;
        next.cookie = saved.cookie;
        next.wholeReadAt = saved.wholeReadAt;
        if (!WriteListingState(path + ".next", "lumivel.test", next, tombstones)) return false;
    }
    ListingPrinter printer(format, std::cout, std::nullopt, now);
    for (const TombstoneFields& tombstone : tombstones)
        if (!printer.add(tombstone, why)) return false;
    if (!printer.finish(why)) return false;
    RememberListing("lumivel.test", printer.guidLines());
    std::cout.flush();
    return std::cout.good();
}

// One incremental listing of the state at path, after changed changes, its rows to the
// standard output; its times to the descriptor shown.
int incrementalRun(const std::string& path, size_t changed, OutputFormat format, int shown) {
    std::string why;
    ListingState listed;
    if (!ReadListingState(path, "lumivel.test", &listed, &why) || listed.tombstones.empty()) {
        std::fprintf(stderr, "listing_state_bench: the state cannot be read: %s\n", why.c_str());
        return 1;
    }
    std::vector<PropertySet*> changes = changesOver(listed.tombstones, changed);
    listed = ListingState();
    BufferListingOutput();
    const auto start = Clock::now();
    const double cpu = cpuSeconds();
    const bool done = incremental(path, changes, format, &why);
    const double wall = since(start), used = cpuSeconds() - cpu;
    for (PropertySet* change : changes) change->release();
    if (!done) {
        std::fprintf(stderr, "listing_state_bench: the incremental listing failed: %s\n", why.c_str());
        return 1;
    }
    ::dprintf(shown, "list --incremental after %zu changes, %s: %.3f s (CPU %.3f s)\n", changed,
                 format == OutputFormat::Table ? "table" : "JSON", wall, used);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--incremental")
        return incrementalRun(argv[2], std::strtoul(argv[3], nullptr, 10),
                              std::string(argv[4]) == "json" ? OutputFormat::Json : OutputFormat::Table,
                              std::atoi(argv[5]));
    const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    std::unique_ptr<lumivel::PrivateTempDirectory> folder = lumivel::PrivateTempDirectory::Create(u"lumivel-listing-bench-");
    if (!folder) {
        std::fprintf(stderr, "listing_state_bench: no private folder\n");
        return 1;
    }
    const std::string base = lumivel::shared::NarrowText(folder->Path());
    const std::string path = base + "state/lumivel/listings/lumivel.test";
    std::vector<PropertySet*> records = generated(count);
    ListingState state;
    state.server = u"dc1.lumivel.test";
    state.cookie = std::u16string(2000, u'a');
    state.wholeReadAt = 1;

    auto start = Clock::now();
    std::vector<OwnedTombstoneFields> owned;
    owned.reserve(records.size());
    std::vector<TombstoneFields> fields;
    for (const PropertySet* record : records) {
        owned.push_back(TombstoneFieldsOf(record));
        fields.push_back(ViewsOf(owned.back()));
    }
    const double taken = since(start);
    start = Clock::now();
    if (!WriteListingState(path, "lumivel.test", state, fields)) {
        std::fprintf(stderr, "listing_state_bench: the state cannot be written\n");
        return 1;
    }
    const double written = since(start);
    struct stat info {};
    ::stat(path.c_str(), &info);
    std::string why;
    ListingState back;
    start = Clock::now();
    if (!ReadListingState(path, "lumivel.test", &back, &why) || back.tombstones.size() != count) {
        std::fprintf(stderr, "listing_state_bench: the state cannot be read back: %s\n", why.c_str());
        return 1;
    }
    const double read = since(start);
    std::printf("%zu records to their fields in %.3f s; state (%lld bytes) written in %.3f s, read in %.3f s\n",
                count, taken, static_cast<long long>(info.st_size), written, read);

    for (OutputFormat format : {OutputFormat::Table, OutputFormat::Tsv, OutputFormat::Json}) {
        std::ofstream out(base + "rows");
        start = Clock::now();
        ListingPrinter printer(format, out, std::nullopt, 0);
        for (const TombstoneFields& tombstone : back.tombstones)
            if (!printer.add(tombstone, &why)) return 1;
        if (!printer.finish(&why)) return 1;
        const char* name = format == OutputFormat::Table ? "table" : format == OutputFormat::Tsv ? "TSV" : "JSON";
        std::printf("rows printed as %s in %.3f s\n", name, since(start));
    }

    // Each incremental listing in a process of its own, as the command runs: a heap grown by
    // the steps above would hide what a fresh one costs.
    ::setenv("XDG_CACHE_HOME", (base + "cache").c_str(), 1);
    for (const char* changed : {"0", "100"})
        for (const char* format : {"table", "json"}) {
            std::fflush(stdout);
            const pid_t child = ::fork();
            if (child == 0) {
                const int shown = ::dup(STDOUT_FILENO);
                const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
                if (shown < 0 || null < 0 || ::dup2(null, STDOUT_FILENO) < 0) ::_exit(1);
                ::execl("/proc/self/exe", argv[0], "--incremental", path.c_str(), changed, format,
                        std::to_string(shown).c_str(), nullptr);
                ::_exit(1);
            }
            int status = 0;
            if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                std::fprintf(stderr, "listing_state_bench: the incremental listing failed\n");
                return 1;
            }
        }
    for (PropertySet* record : records) record->release();
    return 0;
}
