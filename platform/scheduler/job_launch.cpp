#include "job_launch.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>

#include "job_limits.h"
#include "lumivel/text.h"
#include "win/errors.h"
#include "win/processes.h"
#include "win/threads.h"

extern char** environ;

namespace lumivel::scheduler {
namespace {

constexpr const char* kPassedOn[] = {"PATH",        "LANG",          "LANGUAGE",       "TZ",
                                     "TZDIR",       "KRB5_CONFIG",   "KRB5_KDC_PROFILE", "LDAPSASL_NOCANON",
                                     "LDAPCONF",    "LDAPRC",        "SMB_CONF_PATH"};
// The service's own folders: a run as the service's account uses them, the job account has its own.
constexpr const char* kServiceFolders[] = {"TMPDIR", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"};
// Set for every run from the item, never taken from the service.
constexpr const char* kSetPerRun[] = {"LUMIVEL_USER_HIVE", "LUMIVEL_MACHINE_HIVE", "LUMIVEL_UI"};

bool StartsWith(const std::string& text, std::string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

template <size_t N>
bool Among(const char* const (&names)[N], const std::string& name) {
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// A run of a root service, readied in its folder and handed to the job account.
HRESULT PrepareHandOver(const WorkItemRecord& record, const JobAccount& account, JobFolder& folder, RunPlaces* places,
                        std::string* problem) {
    if (HRESULT hr = folder.addHive(record.userHive, true, "user.hive", problem); FAILED(hr)) return hr;
    if (HRESULT hr = folder.addHive(record.machineHive, false, "machine.hive", problem); FAILED(hr)) return hr;
    if (HRESULT hr = folder.addFolder("tmp", problem); FAILED(hr)) return hr;
    if (HRESULT hr = folder.handOver(account, problem); FAILED(hr)) return hr;
    places->account = &account;
    places->home = folder.path();
    places->temporary = folder.pathOf("tmp");
    places->userHive = folder.pathOf("user.hive");
    places->machineHive = folder.pathOf("machine.hive");
    places->auditLog = folder.pathOf("audit.log");
    return S_OK;
}

}  // namespace

std::u16string JobCommandLine(const WorkItemRecord& record) {
    std::u16string line = record.applicationName;
    if (line.empty() || line.front() != u'"') line = u"\"" + line + u"\"";
    if (!record.parameters.empty()) line += u" " + record.parameters;
    return line;
}

std::vector<std::u16string> JobEnvironment(const WorkItemRecord& record, const std::vector<std::string>& service,
                                           const RunPlaces& places) {
    const bool handedOver = places.account != nullptr;
    std::vector<std::string> entries;
    for (const std::string& entry : service) {
        const std::string name = NameOf(entry);
        bool passed = Among(kPassedOn, name) || StartsWith(name, "LC_") || StartsWith(name, "LUMIVEL_");
        if (Among(kServiceFolders, name)) passed = !handedOver;
        if (Among(kSetPerRun, name) || (handedOver && name == "LUMIVEL_AUDIT_LOG")) passed = false;
        // The service's own ticket is for runs of the service's own account alone.
        if (name == "KRB5CCNAME") passed = !handedOver && places.credentialCache.empty();
        if (passed) entries.push_back(entry);
    }
    if (std::none_of(entries.begin(), entries.end(), [](const std::string& e) { return NameOf(e) == "PATH"; }))
        entries.push_back("PATH=/usr/local/bin:/usr/bin:/bin");
    if (handedOver) {
        entries.push_back("HOME=" + places.home);
        entries.push_back("USER=" + places.account->name);
        entries.push_back("LOGNAME=" + places.account->name);
        entries.push_back("SHELL=" + places.account->shell);
        entries.push_back("TMPDIR=" + places.temporary);
        entries.push_back("LUMIVEL_USER_HIVE=" + places.userHive);
        entries.push_back("LUMIVEL_MACHINE_HIVE=" + places.machineHive);
        entries.push_back("LUMIVEL_AUDIT_LOG=" + places.auditLog);
    } else {
        if (const passwd* account = ::getpwuid(::geteuid())) {
            entries.push_back(std::string("HOME=") + account->pw_dir);
            entries.push_back(std::string("USER=") + account->pw_name);
            entries.push_back(std::string("LOGNAME=") + account->pw_name);
            entries.push_back(std::string("SHELL=") +
                              (account->pw_shell && *account->pw_shell ? account->pw_shell : "/bin/sh"));
        }
        if (!record.userHive.empty()) entries.push_back("LUMIVEL_USER_HIVE=" + record.userHive);
        if (!record.machineHive.empty()) entries.push_back("LUMIVEL_MACHINE_HIVE=" + record.machineHive);
    }
    entries.push_back("LUMIVEL_UI=headless");
    if (!places.credentialCache.empty()) entries.push_back("KRB5CCNAME=FILE:" + places.credentialCache);
    std::vector<std::u16string> wide;
    for (const std::string& entry : entries) wide.push_back(FromUtf8(entry));
    return wide;
}

HRESULT LaunchJob(const WorkItemRecord& record, LaunchedJob* job, std::string* problem) {
    if (!record.accountSet) return *problem = "it has no account", SCHED_E_ACCOUNT_INFORMATION_NOT_SET;
    if (record.applicationName.empty()) return *problem = "it names no program", SCHED_E_TASK_NOT_READY;
    if (!record.principal.empty() && record.keytab.empty())
        return *problem = "its account has no key", SCHED_E_ACCOUNT_INFORMATION_NOT_SET;
    const bool handOver = RunsJobsAsJobAccount();
    JobAccount account;
    if (handOver)
        if (HRESULT hr = FindJobAccount(&account, problem); FAILED(hr)) return hr;

    RunPlaces places;
    if (handOver || !record.principal.empty())
        if (HRESULT hr = JobFolder::Create(handOver, &job->folder, problem); FAILED(hr)) return hr;
    if (!record.principal.empty()) {
        if (HRESULT hr = job->folder->addTicket(record.principal, record.keytab, problem); FAILED(hr)) return hr;
        places.credentialCache = job->folder->pathOf("ccache");
    }
    if (handOver)
        if (HRESULT hr = PrepareHandOver(record, account, *job->folder, &places, problem); FAILED(hr)) return hr;

    std::vector<std::string> service;
    for (char** entry = environ; entry && *entry; ++entry) service.emplace_back(*entry);
    std::u16string block;
    for (const std::u16string& entry : JobEnvironment(record, service, places)) block += entry + u'\0';
    block += u'\0';

    std::u16string directory = record.workingDirectory;
    if (directory.empty() && handOver) directory = FromUtf8(places.home);
    if (directory.empty())
        if (const passwd* own = ::getpwuid(::geteuid())) directory = FromUtf8(own->pw_dir);
    ProcessConfinement confinement;
    confinement.limits = JobLimits(handOver);
    if (handOver) confinement.account = ProcessAccount{account.uid, account.gid, account.groups};
    std::u16string line = JobCommandLine(record);
    PROCESS_INFORMATION process{};
    std::string step;
    if (!CreateConfinedProcessW(line.data(), block.data(), directory.empty() ? nullptr : directory.c_str(), confinement,
                                &process, &step)) {
        *problem = step.empty() ? "its program could not be started"
                                : "its program could not be started (" + step + ")";
        if (handOver) *problem += " as the account " + account.name;
        return HRESULT_FROM_WIN32(GetLastError());
    }
    CloseHandle(process.hThread);
    job->process = process.hProcess;
    job->limits = confinement.limits;
    job->applicationName = record.applicationName;
    if (handOver) job->account = account.name;
    return S_OK;
}

}  // namespace lumivel::scheduler
