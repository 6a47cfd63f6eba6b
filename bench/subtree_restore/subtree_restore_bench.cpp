// Restores a deleted OU holding N deleted contacts with `lumivel restore --subtree`, deletes
// it all again, and sends the same N + 1 reanimating modifies with one `ldapmodify` run;
// prints both times and their ratio (target at most 1.0). The lumivel time is also shown
// without its listing of Deleted Objects, which `lumivel list` measures alone. With
// --doubling it does it all again at 2N and prints how the time grew (2 when linear).
// Beside each time it prints the DC's processor time over it and the machine's mean load, so
// that runs made at different loads compare by the work the DC did for them; with
// --reference-first ldapmodify's round comes first, so that neither tool always meets the
// tombstones the other left behind.
//
// Run inside the test directory:
//   tests/testdc/testdc exec build/bin/subtree_restore_bench [N [--doubling] [--reference-first]]   (default 10000)
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/common/run_cost.h"
#include "bench/common/shell_command.h"
#include "bench/common/timed_process.h"
#include "shared/directory_operations.h"

namespace {

using bench::CommandOutput;
using bench::LdapToolOptions;
using bench::ShellQuote;
using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;

struct Run {
    bool ok = false;
    bench::RunFigures cost;
    double seconds() const { return cost.seconds; }
};

struct Subtree {
    size_t count = 0;
    Run lumivel, listing, ldapmodify;
};

pid_t g_dc = 0;

Run timed(const std::string& command) {
    bench::RunCost cost(g_dc);
    int status = std::system(("bash -c " + ShellQuote(command + " >/dev/null 2>&1")).c_str());
    return Run{status == 0, cost.stop()};
}

std::string g_server;
std::string ldap(const char* tool) { return std::string(tool) + " " + LdapToolOptions(g_server); }

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path);
    file << text;
    return static_cast<bool>(file.flush());
}

// The OU with its contacts made and deleted, children first.
bool makeTombstones(const std::string& ou, size_t count, const std::string& folder) {
    std::string adds = "dn: " + ou + "\nobjectClass: organizationalUnit\n\n";
    std::string deletes;
    for (size_t i = 0; i < count; ++i) {
        std::string dn = "CN=Contact " + std::to_string(i) + "," + ou;
        adds += "dn: " + dn + "\nobjectClass: contact\n\n";
        deletes += dn + "\n";
    }
    deletes += ou + "\n";
    return writeFile(folder + "/add.ldif", adds) && writeFile(folder + "/delete.txt", deletes) &&
           timed(ldap("ldapadd") + " -f " + ShellQuote(folder + "/add.ldif")).ok &&
           timed(ldap("ldapdelete") + " -f " + ShellQuote(folder + "/delete.txt")).ok;
}

// The tombstones whose last known parent is the OU's tombstone, and the OU's own, as
// "dn<TAB>name" lines of ldapsearch's unwrapped LDIF.
std::vector<std::string> tombstoneDns(const std::string& base, const std::string& filter) {
    std::string listing =
        CommandOutput(ldap("ldapsearch") + " -LLL -o ldif-wrap=no -E '!1.2.840.113556.1.4.417' -E pr=1000/noprompt -b " +
                      ShellQuote("CN=Deleted Objects," + base) + " -s one " + ShellQuote(filter) + " 1.1 2>/dev/null");
    std::vector<std::string> dns;
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        std::string line = listing.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.rfind("dn: ", 0) == 0) dns.push_back(line.substr(4));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return dns;
}

enum class Order { LumivelFirst, ReferenceFirst };

// One subtree of COUNT contacts: made, restored by lumivel and reanimated by ldapmodify in the
// order asked, deleted again after each. False when a step failed (said on stderr).
bool measure(size_t count, Order order, const std::string& base, const std::string& domain, const std::string& bin,
             const std::string& folder, Subtree* out) {
    std::string name = "Bench Subtree " + std::to_string(std::random_device{}() % 1000000);
    std::string ou = "OU=" + name + "," + base;

    std::fprintf(stderr, "making %zu tombstones below a deleted OU...\n", count);
    if (!makeTombstones(ou, count, folder)) {
        std::fprintf(stderr, "subtree_restore_bench: cannot make the tombstones\n");
        return false;
    }
    std::vector<std::string> ouTombstones = tombstoneDns(base, "(ou=" + name + "*)");
    if (ouTombstones.size() != 1) return false;
    // An object keeps its GUID through a restore: every later tombstone of the OU carries it.
    std::string guid = NarrowText(lumivel::shared::TombstoneGuidOfDn(WidenText(ouTombstones[0])));
    if (guid.empty()) return false;
    auto deleteAgain = [&](const char* why) {
        std::fprintf(stderr, "deleting them again%s...\n", why);
        return timed(ldap("ldapdelete") + " -f " + ShellQuote(folder + "/delete.txt")).ok;
    };
    // After a failure some may be tombstones already: -c goes on past those.
    auto cleanUp = [&] { timed(ldap("ldapdelete") + " -c -f " + ShellQuote(folder + "/delete.txt")); };

    Subtree measured;
    size_t restored = 0, children = 0;
    auto lumivelRound = [&] {
        measured.listing = timed(ShellQuote(bin + "/lumivel") + " list " + ShellQuote(domain) + " -f tsv");
        measured.lumivel =
            timed(ShellQuote(bin + "/lumivel") + " restore " + ShellQuote(domain) + " " + guid + " --subtree --yes");
        restored = std::stoul("0" + CommandOutput(ldap("ldapsearch") + " -LLL -E pr=1000/noprompt -b " + ShellQuote(ou) +
                                                  " -s one '(objectClass=contact)' 1.1 2>/dev/null | grep -c '^dn:'"));
    };
    // The same by hand: the OU first, then every child below its new name.
    auto referenceRound = [&] {
        std::vector<std::string> current = tombstoneDns(base, "(ou=" + name + "*)");
        if (current.size() != 1) return false;
        std::string ouTombstone = current[0];
        std::string filterValue;
        for (char c : ouTombstone) filterValue += c == '\\' ? std::string("\\5c") : std::string(1, c);
        std::vector<std::string> below = tombstoneDns(base, "(lastKnownParent=" + filterValue + ")");
        children = below.size();
        std::string ldif;
        auto reanimate = [&](const std::string& tombstone, const std::string& target) {
            ldif += "dn: " + tombstone + "\ncontrol: 1.2.840.113556.1.4.417 true\nchangetype: modify\ndelete: isDeleted\n-\n"
                    "replace: distinguishedName\ndistinguishedName: " + target + "\n-\n\n";
        };
        reanimate(ouTombstone, ou);
        for (const std::string& child : below)
            reanimate(child, NarrowText(lumivel::shared::ReanimatedDn(WidenText(child), WidenText(ou))));
        if (!writeFile(folder + "/reanimate.ldif", ldif)) return false;
        measured.ldapmodify = timed(ldap("ldapmodify") + " -f " + ShellQuote(folder + "/reanimate.ldif"));
        return true;
    };

    bool ready = true;
    if (order == Order::LumivelFirst) {
        lumivelRound();
        ready = deleteAgain(" for ldapmodify") && referenceRound();
    } else {
        ready = referenceRound() && deleteAgain(" for lumivel");
        if (ready) lumivelRound();
    }
    // Whatever happened, what came back goes again, so that the domain keeps only tombstones.
    cleanUp();
    if (!ready || !measured.lumivel.ok || !measured.ldapmodify.ok || restored != count || children != count) {
        std::fprintf(stderr, "subtree_restore_bench: %s (lumivel restored %zu, ldapmodify had %zu of %zu)\n",
                     !ready                  ? "a step between the two runs failed"
                     : !measured.lumivel.ok  ? "lumivel restore --subtree failed"
                                             : "ldapmodify failed",
                     restored, children, count);
        return false;
    }
    measured.count = count;
    *out = measured;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    size_t count = argc > 1 ? static_cast<size_t>(std::max(1, std::atoi(argv[1]))) : 10000;
    bool doubling = false;
    Order order = Order::LumivelFirst;
    for (int i = 2; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--doubling") {
            doubling = true;
        } else if (option == "--reference-first") {
            order = Order::ReferenceFirst;
        } else {
            std::fprintf(stderr, "usage: subtree_restore_bench [N [--doubling] [--reference-first]]\n");
            return 2;
        }
    }
    const char* server = std::getenv("TESTDC_DC");
    const char* domain = std::getenv("TESTDC_DOMAIN");
    const char* baseDn = std::getenv("TESTDC_BASEDN");
    if (!server || !domain || !baseDn) {
        std::fprintf(stderr, "subtree_restore_bench: run inside the test directory (testdc exec)\n");
        return 1;
    }
    g_server = server;
    g_dc = bench::TestDcPid();
    std::string base = baseDn;
    std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    char pattern[] = "/tmp/lumivel-subtree-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    std::string folder = pattern;
    setenv("LUMIVEL_MACHINE_HIVE", (folder + "/machine.hive").c_str(), 1);
    setenv("LUMIVEL_USER_HIVE", (folder + "/user.hive").c_str(), 1);
    if (std::system((ShellQuote(bin + "/regsvr") + " /s " + ShellQuote(bin + "/RevivoProvider.so")).c_str()) != 0) {
        std::fprintf(stderr, "subtree_restore_bench: cannot register the provider\n");
        return 1;
    }
    std::vector<Subtree> sizes;
    for (size_t n : doubling ? std::vector<size_t>{count, 2 * count} : std::vector<size_t>{count}) {
        Subtree measured;
        if (!measure(n, order, base, domain, bin, folder, &measured)) {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
            return 1;
        }
        sizes.push_back(measured);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::printf("%s\n", bench::MachineLoad().c_str());
    std::printf("order: %s\n", order == Order::LumivelFirst ? "lumivel, then ldapmodify" : "ldapmodify, then lumivel");
    // The DC's processor time is the work each tool gave it: unlike the time, it does not grow
    // with the load of others beside it.
    auto dcPerObject = [](const Run& run, size_t objects) {
        return run.cost.dcCpu ? *run.cost.dcCpu * 1000 / static_cast<double>(objects) : -1.0;
    };
    for (const Subtree& size : sizes) {
        const double lumivel = size.lumivel.seconds(), listing = size.listing.seconds(), raw = size.ldapmodify.seconds();
        std::printf("objects below the deleted OU:              %zu\n", size.count);
        std::printf("lumivel restore --subtree:                 %.3f s\n", lumivel);
        std::printf("  of which listing Deleted Objects (alone): %.3f s\n", listing);
        std::printf("ldapmodify, the same %zu modifies:         %.3f s\n", size.count + 1, raw);
        std::printf("ratio lumivel / ldapmodify:                %.2f (target <= 1.0)\n", lumivel / raw);
        std::printf("ratio without the listing:                 %.2f\n", (lumivel - listing) / raw);
        std::printf("  lumivel restore --subtree:  %s\n", bench::DescribeCost(size.lumivel.cost).c_str());
        std::printf("  lumivel list alone:         %s\n", bench::DescribeCost(size.listing.cost).c_str());
        std::printf("  ldapmodify:                 %s\n", bench::DescribeCost(size.ldapmodify.cost).c_str());
        if (size.lumivel.cost.dcCpu && size.listing.cost.dcCpu && size.ldapmodify.cost.dcCpu) {
            Run restoreAlone = size.lumivel;
            *restoreAlone.cost.dcCpu -= *size.listing.cost.dcCpu;
            std::printf("DC CPU per object, lumivel without its listing / ldapmodify: %.1f / %.1f ms (%.2f)\n",
                        dcPerObject(restoreAlone, size.count + 1), dcPerObject(size.ldapmodify, size.count + 1),
                        *restoreAlone.cost.dcCpu / *size.ldapmodify.cost.dcCpu);
        }
    }
    if (sizes.size() == 2) {
        // Linear work doubles; a quadratic step shows as a ratio towards 4.
        std::printf("twice the objects, lumivel time ratio:     %.2f (linear: 2; ldapmodify's: %.2f)\n",
                    (sizes[1].lumivel.seconds() - sizes[1].listing.seconds()) /
                        (sizes[0].lumivel.seconds() - sizes[0].listing.seconds()),
                    sizes[1].ldapmodify.seconds() / sizes[0].ldapmodify.seconds());
    }
    return 0;
}
