// Makes a folder of N backup archives of one small OU with `lumivel backup`, then times
// `lumivel backups --object` of that OU over the folder: once with no index (every archive
// read), then with the index warm (best of several), against the target of 0.5 s.
//
// Run inside the test directory:
//   tests/testdc/testdc exec build/bin/backups_bench [N]   (default 200)
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "bench/common/shell_command.h"
#include "bench/common/timed_process.h"
#include "lumivel/registry_key.h"
#include "provider/backup/backup_folder.h"
#include "shared/text_helpers.h"

namespace {

using bench::LdapToolOptions;
using bench::ShellQuote;

bool run(const std::string& command) {
    return std::system(("bash -c " + ShellQuote(command + " >/dev/null 2>&1")).c_str()) == 0;
}

size_t archivesIn(const std::string& folder) {
    size_t count = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        if (entry.path().extension() == ".zip") ++count;
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? static_cast<size_t>(std::max(1, std::atoi(argv[1]))) : 200;
    const char* server = std::getenv("TESTDC_DC");
    const char* domain = std::getenv("TESTDC_DOMAIN");
    const char* baseDn = std::getenv("TESTDC_BASEDN");
    if (!server || !domain || !baseDn) {
        std::fprintf(stderr, "backups_bench: run inside the test directory (testdc exec)\n");
        return 1;
    }
    const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    char pattern[] = "/tmp/lumivel-backups-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string folder = pattern, archives = folder + "/archives";
    setenv("LUMIVEL_MACHINE_HIVE", (folder + "/machine.hive").c_str(), 1);
    setenv("LUMIVEL_USER_HIVE", (folder + "/user.hive").c_str(), 1);
    setenv("XDG_CACHE_HOME", (folder + "/cache").c_str(), 1);
    setenv("LUMIVEL_UI", "headless", 1);
    std::filesystem::create_directories(archives);
    if (!run(ShellQuote(bin + "/regsvr") + " /s " + ShellQuote(bin + "/RevivoProvider.so"))) {
        std::fprintf(stderr, "backups_bench: cannot register the provider\n");
        return 1;
    }
    {
        lumivel::RegistryKey policy;
        policy.create(HKEY_CURRENT_USER, revivo::kBackupPolicyKey, KEY_ALL_ACCESS);
        policy.writeString(revivo::kFileLocationValue, lumivel::shared::WidenText(archives));
    }

    const std::string ou = "OU=Backups Bench " + std::to_string(std::random_device{}() % 1000000) + "," + baseDn;
    const std::string ldif = "dn: " + ou + "\nobjectClass: organizationalUnit\n\ndn: CN=Kept Contact," + ou +
                             "\nobjectClass: contact\ndescription: backed up many times\n\n";
    bool ok = run("printf %s " + ShellQuote(ldif) + " | ldapadd " + LdapToolOptions(server));
    const std::string lumivel = ShellQuote(bin + "/lumivel");
    std::fprintf(stderr, "making %zu archives...\n", count);
    for (size_t i = 0; ok && archivesIn(archives) < count && i < 2 * count; ++i)
        ok = run(lumivel + " backup " + ShellQuote(domain) + " " + ShellQuote(ou) + " --server " + ShellQuote(server));
    const size_t made = archivesIn(archives);
    const std::vector<std::string> query = {bin + "/lumivel", "backups", domain, "--object", ou, "--server", server};
    const double cold = ok ? bench::TimeProcess(query) : -1;
    double warm = -1;
    for (int i = 0; cold >= 0 && i < 3; ++i) {
        double seconds = bench::TimeProcess(query);
        if (seconds >= 0 && (warm < 0 || seconds < warm)) warm = seconds;
    }
    run("ldapdelete -r " + LdapToolOptions(server) + " " + ShellQuote(ou));
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (!ok || made < count || cold < 0 || warm < 0) {
        std::fprintf(stderr, "backups_bench: %s (%zu of %zu archives made)\n",
                     !ok ? "lumivel backup failed" : "lumivel backups failed", made, count);
        return 1;
    }
    std::printf("archives in the folder:                 %zu (%s)\n", made, bench::MachineLoad().c_str());
    std::printf("lumivel backups --object, no index:     %.3f s\n", cold);
    std::printf("lumivel backups --object, warm index:   %.3f s (best of 3; target <= 0.5 s)\n", warm);
    return 0;
}
