// Backs up a subtree of live objects with `lumivel backup` and dumps the same subtree with
// ldapsearch (all attributes) piped into zip, in one run; prints both times, their ratio and
// the peak memory of the backup for the whole subtree and for a tenth of it, which shows
// whether memory grows with the subtree.
//
// Run inside the test directory after making the objects, for example:
//   tests/testdc/testdc bulk-live 10000
//   tests/testdc/testdc exec build/bin/backup_bench [runs [objects]]   (objects: 10000)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/common/shell_command.h"
#include "bench/common/timed_process.h"
#include "provider/backup/backup_folder.h"
#include "lumivel/registry_key.h"
#include "shared/text_helpers.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::CommandOutput;
using bench::LdapToolOptions;
using bench::ShellQuote;

struct Run {
    bool ok = false;
    double seconds = 0;
    long peakKilobytes = 0;
};

// One bash command with its output thrown away, timed, with the peak memory of its processes.
Run timed(const std::string& command) {
    auto start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        execl("/bin/bash", "bash", "-c", (command + " >/dev/null 2>&1").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    Run run;
    int status = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
        run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        run.peakKilobytes = usage.ru_maxrss;
        run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return run;
}

size_t countObjects(const std::string& server, const std::string& base) {
    std::string listing = CommandOutput("ldapsearch " + LdapToolOptions(server) + " -LLL -E pr=1000/noprompt -b " +
                                        ShellQuote(base) + " -s sub '(objectClass=*)' 1.1 2>/dev/null");
    size_t count = 0;
    for (size_t at = listing.find("dn:"); at != std::string::npos; at = listing.find("\ndn:", at + 1)) ++count;
    return count;
}

struct Measured {
    size_t objects = 0;
    Run backup, dump;
};

Measured measure(const std::string& bin, const std::string& domain, const std::string& server, const std::string& base,
                 const std::string& folder, int runs) {
    Measured best;
    best.objects = countObjects(server, base);
    for (int i = 0; i < runs; ++i) {
        Run backup = timed(ShellQuote(bin + "/lumivel") + " backup " + ShellQuote(domain) + " " + ShellQuote(base) +
                           " --server " + ShellQuote(server));
        std::string dump = folder + "/ldapsearch.zip";
        std::filesystem::remove(dump);
        Run zip = timed("set -o pipefail; ldapsearch " + LdapToolOptions(server) + " -LLL -E pr=1000/noprompt -b " +
                        ShellQuote(base) + " -s sub '(objectClass=*)' '*' | zip -q -5 " + ShellQuote(dump) + " -");
        if (!backup.ok || !zip.ok) return Measured{best.objects, backup, zip};
        if (!best.backup.ok || backup.seconds < best.backup.seconds) best.backup = backup;
        if (!best.dump.ok || zip.seconds < best.dump.seconds) best.dump = zip;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const size_t wanted = argc > 2 ? static_cast<size_t>(std::max(1, std::atoi(argv[2]))) : 10000;
    const char* server = std::getenv("TESTDC_DC");
    const char* domain = std::getenv("TESTDC_DOMAIN");
    const char* baseDn = std::getenv("TESTDC_BASEDN");
    if (!server || !domain || !baseDn) {
        std::fprintf(stderr, "backup_bench: run inside the test directory (testdc exec)\n");
        return 1;
    }
    std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    std::string subtree = "OU=Bulk Live," + std::string(baseDn);
    std::string tenth = "OU=Batch 000," + subtree;

    // A registry and a backup folder of the benchmark's own.
    char pattern[] = "/tmp/lumivel-backup-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    std::string folder = pattern;
    setenv("LUMIVEL_MACHINE_HIVE", (folder + "/machine.hive").c_str(), 1);
    setenv("LUMIVEL_USER_HIVE", (folder + "/user.hive").c_str(), 1);
    setenv("XDG_CACHE_HOME", (folder + "/cache").c_str(), 1);
    if (std::system((ShellQuote(bin + "/regsvr") + " /s " + ShellQuote(bin + "/RevivoProvider.so")).c_str()) != 0) {
        std::fprintf(stderr, "backup_bench: cannot register the provider\n");
        return 1;
    }
    {
        lumivel::RegistryKey policy;
        policy.create(HKEY_CURRENT_USER, revivo::kBackupPolicyKey, KEY_ALL_ACCESS);
        policy.writeString(revivo::kFileLocationValue, lumivel::shared::WidenText(folder + "/archives"));
    }
    std::filesystem::create_directories(folder + "/archives");

    Measured whole = measure(bin, domain, server, subtree, folder, runs);
    Measured part = measure(bin, domain, server, tenth, folder, runs);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (whole.objects < wanted) {
        std::fprintf(stderr, "backup_bench: %s holds %zu objects; make them with: tests/testdc/testdc bulk-live %zu\n",
                     subtree.c_str(), whole.objects, wanted - whole.objects);
        return 1;
    }
    if (!whole.backup.ok || !whole.dump.ok || !part.backup.ok) {
        std::fprintf(stderr, "backup_bench: %s failed\n", !whole.backup.ok ? "lumivel backup" : "ldapsearch | zip");
        return 1;
    }
    std::printf("objects in the subtree:                 %zu (%s)\n", whole.objects, bench::MachineLoad().c_str());
    std::printf("lumivel backup (best of %d):             %.3f s\n", runs, whole.backup.seconds);
    std::printf("ldapsearch | zip (best of %d):           %.3f s\n", runs, whole.dump.seconds);
    std::printf("ratio backup / ldapsearch | zip:        %.2f (target <= 1.5)\n", whole.backup.seconds / whole.dump.seconds);
    std::printf("peak memory, lumivel backup, %5zu objects: %ld KiB\n", whole.objects, whole.backup.peakKilobytes);
    std::printf("peak memory, lumivel backup, %5zu objects: %ld KiB\n", part.objects, part.backup.peakKilobytes);
    std::printf("memory growth for %.0fx the objects:       %.2fx (target: none)\n",
                static_cast<double>(whole.objects) / static_cast<double>(std::max<size_t>(part.objects, 1)),
                static_cast<double>(whole.backup.peakKilobytes) / static_cast<double>(std::max(part.backup.peakKilobytes, 1L)));
    std::printf("peak memory, ldapsearch | zip:          %ld KiB\n", whole.dump.peakKilobytes);
    return 0;
}
