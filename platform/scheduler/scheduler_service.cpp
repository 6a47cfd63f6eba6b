#include "scheduler_service.h"

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "../base/time_zone.h"
#include "job_audit.h"
#include "job_launch.h"
#include "job_limits.h"
#include "lumivel/audit_sinks.h"
#include "lumivel/system_messages.h"
#include "lumivel/text.h"
#include "run_times.h"
#include "task_folder.h"
#include "win/errors.h"
#include "win/eventlog.h"
#include "win/datetime.h"
#include "win/processes.h"
#include "win/threads.h"

// After the platform headers: it defines LOCK_WRITE, a name objidl.h uses.
#include <fcntl.h>

namespace lumivel::scheduler {
namespace {

// Wakes at least this often, so that a change of the clock or the zone is noticed.
constexpr int kLongestSleepMs = 60 * 1000;
// How long a run stopped at the service's end may take to go.
constexpr DWORD kStopPatienceMs = 10 * 1000;

Instant Now() { return static_cast<Instant>(std::time(nullptr)); }

std::string HresultText(HRESULT hr) {
    std::string message = ToUtf8(SystemMessageText(static_cast<DWORD>(hr)));
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    return message.empty() ? code : message + " (" + code + ")";
}

class Log {
public:
    explicit Log(LogEcho echo) : m_echo(echo), m_source(RegisterEventSourceW(nullptr, u"lumivel-scheduler")) {}
    ~Log() {
        if (m_source) DeregisterEventSource(m_source);
    }
    void write(WORD type, const std::string& text) {
        std::u16string wide = FromUtf8(text);
        LPCWSTR strings[] = {wide.c_str()};
        if (m_source) ReportEventW(m_source, type, 0, 0, nullptr, 1, 0, strings, nullptr);
        if (m_echo == LogEcho::AlsoStandardError) {
            std::fprintf(stderr, "lumivel-scheduler: %s\n", text.c_str());
            std::fflush(stderr);
        }
    }
    void info(const std::string& text) { write(EVENTLOG_INFORMATION_TYPE, text); }
    void warning(const std::string& text) { write(EVENTLOG_WARNING_TYPE, text); }
    void error(const std::string& text) { write(EVENTLOG_ERROR_TYPE, text); }

private:
    LogEcho m_echo;
    HANDLE m_source;
};

// Names come from file names; the log gets them on one line.
std::string Quoted(const std::u16string& name) {
    std::string text = ToUtf8(name);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    return "\"" + text + "\"";
}

// When an item runs next, as worked out when the service first saw its schedule or last fired
// it. Kept across readings of the folder, so that a run falling due while the folder is read
// again is not lost; worked out anew when the schedule itself changes.
struct Plan {
    std::vector<TASK_TRIGGER> triggers;
    DWORD flags = 0;
    std::optional<Instant> next;
};

bool SameSchedule(const Plan& plan, const WorkItemRecord& record) {
    return plan.flags == record.flags && plan.triggers.size() == record.triggers.size() &&
           std::memcmp(plan.triggers.data(), record.triggers.data(), plan.triggers.size() * sizeof(TASK_TRIGGER)) == 0;
}

struct RunningJob {
    LaunchedJob launched;
    std::thread watcher;
    std::atomic<bool> outlived{false};
    std::atomic<bool> watched{false};  // the watcher has seen the run end
    bool stopRequested = false;
};

class Service {
public:
    explicit Service(LogEcho echo) : m_log(echo) {}
    ~Service();
    int run();

private:
    HRESULT start();
    void scan();
    void fire(const std::u16string& name, const WorkItemRecord& record, bool requested);
    void finish(const std::u16string& name);
    // Adds the audit lines a run of the job account wrote to the machine's audit log.
    void relayAudit(const std::u16string& name, const JobFolder& folder);
    void stopAll();
    bool finishedSoon();
    // The plan of an item, made when its schedule is new to the service.
    Plan& planOf(const std::u16string& name, const WorkItemRecord& record, Instant now);
    void deleteIfDone(const std::u16string& name, const WorkItemRecord& record, Instant now);

    Log m_log;
    TaskFolder m_folder;
    ServiceMark m_mark;
    int m_inotify = -1;
    int m_signals = -1;
    int m_wake[2] = {-1, -1};
    std::map<std::u16string, WorkItemRecord> m_items;
    std::map<std::u16string, Plan> m_plans;
    std::map<std::u16string, std::unique_ptr<RunningJob>> m_running;
    bool m_rescan = true;
};

Service::~Service() {
    for (int fd : {m_inotify, m_signals, m_wake[0], m_wake[1]})
        if (fd >= 0) ::close(fd);
}

HRESULT Service::start() {
    if (HRESULT hr = TaskFolder::Open(CreateFolder::Yes, &m_folder); FAILED(hr)) return hr;
    if (HRESULT hr = m_mark.take(m_folder); FAILED(hr)) return hr;
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, s);
    // Blocked before any thread exists, so that only the signal descriptor sees them.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    m_signals = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    m_inotify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (m_signals < 0 || m_inotify < 0 || ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES);
    if (::inotify_add_watch(m_inotify, m_folder.path().c_str(),
                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF) < 0)
        return HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES);
    // Runs a former service left marked as running ended with it.
    std::vector<std::u16string> names;
    m_folder.list(&names);
    for (const std::u16string& name : names) {
        UpdateItem(m_folder, name, [&](WorkItemRecord& record) {
            if (!record.running) return false;
            record.running = false;
            record.terminated = true;
            m_log.warning("work item " + Quoted(name) + " was still marked as running from an earlier service");
            return true;
        });
    }
    return S_OK;
}

std::optional<Instant> NextRun(const WorkItemRecord& record, Instant after) {
    if (record.flags & TASK_FLAG_DISABLED) return std::nullopt;
    auto zone = CurrentZone();
    std::optional<Instant> next;
    for (const TASK_TRIGGER& trigger : record.triggers)
        if (auto run = NextRunOfTrigger(trigger, after, *zone); run && (!next || *run < *next)) next = run;
    return next;
}

Plan& Service::planOf(const std::u16string& name, const WorkItemRecord& record, Instant now) {
    Plan& plan = m_plans[name];
    if (plan.triggers.empty() || !SameSchedule(plan, record)) {
        plan.triggers = record.triggers;
        plan.flags = record.flags;
        plan.next = NextRun(record, now);
    }
    return plan;
}

void Service::deleteIfDone(const std::u16string& name, const WorkItemRecord& record, Instant now) {
    if (!(record.flags & TASK_FLAG_DELETE_WHEN_DONE) || (record.flags & TASK_FLAG_DISABLED)) return;
    if (record.triggers.empty() || record.running || m_running.count(name) || record.runRequest != record.runHandled)
        return;
    if (planOf(name, record, now).next) return;
    FolderWriteLock lock(m_folder);
    HRESULT hr = lock.result();
    if (SUCCEEDED(hr)) hr = m_folder.remove(name);
    if (SUCCEEDED(hr))
        m_log.info("work item " + Quoted(name) + " has no further run time and was deleted");
    else if (hr != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        m_log.error("work item " + Quoted(name) + " could not be deleted: " + HresultText(hr));
    m_items.erase(name);
    m_plans.erase(name);
}

void Service::scan() {
    std::vector<std::u16string> names;
    if (HRESULT hr = m_folder.list(&names); FAILED(hr)) {
        m_log.error("the task folder cannot be read: " + HresultText(hr));
        return;
    }
    std::map<std::u16string, WorkItemRecord> items;
    for (const std::u16string& name : names) {
        WorkItemRecord record;
        HRESULT hr = m_folder.read(name, &record);
        if (FAILED(hr)) {
            // Read again on the next change; an item mid-replacement reads whole next time.
            if (!m_items.count(name)) m_log.warning("work item " + Quoted(name) + " is not loaded: " + HresultText(hr));
            continue;
        }
        items.emplace(name, std::move(record));
    }
    m_items = std::move(items);
    for (auto it = m_plans.begin(); it != m_plans.end();)
        it = m_items.count(it->first) ? std::next(it) : m_plans.erase(it);
}

void Service::fire(const std::u16string& name, const WorkItemRecord& record, bool requested) {
    const uint64_t request = record.runRequest;
    if (m_running.count(name)) {
        m_log.warning("work item " + Quoted(name) + " is still running; it is not started again");
        if (requested) UpdateItem(m_folder, name, [&](WorkItemRecord& r) { return r.runHandled = request, true; });
        return;
    }
    auto job = std::make_unique<RunningJob>();
    std::string problem;
    HRESULT hr = LaunchJob(record, &job->launched, &problem);
    // A run that could not start leaves nothing behind.
    if (FAILED(hr)) job->launched.folder.reset();
    SYSTEMTIME started{};
    GetLocalTime(&started);
    started.wMilliseconds = 0;
    HRESULT written = UpdateItem(m_folder, name, [&](WorkItemRecord& r) {
        r.mostRecentRun = started;
        r.hasRun = true;
        r.running = SUCCEEDED(hr);
        r.terminated = false;
        r.exitCode = 0;
        r.startError = SUCCEEDED(hr) ? S_OK : hr;
        if (requested) r.runHandled = request;
        return true;
    });
    if (FAILED(written)) m_log.error("work item " + Quoted(name) + " cannot record its run: " + HresultText(written));
    if (FAILED(hr)) {
        m_log.error("work item " + Quoted(name) + " could not start: " + (problem.empty() ? "" : problem + ": ") +
                    HresultText(hr));
        return;
    }
    m_log.info("work item " + Quoted(name) + " started" +
               (job->launched.account.empty() ? std::string() : " as the account " + job->launched.account));
    // The watcher waits no longer than the item may run, then stops the run.
    const DWORD limit = record.maxRunTime;
    RunningJob* watched = job.get();
    const int wake = m_wake[1];
    job->watcher = std::thread([watched, limit, wake] {
        if (WaitForSingleObject(watched->launched.process, limit) == WAIT_TIMEOUT) {
            watched->outlived = true;
            TerminateProcess(watched->launched.process, static_cast<UINT>(SCHED_S_TASK_TERMINATED));
            WaitForSingleObject(watched->launched.process, kStopPatienceMs);
        }
        watched->watched = true;
        const char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(wake, &byte, 1);
    });
    m_running.emplace(name, std::move(job));
}

void Service::finish(const std::u16string& name) {
    auto it = m_running.find(name);
    if (it == m_running.end()) return;
    RunningJob& job = *it->second;
    job.watcher.join();
    DWORD code = 0;
    GetExitCodeProcess(job.launched.process, &code);
    ProcessEnd end;
    GetProcessEnd(job.launched.process, &end);
    CloseHandle(job.launched.process);
    bool processorLimit = false;
    const std::string limit = LimitThatEndedRun(job.launched.limits, end, code, job.launched.applicationName,
                                                &processorLimit);
    const bool stopped = job.outlived || job.stopRequested || processorLimit;
    if (job.launched.folder && !job.launched.account.empty()) relayAudit(name, *job.launched.folder);
    m_running.erase(it);
    UpdateItem(m_folder, name, [&](WorkItemRecord& r) {
        r.running = false;
        r.exitCode = code;
        r.terminated = stopped;
        return true;
    });
    char text[64];
    std::snprintf(text, sizeof text, "%s with exit code %u", stopped ? "was stopped" : "ended", code);
    if (limit.empty()) m_log.info("work item " + Quoted(name) + " " + text);
    else m_log.error("work item " + Quoted(name) + " " + text + ": " + limit);
    WorkItemRecord record;
    if (SUCCEEDED(m_folder.read(name, &record))) deleteIfDone(name, record, Now());
}

void Service::relayAudit(const std::u16string& name, const JobFolder& folder) {
    RelayedAudit relayed;
    const std::string log = AuditLogFilePath();
    HRESULT hr = RelayAuditLines(folder.pathOf("audit.log"), log, &relayed);
    if (FAILED(hr))
        m_log.error("the audit lines of work item " + Quoted(name) + " could not be added to " + log + ": " +
                    HresultText(hr));
    if (relayed.refused)
        m_log.warning("work item " + Quoted(name) + " wrote " + std::to_string(relayed.refused) +
                      " audit lines that are not a backup's; they were left out");
    if (relayed.cutShort)
        m_log.warning("work item " + Quoted(name) + " wrote more audit lines than a backup writes; the rest were left out");
}

bool Service::finishedSoon() {
    char buffer[64];
    while (::read(m_wake[0], buffer, sizeof buffer) > 0) {
    }
    std::vector<std::u16string> ended;
    for (auto& [name, job] : m_running)
        if (job->watched) ended.push_back(name);
    for (const std::u16string& name : ended) finish(name);
    return !ended.empty();
}

void Service::stopAll() {
    for (auto& [name, job] : m_running) {
        job->stopRequested = true;
        TerminateProcess(job->launched.process, static_cast<UINT>(SCHED_S_TASK_TERMINATED));
    }
    std::vector<std::u16string> names;
    for (auto& entry : m_running) names.push_back(entry.first);
    for (const std::u16string& name : names) finish(name);
}

int Service::run() {
    if (HRESULT hr = start(); FAILED(hr)) {
        m_log.error("cannot serve the task folder " + m_folder.path() + ": " + HresultText(hr));
        return 1;
    }
    m_log.info("serving the task folder " + m_folder.path());
    for (;;) {
        if (m_rescan) {
            scan();
            m_rescan = false;
        }
        const Instant now = Now();
        std::optional<Instant> wakeAt;
        std::vector<std::pair<std::u16string, bool>> due;
        for (const auto& [name, record] : m_items) {
            if (record.terminateRequest != record.terminateHandled) {
                const uint64_t request = record.terminateRequest;
                if (auto job = m_running.find(name); job != m_running.end()) {
                    job->second->stopRequested = true;
                    TerminateProcess(job->second->launched.process, static_cast<UINT>(SCHED_S_TASK_TERMINATED));
                }
                UpdateItem(m_folder, name, [&](WorkItemRecord& r) { return r.terminateHandled = request, true; });
            }
            if (record.runRequest != record.runHandled) {
                due.emplace_back(name, true);
                continue;
            }
            Plan& plan = planOf(name, record, now);
            if (plan.next && *plan.next <= now) {
                due.emplace_back(name, false);
                // One run for however many fell due while the service could not fire them.
                plan.next = NextRun(record, std::max(*plan.next, now));
            }
            if (plan.next) wakeAt = wakeAt ? std::min(*wakeAt, *plan.next) : *plan.next;
        }
        for (const auto& [name, requested] : due) fire(name, m_items[name], requested);
        if (!due.empty()) {
            // The records now differ from their files: read them again before anything else.
            m_rescan = true;
            continue;
        }
        std::vector<std::pair<std::u16string, WorkItemRecord>> candidates(m_items.begin(), m_items.end());
        for (const auto& [name, record] : candidates) deleteIfDone(name, record, now);

        int timeout = kLongestSleepMs;
        if (wakeAt) {
            const auto nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch()).count();
            // A moment past the second it is due, so that the clock reads it when the wait ends.
            timeout = static_cast<int>(std::clamp<int64_t>(*wakeAt * 1000 - nowMs + 10, 0, kLongestSleepMs));
        }
        pollfd waits[] = {{m_signals, POLLIN, 0}, {m_inotify, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        int ready = ::poll(waits, 3, timeout);
        if (ready < 0 && errno != EINTR) {
            m_log.error("waiting failed; the service stops");
            stopAll();
            return 1;
        }
        if (waits[0].revents & POLLIN) {
            signalfd_siginfo info{};
            while (::read(m_signals, &info, sizeof info) == sizeof info) {
                if (info.ssi_signo == SIGHUP) {
                    m_rescan = true;
                    continue;
                }
                m_log.info("stopping");
                stopAll();
                return 0;
            }
        }
        if (waits[1].revents & POLLIN) {
            alignas(inotify_event) char buffer[4096];
            ssize_t n;
            while ((n = ::read(m_inotify, buffer, sizeof buffer)) > 0) {
                for (char* at = buffer; at < buffer + n;) {
                    auto* event = reinterpret_cast<inotify_event*>(at);
                    if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                        m_log.error("the task folder was removed; the service stops");
                        stopAll();
                        return 1;
                    }
                    // The locks and the temporaries of a replacement (dot files) change nothing.
                    const std::string file = event->len ? std::string(event->name) : std::string();
                    if (file.size() > 4 && file[0] != '.' && file.compare(file.size() - 4, 4, ".job") == 0)
                        m_rescan = true;
                    at += sizeof(inotify_event) + event->len;
                }
            }
        }
        if (waits[2].revents & POLLIN) finishedSoon();
    }
}

}  // namespace

int RunSchedulerService(LogEcho echo) {
    Service service(echo);
    return service.run();
}

}  // namespace lumivel::scheduler
