// The listing and the restore at the size of a large domain: the command line's listing beside
// ldapsearch doing the same search, the provider's own memory per tombstone once the receiver
// has freed its records, and restores among all those tombstones (a leaf, and a child whose
// deleted parent comes back first). Prints each figure beside its target. With one run on the
// seeded domain it takes seconds, which is how the suite keeps it working. Then `list
// --incremental`: its first, whole read, a refresh of the unchanged domain, and one after as
// many changes (contacts made and deleted), each checked against a whole listing.
//
// Run inside the test directory after adding the tombstones, for example:
//   tests/testdc/testdc bulk 100000
//   tests/testdc/testdc exec build/bin/domain_load_bench [runs [changes]]
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/common/shell_command.h"
#include "bench/common/timed_process.h"
#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }
size_t heapInUse() { return mallinfo2().uordblks; }

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string binaryFolder() { return std::filesystem::canonical("/proc/self/exe").parent_path().string(); }

bool ldapModify(const std::string& server, const std::string& ldif) {
    std::string command = "ldapmodify -Q -Y GSSAPI -N -O minssf=56 -H ldap://" + server + " >/dev/null 2>&1";
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe) return false;
    fwrite(ldif.data(), 1, ldif.size(), pipe);
    return pclose(pipe) == 0;
}

bool add(const std::string& server, const std::string& dn, const std::string& objectClass) {
    std::string ldif = "dn: " + dn + "\nchangetype: add\nobjectClass: " + objectClass + "\n";
    if (objectClass == "user") ldif += "sAMAccountName: lb" + dn.substr(3, 10) + "\n";
    return ldapModify(server, ldif + "\n");
}

bool remove(const std::string& server, const std::string& dn) {
    return ldapModify(server, "dn: " + dn + "\nchangetype: delete\n\n");
}

PropertySet* find(const std::vector<PropertySet*>& records, const std::string& name) {
    const std::u16string wanted = lumivel::shared::WidenText(name);
    for (PropertySet* record : records)
        if (!lumivel::shared::TombstoneGuid(record->getText(u"name")).empty() &&
            lumivel::shared::PlainTombstoneName(record->getText(u"name")) == wanted)
            return record;
    return nullptr;
}

// Command 311 on the record: the seconds it took, negative when it failed.
double timeRestore(IProviderCommands* commands, PropertySet* record) {
    VARIANT selection, result;
    VariantInit(&selection);
    VariantInit(&result);
    lumivel::shared::RecordToVariant(record, &selection);
    auto start = Clock::now();
    HRESULT status = commands->ExecuteCommand(nullptr, 1, ID_RESTORE, &selection, &result);
    double elapsed = seconds(Clock::now() - start);
    std::vector<PropertySet*> answer = lumivel::shared::ReadObjectList(&result);
    if (!answer.empty()) answer[0]->release();
    VariantClear(&result);
    return status == S_OK ? elapsed : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int changes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
    const std::string server = environment("TESTDC_DC"), baseDn = environment("TESTDC_BASEDN"),
                      domain = environment("TESTDC_DOMAIN");
    if (server.empty() || baseDn.empty() || domain.empty()) {
        std::fprintf(stderr, "domain_load_bench: run inside the test directory (testdc exec)\n");
        return 1;
    }
    // The command line finds the provider through a registry of its own, and no display.
    char folder[] = "/tmp/domain-load-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    setenv("LUMIVEL_MACHINE_HIVE", (std::string(folder) + "/machine.hive").c_str(), 1);
    setenv("LUMIVEL_USER_HIVE", (std::string(folder) + "/user.hive").c_str(), 1);
    setenv("LUMIVEL_UI", "headless", 1);
    const std::string bin = binaryFolder();
    if (bench::TimeProcess({bin + "/regsvr", "/s", bin + "/RevivoProvider.so"}) < 0) {
        std::fprintf(stderr, "domain_load_bench: cannot register %s/RevivoProvider.so\n", bin.c_str());
        return 1;
    }

    // The command line's listing, as a table and as JSON, beside ldapsearch, alternating, the
    // best run of each; the peak memory of the whole listing process.
    struct Listing {
        const char* format;
        double best = -1;
        long peakKilobytes = 0;
    };
    std::vector<Listing> listings = {{"table"}, {"json"}};
    std::vector<double> ldapsearch;
    for (int run = 0; run < runs; ++run) {
        for (Listing& listing : listings) {
            bench::ProcessRun listed = bench::RunProcess({bin + "/lumivel", "list", domain, "--format", listing.format});
            if (listed.seconds < 0) {
                std::fprintf(stderr, "domain_load_bench: lumivel list --format %s failed\n", listing.format);
                return 1;
            }
            if (listing.best < 0 || listed.seconds < listing.best) listing.best = listed.seconds;
            listing.peakKilobytes = std::max(listing.peakKilobytes, listed.peakKilobytes);
        }
        double searched = bench::TimeProcess(bench::TombstoneLdapsearch(server, baseDn));
        if (searched < 0) {
            std::fprintf(stderr, "domain_load_bench: ldapsearch failed\n");
            return 1;
        }
        ldapsearch.push_back(searched);
    }
    const double bestSearch = *std::min_element(ldapsearch.begin(), ldapsearch.end());

    // The incremental listing: its state in a folder of this run's.
    setenv("XDG_STATE_HOME", (std::string(folder) + "/state").c_str(), 1);
    const std::vector<std::string> incremental = {bin + "/lumivel", "list", domain, "--incremental", "--format", "tsv"};
    const double firstRead = bench::TimeProcess(incremental);
    double unchanged = -1;
    for (int run = 0; run < runs; ++run) {
        const double refreshed = bench::TimeProcess(incremental);
        if (refreshed < 0) {
            std::fprintf(stderr, "domain_load_bench: lumivel list --incremental failed\n");
            return 1;
        }
        if (unchanged < 0 || refreshed < unchanged) unchanged = refreshed;
    }
    std::random_device seed;
    const std::string refreshOu = "OU=Load Refresh " + std::to_string(seed() % 100000000) + "," + baseDn;
    std::string ldif;
    for (int i = 0; i < changes; ++i)
        ldif += "dn: CN=Refresh " + std::to_string(i) + "," + refreshOu + "\nchangetype: add\nobjectClass: contact\n\n";
    for (int i = 0; i < changes; ++i) ldif += "dn: CN=Refresh " + std::to_string(i) + "," + refreshOu + "\nchangetype: delete\n\n";
    if (!add(server, refreshOu, "organizationalUnit") || !ldapModify(server, ldif)) {
        std::fprintf(stderr, "domain_load_bench: cannot make the changes to refresh\n");
        return 1;
    }
    remove(server, refreshOu);
    const double changed = bench::TimeProcess(incremental);
    // The refreshed list, judged by a whole listing made right after it.
    const std::string lumivel = bench::ShellQuote(bin + "/lumivel") + " list " + bench::ShellQuote(domain) + " --format tsv";
    const std::string refreshedText = bench::CommandOutput(lumivel + " --incremental");
    const std::string wholeText = bench::CommandOutput(lumivel);
    auto sortedLines = [](const std::string& text) {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    const bool sameAsWhole = changed >= 0 && !wholeText.empty() && sortedLines(refreshedText) == sortedLines(wholeText);

    // The provider's own memory: what stays once the receiver has freed the records it got.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IRevivo* provider = nullptr;
    IProviderCommands* commands = nullptr;
    if (FAILED(revivo::Revivo::CreateInstance(nullptr, IID_IRevivo, reinterpret_cast<void**>(&provider))) ||
        FAILED(provider->QueryInterface(IID_IProviderCommands, reinterpret_cast<void**>(&commands)))) {
        std::fprintf(stderr, "domain_load_bench: cannot create the provider\n");
        return 1;
    }
    const size_t before = heapInUse();
    VARIANT list;
    VariantInit(&list);
    auto start = Clock::now();
    HRESULT listed = provider->EnumDeletedObjects(0, nullptr, &list);
    const double inProcess = seconds(Clock::now() - start);
    const size_t records = lumivel::shared::ReadObjectList(&list).size();
    lumivel::shared::FreeObjectListRecords(&list);
    const size_t cacheOnly = heapInUse();
    if (FAILED(listed) || records == 0) {
        std::fprintf(stderr, "domain_load_bench: EnumDeletedObjects failed: 0x%08X\n", static_cast<unsigned>(listed));
        return 1;
    }
    const double bytesPerRecord =
        static_cast<double>(cacheOnly > before ? cacheOnly - before : 0) / static_cast<double>(records);

    // Restores among them: a leaf, and a child whose deleted parent is restored first.
    std::random_device device;
    const std::string suffix = std::to_string(device() % 100000000);
    const std::string root = "OU=Load Bench " + suffix + "," + baseDn;
    const std::string leafName = "Load Leaf " + suffix, parentName = "Load Parent " + suffix,
                      childName = "Load Child " + suffix;
    const std::string leaf = "CN=" + leafName + "," + root, parent = "OU=" + parentName + "," + root,
                      child = "CN=" + childName + "," + parent;
    double leafSeconds = -1, chainSeconds = -1;
    if (add(server, root, "organizationalUnit") && add(server, leaf, "user") && add(server, parent, "organizationalUnit") &&
        add(server, child, "user") && remove(server, leaf) && remove(server, child) && remove(server, parent)) {
        VariantInit(&list);
        if (SUCCEEDED(provider->EnumDeletedObjects(0, nullptr, &list))) {
            std::vector<PropertySet*> listing = lumivel::shared::ReadObjectList(&list);
            if (PropertySet* record = find(listing, leafName)) leafSeconds = timeRestore(commands, record);
            if (PropertySet* record = find(listing, childName)) chainSeconds = timeRestore(commands, record);
            lumivel::shared::FreeObjectListRecords(&list);
        }
    }
    for (const std::string& dn : {child, parent, leaf, root}) remove(server, dn);
    commands->Release();
    provider->Release();
    CoUninitialize();
    std::filesystem::remove_all(folder);

    std::printf("tombstones listed:                      %zu (%s)\n", records, bench::MachineLoad().c_str());
    std::printf("ldapsearch, same attributes (best of %d): %.3f s\n", runs, bestSearch);
    for (const Listing& listing : listings) {
        std::printf("lumivel list --format %-5s (best of %d): %.3f s, ratio %.2f (target <= 1.10)\n", listing.format, runs,
                    listing.best, listing.best / bestSearch);
        std::printf("  its peak memory:                      %ld KiB, %.0f bytes per tombstone (target <= 1024)\n",
                    listing.peakKilobytes, 1024.0 * static_cast<double>(listing.peakKilobytes) / static_cast<double>(records));
    }
    std::printf("lumivel list --incremental, first (whole) read: %.3f s\n", firstRead);
    std::printf("  refresh, nothing changed (best of %d):  %.3f s (target <= 0.5 s)\n", runs, unchanged);
    std::printf("  refresh after %d changes:              %.3f s (target <= 1.0 s%s), %s a whole listing\n", changes,
                changed, changes >= 100 ? "" : " at 100 changes", sameAsWhole ? "the same as" : "NOT the same as");
    std::printf("EnumDeletedObjects in process:          %.3f s\n", inProcess);
    std::printf("provider memory per tombstone:          %.0f bytes (target <= 1024)\n", bytesPerRecord);
    std::printf("restore of a leaf:                      %.3f s (target <= 0.2 s)\n", leafSeconds);
    std::printf("restore of a child, its parent first:   %.3f s (target <= 0.2 s)\n", chainSeconds);
    return leafSeconds < 0 || chainSeconds < 0 || !sameAsWhole ? 1 : 0;
}
