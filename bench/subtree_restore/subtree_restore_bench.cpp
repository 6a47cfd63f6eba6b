// Restores a deleted OU holding N deleted contacts with `lumivel restore --subtree`, deletes
// it all again, and sends the same N + 1 reanimating modifies with one `ldapmodify` run;
// prints both times and their ratio (target at most 1.0). The lumivel time is also shown
// without its listing of Deleted Objects, which `lumivel list` measures alone. With
// --doubling it does it all again at 2N and prints how the time grew (2 when linear).
//
// Run inside the test directory:
//   tests/testdc/testdc exec build/bin/subtree_restore_bench [N [--doubling]]   (default 10000)
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/common/shell_command.h"
#include "bench/common/timed_process.h"
#include "shared/directory_operations.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::CommandOutput;
using bench::LdapToolOptions;
using bench::ShellQuote;
using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;

struct Run {
    bool ok = false;
    double seconds = 0;
};

struct Subtree {
    size_t count = 0;
    double lumivel = 0, listing = 0, ldapmodify = 0;
};

Run timed(const std::string& command) {
    auto start = Clock::now();
    int status = std::system(("bash -c " + ShellQuote(command + " >/dev/null 2>&1")).c_str());
    return Run{status == 0, std::chrono::duration<double>(Clock::now() - start).count()};
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

// One subtree of COUNT contacts: made, restored by lumivel, deleted, reanimated by ldapmodify,
// deleted again. False when a step failed (said on stderr).
bool measure(size_t count, const std::string& base, const std::string& domain, const std::string& bin,
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
    std::string guid = NarrowText(lumivel::shared::TombstoneGuidOfDn(WidenText(ouTombstones[0])));
    if (guid.empty()) return false;
    Run listing = timed(ShellQuote(bin + "/lumivel") + " list " + ShellQuote(domain) + " -f tsv");
    Run lumivel = timed(ShellQuote(bin + "/lumivel") + " restore " + ShellQuote(domain) + " " + guid + " --subtree --yes");
    size_t restored = std::stoul("0" + CommandOutput(ldap("ldapsearch") + " -LLL -E pr=1000/noprompt -b " + ShellQuote(ou) +
                                              " -s one '(objectClass=contact)' 1.1 2>/dev/null | grep -c '^dn:'"));

    // The same again by hand: the OU first, then every child below its new name.
    std::fprintf(stderr, "deleting them again for ldapmodify...\n");
    if (!timed(ldap("ldapdelete") + " -f " + ShellQuote(folder + "/delete.txt")).ok) return false;
    ouTombstones = tombstoneDns(base, "(ou=" + name + "*)");
    // An object keeps its GUID through a restore: the OU's second tombstone carries the first one's.
    if (ouTombstones.size() != 1) return false;
    std::string ouTombstone = ouTombstones[0];
    std::string filterValue;
    for (char c : ouTombstone) filterValue += c == '\\' ? std::string("\\5c") : std::string(1, c);
    std::vector<std::string> children = tombstoneDns(base, "(lastKnownParent=" + filterValue + ")");
    std::string ldif;
    auto reanimate = [&](const std::string& tombstone, const std::string& target) {
        ldif += "dn: " + tombstone + "\ncontrol: 1.2.840.113556.1.4.417 true\nchangetype: modify\ndelete: isDeleted\n-\n"
                "replace: distinguishedName\ndistinguishedName: " + target + "\n-\n\n";
    };
    reanimate(ouTombstone, ou);
    for (const std::string& child : children)
        reanimate(child, NarrowText(lumivel::shared::ReanimatedDn(WidenText(child), WidenText(ou))));
    if (!writeFile(folder + "/reanimate.ldif", ldif)) return false;
    Run raw = timed(ldap("ldapmodify") + " -f " + ShellQuote(folder + "/reanimate.ldif"));

    timed(ldap("ldapdelete") + " -f " + ShellQuote(folder + "/delete.txt"));
    if (!lumivel.ok || !raw.ok || restored != count || children.size() != count) {
        std::fprintf(stderr, "subtree_restore_bench: %s (lumivel restored %zu, ldapmodify had %zu of %zu)\n",
                     !lumivel.ok ? "lumivel restore --subtree failed" : "ldapmodify failed", restored, children.size(),
                     count);
        return false;
    }
    *out = Subtree{count, lumivel.seconds, listing.seconds, raw.seconds};
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    size_t count = argc > 1 ? static_cast<size_t>(std::max(1, std::atoi(argv[1]))) : 10000;
    const bool doubling = argc > 2 && std::string(argv[2]) == "--doubling";
    const char* server = std::getenv("TESTDC_DC");
    const char* domain = std::getenv("TESTDC_DOMAIN");
    const char* baseDn = std::getenv("TESTDC_BASEDN");
    if (!server || !domain || !baseDn) {
        std::fprintf(stderr, "subtree_restore_bench: run inside the test directory (testdc exec)\n");
        return 1;
    }
    g_server = server;
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
        if (!measure(n, base, domain, bin, folder, &measured)) {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
            return 1;
        }
        sizes.push_back(measured);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::printf("%s\n", bench::MachineLoad().c_str());
    for (const Subtree& size : sizes) {
        std::printf("objects below the deleted OU:              %zu\n", size.count);
        std::printf("lumivel restore --subtree:                 %.3f s\n", size.lumivel);
        std::printf("  of which listing Deleted Objects (alone): %.3f s\n", size.listing);
        std::printf("ldapmodify, the same %zu modifies:         %.3f s\n", size.count + 1, size.ldapmodify);
        std::printf("ratio lumivel / ldapmodify:                %.2f (target <= 1.0)\n", size.lumivel / size.ldapmodify);
        std::printf("ratio without the listing:                 %.2f\n", (size.lumivel - size.listing) / size.ldapmodify);
    }
    if (sizes.size() == 2) {
        // Linear work doubles; a quadratic step shows as a ratio towards 4.
        std::printf("twice the objects, lumivel time ratio:     %.2f (linear: 2; ldapmodify's: %.2f)\n",
                    (sizes[1].lumivel - sizes[1].listing) / (sizes[0].lumivel - sizes[0].listing),
                    sizes[1].ldapmodify / sizes[0].ldapmodify);
    }
    return 0;
}
