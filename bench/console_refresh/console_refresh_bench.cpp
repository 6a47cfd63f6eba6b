// F5 on a large domain's node in the console: the refresh of an unchanged domain, which reads
// only the changes, and one after as many changes (contacts made and deleted), whose list is
// then held against a whole read of the same node.
//
// Run inside the test directory, for example after tests/testdc/testdc bulk 100000:
//   tests/testdc/testdc exec build/bin/console_refresh_bench [runs [changes]]
#include <QApplication>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/common/console_setup.h"
#include "bench/common/shell_command.h"
#include "bench/common/timed_process.h"
#include "lumivel/console_driver.h"
#include "lumivel/text.h"
#include "shared/object_list.h"
#include "snapin/domain_node.h"
#include "win/com.h"

namespace {

using Clock = std::chrono::steady_clock;
using lumivel::console::ConsoleDriver;

constexpr int kWaitMs = 600000;  // a whole read of 100,000 tombstones on a loaded machine
constexpr char16_t kSnapinClsid[] = u"{B979019D-5037-44E0-835B-3CD84BDDA491}";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool ldapModify(const std::string& server, const std::string& ldif) {
    const std::string command = "ldapmodify " + bench::LdapToolOptions(server) + " >/dev/null 2>&1";
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe) return false;
    fwrite(ldif.data(), 1, ldif.size(), pipe);
    return pclose(pipe) == 0;
}

// The names of the node's records, which hold each tombstone's GUID, in order.
std::vector<std::u16string> listedNames(snapin::DomainNode* node) {
    std::vector<std::u16string> names;
    for (const PropertySet* record : lumivel::shared::ReadObjectList(&node->m_objects))
        names.emplace_back(record->getText(u"name"));
    std::sort(names.begin(), names.end());
    return names;
}

// Presses F5 and runs the console until the node's fetch is over: its seconds, negative when
// it did not end in time.
double refresh(ConsoleDriver& console, snapin::DomainNode* node) {
    const auto start = Clock::now();
    console.pressRefresh();
    if (!console.runUntil([&] { return !node->fetching(); }, kWaitMs)) return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int changes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
    const std::string server = environment("TESTDC_DC"), baseDn = environment("TESTDC_BASEDN"),
                      domain = environment("TESTDC_DOMAIN");
    if (server.empty() || baseDn.empty() || domain.empty()) {
        std::fprintf(stderr, "console_refresh_bench: run inside the test directory (testdc exec)\n");
        return 1;
    }
    // The console finds the modules through a registry of its own and draws offscreen.
    char folder[] = "/tmp/console-refresh-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    if (!bench::PrepareConsole("console_refresh_bench", folder, domain)) {
        std::filesystem::remove_all(folder);
        return 1;
    }

    int status = 1;
    double whole = -1, unchanged = -1, changed = -1;
    size_t listed = 0, after = 0;
    bool sameAsWhole = false;
    std::random_device seed;
    const std::string ou = "OU=Console Refresh " + std::to_string(seed() % 100000000) + "," + baseDn;
    {
        QApplication application(argc, argv);
        CoInitialize(nullptr);
        {
            ConsoleDriver console;
            CLSID snapin{};
            CLSIDFromString(kSnapinClsid, &snapin);
            HSCOPEITEM item = 0;
            if (console.open(snapin) == S_OK) {
                console.expand(console.root());
                console.runUntil(
                    [&] {
                        for (HSCOPEITEM child : console.children(console.root()))
                            if (lumivel::ToUtf8(console.shownName(child)) == domain) item = child;
                        return item != 0;
                    },
                    60000);
            }
            auto* node = item ? static_cast<snapin::DomainNode*>(reinterpret_cast<snapin::ScopeNode*>(console.parameter(item)))
                              : nullptr;
            if (node) {
                console.select(item);
                console.runUntil([&] { return !node->fetching() && node->m_objects.vt != VT_EMPTY; }, kWaitMs);
                // The first F5 reads everything, and keeps where the directory stood.
                whole = refresh(console, node);
                listed = lumivel::shared::ReadObjectList(&node->m_objects).size();
                for (int run = 0; run < runs && whole >= 0; ++run) {
                    const double seconds = refresh(console, node);
                    if (seconds >= 0 && (unchanged < 0 || seconds < unchanged)) unchanged = seconds;
                }
                std::string ldif = "dn: " + ou + "\nchangetype: add\nobjectClass: organizationalUnit\n\n";
                for (int i = 0; i < changes; ++i)
                    ldif += "dn: CN=Refresh " + std::to_string(i) + "," + ou + "\nchangetype: add\nobjectClass: contact\n\n";
                for (int i = 0; i < changes; ++i)
                    ldif += "dn: CN=Refresh " + std::to_string(i) + "," + ou + "\nchangetype: delete\n\n";
                if (unchanged >= 0 && ldapModify(server, ldif)) {
                    changed = refresh(console, node);
                    const std::vector<std::u16string> refreshed = listedNames(node);
                    after = refreshed.size();
                    // The same node read whole, without a sync point to go on from.
                    node->m_syncPoint = snapin::ListingSyncPoint{};
                    sameAsWhole = changed >= 0 && refresh(console, node) >= 0 && listedNames(node) == refreshed;
                }
            }
            if (!node) std::fprintf(stderr, "console_refresh_bench: %s is no node of the console\n", domain.c_str());
            console.close();
        }
        CoUninitialize();
    }
    ldapModify(server, "dn: " + ou + "\nchangetype: delete\n\n");
    std::filesystem::remove_all(folder);
    if (whole >= 0 && unchanged >= 0 && changed >= 0) status = sameAsWhole && after == listed + size_t(changes) ? 0 : 1;

    std::printf("tombstones listed:                     %zu (%s)\n", listed, bench::MachineLoad().c_str());
    std::printf("console F5, first (whole) read:        %.3f s\n", whole);
    std::printf("console F5, nothing changed (best of %d): %.3f s (target <= 0.5 s)\n", runs, unchanged);
    std::printf("console F5 after %d changes:           %.3f s (target <= 1.0 s%s), %zu listed, %s a whole read\n", changes,
                changed, changes >= 100 ? "" : " at 100 changes", after, sameAsWhole ? "the same as" : "NOT the same as");
    return status;
}
