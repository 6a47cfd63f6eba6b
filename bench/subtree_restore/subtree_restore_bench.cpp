// Restores a deleted OU holding N deleted contacts with `lumivel restore --subtree`, deletes
// it all again, and sends the same N + 1 reanimating modifies with one `ldapmodify` run;
// prints both times and their ratio (target at most 1.5). The lumivel time is also shown
// without its listing of Deleted Objects, which `lumivel list` measures alone.
//
// Run inside the test directory:
//   tests/testdc/testdc exec build/bin/subtree_restore_bench [N]   (default 10000)
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

}  // namespace

int main(int argc, char** argv) {
    size_t count = argc > 1 ? static_cast<size_t>(std::max(1, std::atoi(argv[1]))) : 10000;
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
    std::string name = "Bench Subtree " + std::to_string(std::random_device{}() % 1000000);
    std::string ou = "OU=" + name + "," + base;

    std::fprintf(stderr, "making %zu tombstones below a deleted OU...\n", count);
    if (!makeTombstones(ou, count, folder)) {
        std::fprintf(stderr, "subtree_restore_bench: cannot make the tombstones\n");
        return 1;
    }
    std::vector<std::string> ouTombstones = tombstoneDns(base, "(ou=" + name + "*)");
    if (ouTombstones.size() != 1) return 1;
    std::string guid = NarrowText(lumivel::shared::TombstoneGuidOfDn(WidenText(ouTombstones[0])));
    if (guid.empty()) return 1;
    Run listing = timed(ShellQuote(bin + "/lumivel") + " list " + ShellQuote(domain) + " -f tsv");
    Run lumivel = timed(ShellQuote(bin + "/lumivel") + " restore " + ShellQuote(domain) + " " + guid + " --subtree --yes");
    size_t restored = std::stoul("0" + CommandOutput(ldap("ldapsearch") + " -LLL -E pr=1000/noprompt -b " + ShellQuote(ou) +
                                              " -s one '(objectClass=contact)' 1.1 2>/dev/null | grep -c '^dn:'"));

    // The same again by hand: the OU first, then every child below its new name.
    std::fprintf(stderr, "deleting them again for ldapmodify...\n");
    if (!timed(ldap("ldapdelete") + " -f " + ShellQuote(folder + "/delete.txt")).ok) return 1;
    ouTombstones = tombstoneDns(base, "(ou=" + name + "*)");
    // An object keeps its GUID through a restore: the OU's second tombstone carries the first one's.
    if (ouTombstones.size() != 1) return 1;
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
    if (!writeFile(folder + "/reanimate.ldif", ldif)) return 1;
    Run raw = timed(ldap("ldapmodify") + " -f " + ShellQuote(folder + "/reanimate.ldif"));

    timed(ldap("ldapdelete") + " -f " + ShellQuote(folder + "/delete.txt"));
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (!lumivel.ok || !raw.ok || restored != count || children.size() != count) {
        std::fprintf(stderr, "subtree_restore_bench: %s (lumivel restored %zu, ldapmodify had %zu of %zu)\n",
                     !lumivel.ok ? "lumivel restore --subtree failed" : "ldapmodify failed", restored, children.size(),
                     count);
        return 1;
    }
    std::printf("objects below the deleted OU:              %zu\n", count);
    std::printf("lumivel restore --subtree:                 %.3f s\n", lumivel.seconds);
    std::printf("  of which listing Deleted Objects (alone): %.3f s\n", listing.seconds);
    std::printf("ldapmodify, the same %zu modifies:         %.3f s\n", count + 1, raw.seconds);
    std::printf("ratio lumivel / ldapmodify:                %.2f (target <= 1.5)\n", lumivel.seconds / raw.seconds);
    std::printf("ratio without the listing:                 %.2f\n", (lumivel.seconds - listing.seconds) / raw.seconds);
    return 0;
}
