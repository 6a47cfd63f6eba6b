// The console on a large domain: a console window (offscreen) with the snap-in, its root
// expanded and the domain node selected, timed until the domain's rows are shown; beside
// ldapsearch of the same attributes in the same run, with the console's peak resident memory
// and the longest stall of its thread (the console's probe's clock) over the whole run.
//
// Each run is a console process of its own (this program again, with --console), so that no
// run is served from a cache the one before filled, and the memory is the console's alone.
//
// Run inside the test directory, for example after tests/testdc/testdc bulk 100000:
//   tests/testdc/testdc exec build/bin/console_load_bench [runs]
#include <QAbstractItemView>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QTimer>
#include <QTreeWidget>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/common/console_setup.h"
#include "bench/common/shell_command.h"
#include "bench/common/timed_process.h"
#include "lumivel/console_driver.h"
#include "lumivel/snapin_catalog.h"
#include "lumivel/text.h"
#include "win/com.h"

namespace {

using Clock = std::chrono::steady_clock;
using lumivel::console::ConsoleDriver;

constexpr int kWaitMs = 600000;  // a listing of 100,000 tombstones on a loaded machine

double seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string binaryFolder() { return std::filesystem::canonical("/proc/self/exe").parent_path().string(); }

// The count the status bar gives once a listing is shown ("12,345 deleted objects in ..."),
// negative before.
long listedCount(const std::u16string& status) {
    const std::string text = lumivel::ToUtf8(status);
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) || text.find(" deleted object") == std::string::npos)
        return -1;
    long count = 0;
    for (char c : text.substr(0, text.find(" deleted object")))
        if (std::isdigit(static_cast<unsigned char>(c))) count = count * 10 + (c - '0');
    return count;
}

long peakResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

// Runs the window's own event loop, as the console's exec does, until `done` or the time-out.
bool runUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done()) return true;
    QEventLoop loop;
    QTimer poll;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || Clock::now() > deadline) loop.quit();
    });
    poll.start(10);
    loop.exec();
    return done();
}

// The most rows any list of the window beside the scope tree holds.
int resultRows(QMainWindow* window) {
    int rows = 0;
    for (QAbstractItemView* view : window->findChildren<QAbstractItemView*>())
        if (!qobject_cast<QTreeWidget*>(view) && view->isVisible() && view->model())
            rows = std::max(rows, view->model()->rowCount());
    return rows;
}

// The longest stall the console's probe saw over its whole run (its last line, written as the
// window closes, holds it).
long probeWorstStall(const std::string& probe) {
    QFile file(QString::fromStdString(probe));
    long worst = -1;
    if (file.open(QIODevice::ReadOnly))
        while (!file.atEnd()) {
            const QJsonObject line = QJsonDocument::fromJson(file.readLine()).object();
            worst = std::max<long>(worst, line.value("worst_stall_ms").toInt(-1));
        }
    return worst;
}

// The stalls of this thread step by step, by the probe's rule: a tick every 10 ms, and how
// late one comes is how long the thread was held up.
class StallClock {
public:
    StallClock() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            const long late = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(now - m_last).count()) - kTickMs;
            m_last = now;
            m_worst = std::max(m_worst, late);
        });
        m_last = Clock::now();
        m_timer.start(kTickMs);
    }
    // The longest stall since the last call; the tick held up by the step just done is let in.
    long take() {
        runUntil([] { return false; }, 3 * kTickMs);
        const long worst = m_worst;
        m_worst = 0;
        return worst;
    }

private:
    static constexpr int kTickMs = 10;
    QTimer m_timer;
    Clock::time_point m_last;
    long m_worst = 0;
};

// One console: open, expand the root, select the domain until its rows are shown. Prints one
// line of figures for the caller; 0 when every step came.
int consoleRun(const std::string& domain, const std::string& probe) {
    setenv("LUMIVEL_CONSOLE_PROBE", probe.c_str(), 1);
    CoInitialize(nullptr);
    std::vector<lumivel::console::RegisteredSnapin> snapins = lumivel::console::StandaloneSnapins();
    if (snapins.size() != 1) {
        std::fprintf(stderr, "console_load_bench: %zu stand-alone snap-ins registered, not 1\n", snapins.size());
        return 1;
    }
    int status = 1;
    {
        ConsoleDriver console;
        StallClock stalls;
        auto started = Clock::now();
        if (FAILED(console.open(snapins[0].clsid, snapins[0].name))) {
            std::fprintf(stderr, "console_load_bench: the snap-in cannot be opened\n");
            return 1;
        }
        const double opened = seconds(Clock::now() - started);
        const long openStall = stalls.take();

        started = Clock::now();
        console.expand(console.root());
        HSCOPEITEM node = 0;
        runUntil(
            [&] {
                for (HSCOPEITEM child : console.children(console.root()))
                    if (lumivel::ToUtf8(console.shownName(child)) == domain) node = child;
                return node != 0;
            },
            60000);
        const double expanded = seconds(Clock::now() - started);
        if (!node) {
            std::fprintf(stderr, "console_load_bench: %s is no node below the root\n", domain.c_str());
            return 1;
        }
        const long expandStall = stalls.take();

        started = Clock::now();
        console.select(node);
        long count = -1;
        const bool shown = runUntil(
            [&] {
                count = listedCount(console.statusText());
                return count >= 0 && resultRows(console.window()) >= std::min<long>(count, 1);
            },
            kWaitMs);
        // What the listing asked to be drawn is drawn before the clock stops.
        QApplication::processEvents();
        const double selected = seconds(Clock::now() - started);
        const long selectStall = stalls.take();
        const long rows = resultRows(console.window());
        const std::string statusText = lumivel::ToUtf8(console.statusText());
        console.close();
        const long wholeStall = probeWorstStall(probe);
        if (!shown) {
            std::fprintf(stderr, "console_load_bench: no listing within %d s; the status says \"%s\"\n", kWaitMs / 1000,
                         statusText.c_str());
        } else {
            std::printf("figures %ld %ld %.3f %.3f %.3f %ld %ld %ld %ld %ld\n", count, rows, opened, expanded, selected,
                        peakResidentKilobytes(), openStall, expandStall, selectStall, wholeStall);
            status = 0;
        }
    }
    CoUninitialize();
    return status;
}

struct Figures {
    long count = 0, rows = 0;
    double opened = 0, expanded = 0, selected = -1;
    long peakKilobytes = 0, openStall = 0, expandStall = 0, selectStall = 0, wholeStall = 0;
};

std::optional<Figures> parseFigures(const std::string& output) {
    const size_t at = output.find("figures ");
    Figures f;
    if (at == std::string::npos ||
        std::sscanf(output.c_str() + at, "figures %ld %ld %lf %lf %lf %ld %ld %ld %ld %ld", &f.count, &f.rows, &f.opened,
                    &f.expanded, &f.selected, &f.peakKilobytes, &f.openStall, &f.expandStall, &f.selectStall,
                    &f.wholeStall) != 10)
        return std::nullopt;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string server = environment("TESTDC_DC"), baseDn = environment("TESTDC_BASEDN"),
                      domain = environment("TESTDC_DOMAIN");
    if (server.empty() || baseDn.empty() || domain.empty()) {
        std::fprintf(stderr, "console_load_bench: run inside the test directory (testdc exec)\n");
        return 1;
    }
    if (argc > 2 && std::string(argv[1]) == "--console") return consoleRun(domain, argv[2]);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    // The console finds the modules through a registry of its own and draws offscreen.
    char folder[] = "/tmp/console-load-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string bin = binaryFolder();
    if (!bench::PrepareConsole("console_load_bench", folder, domain)) {
        std::filesystem::remove_all(folder);
        return 1;
    }

    // ldapsearch and a console alternating, the best run of each; the most memory and the
    // longest stalls of any console.
    std::optional<Figures> best;
    Figures worst;
    double bestSearch = -1;
    int failed = 0;
    for (int run = 0; run < runs && !failed; ++run) {
        const double searched = bench::TimeProcess(bench::TombstoneLdapsearch(server, baseDn));
        if (searched < 0) {
            std::fprintf(stderr, "console_load_bench: ldapsearch failed\n");
            failed = 1;
            break;
        }
        if (bestSearch < 0 || searched < bestSearch) bestSearch = searched;
        const std::string probe = std::string(folder) + "/probe-" + std::to_string(run) + ".jsonl";
        std::optional<Figures> figures = parseFigures(bench::CommandOutput(
            bench::ShellQuote(bin + "/console_load_bench") + " --console " + bench::ShellQuote(probe)));
        if (!figures) {
            std::fprintf(stderr, "console_load_bench: the console's run %d failed\n", run + 1);
            failed = 1;
            break;
        }
        if (!best || figures->selected < best->selected) best = figures;
        worst.peakKilobytes = std::max(worst.peakKilobytes, figures->peakKilobytes);
        worst.openStall = std::max(worst.openStall, figures->openStall);
        worst.expandStall = std::max(worst.expandStall, figures->expandStall);
        worst.selectStall = std::max(worst.selectStall, figures->selectStall);
        worst.wholeStall = std::max(worst.wholeStall, figures->wholeStall);
    }
    std::filesystem::remove_all(folder);
    if (failed) return 1;

    const double target = 1.2 * bestSearch + 0.5;
    std::printf("tombstones listed:                        %ld, %ld rows in the result pane (%s)\n", best->count,
                best->rows, bench::MachineLoad().c_str());
    std::printf("ldapsearch, same attributes (best of %d):  %.3f s\n", runs, bestSearch);
    std::printf("console: select the domain until its rows show (best of %d): %.3f s, %.2f x ldapsearch "
                "(target <= 1.2 x + 0.5 s = %.3f s)\n",
                runs, best->selected, best->selected / bestSearch, target);
    std::printf("  before it: open %.3f s, expand the root %.3f s\n", best->opened, best->expanded);
    std::printf("console's peak resident memory:           %.1f MB (target <= 300 MB)\n",
                static_cast<double>(worst.peakKilobytes) * 1024.0 / 1e6);
    // The probe's clock starts with the window; the bench's own, step by step, also sees the
    // snap-in's opening, which the console does before it shows its window, so that no one
    // waits on a window that does not answer then.
    const long longest = std::max({worst.wholeStall, worst.expandStall, worst.selectStall});
    std::printf("longest stall of the console's thread:    %ld ms with its window shown (target <= 100 ms); the probe's "
                "over the whole run %ld; step by step: expanding the root %ld, selecting the domain until listed %ld; "
                "opening the snap-in, before the window shows, %ld\n",
                longest, worst.wholeStall, worst.expandStall, worst.selectStall, worst.openStall);
    return 0;
}
