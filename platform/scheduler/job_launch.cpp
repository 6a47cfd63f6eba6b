#include "job_launch.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>

#include "lumivel/temporary_file.h"
#include "account_keys.h"
#include "lumivel/text.h"
#include "win/errors.h"
#include "win/processes.h"
#include "win/threads.h"

extern char** environ;

namespace lumivel::scheduler {
namespace {

constexpr const char* kPassedOn[] = {"PATH",        "LANG",          "LANGUAGE",       "TZ",
                                     "TZDIR",       "KRB5_CONFIG",   "KRB5_KDC_PROFILE", "LDAPSASL_NOCANON",
                                     "LDAPCONF",    "LDAPRC",        "SMB_CONF_PATH",  "TMPDIR",
                                     "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"};
// Set for every run from the item, never taken from the service.
constexpr const char* kSetPerRun[] = {"LUMIVEL_USER_HIVE", "LUMIVEL_MACHINE_HIVE", "LUMIVEL_UI"};

bool StartsWith(const std::string& text, std::string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

std::u16string JobCommandLine(const WorkItemRecord& record) {
    std::u16string line = record.applicationName;
    if (line.empty() || line.front() != u'"') line = u"\"" + line + u"\"";
    if (!record.parameters.empty()) line += u" " + record.parameters;
    return line;
}

std::vector<std::u16string> JobEnvironment(const WorkItemRecord& record, const std::vector<std::string>& service,
                                           const std::string& credentialCache) {
    std::vector<std::string> entries;
    for (const std::string& entry : service) {
        const std::string name = NameOf(entry);
        bool passed = std::find(std::begin(kPassedOn), std::end(kPassedOn), name) != std::end(kPassedOn) ||
                      StartsWith(name, "LC_") || StartsWith(name, "LUMIVEL_");
        if (std::find(std::begin(kSetPerRun), std::end(kSetPerRun), name) != std::end(kSetPerRun)) passed = false;
        if (name == "KRB5CCNAME") passed = credentialCache.empty();
        if (passed) entries.push_back(entry);
    }
    if (std::none_of(entries.begin(), entries.end(), [](const std::string& e) { return NameOf(e) == "PATH"; }))
        entries.push_back("PATH=/usr/local/bin:/usr/bin:/bin");
    if (const passwd* account = ::getpwuid(::geteuid())) {
        entries.push_back(std::string("HOME=") + account->pw_dir);
        entries.push_back(std::string("USER=") + account->pw_name);
        entries.push_back(std::string("LOGNAME=") + account->pw_name);
        entries.push_back(std::string("SHELL=") + (account->pw_shell && *account->pw_shell ? account->pw_shell : "/bin/sh"));
    }
    if (!record.userHive.empty()) entries.push_back("LUMIVEL_USER_HIVE=" + record.userHive);
    if (!record.machineHive.empty()) entries.push_back("LUMIVEL_MACHINE_HIVE=" + record.machineHive);
    entries.push_back("LUMIVEL_UI=headless");
    if (!credentialCache.empty()) entries.push_back("KRB5CCNAME=FILE:" + credentialCache);
    std::vector<std::u16string> wide;
    for (const std::string& entry : entries) wide.push_back(FromUtf8(entry));
    return wide;
}

HRESULT LaunchJob(const WorkItemRecord& record, LaunchedJob* job) {
    if (!record.accountSet) return SCHED_E_ACCOUNT_INFORMATION_NOT_SET;
    if (record.applicationName.empty()) return SCHED_E_TASK_NOT_READY;
    std::string cache;
    if (!record.principal.empty()) {
        if (record.keytab.empty()) return SCHED_E_ACCOUNT_INFORMATION_NOT_SET;
        DWORD error = ERROR_SUCCESS;
        job->credentials = PrivateTempDirectory::Create(u"lumivel-job-", &error);
        if (!job->credentials) return HRESULT_FROM_WIN32(error);
        const std::string keytab = ToUtf8(job->credentials->PathOf(u"keytab"));
        cache = ToUtf8(job->credentials->PathOf(u"ccache"));
        error = WriteFileAtomically(
            keytab, std::string_view(reinterpret_cast<const char*>(record.keytab.data()), record.keytab.size()), 0600,
            ExistingFile::Keep);
        if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
        HRESULT hr = TicketFromKeytab(record.principal, keytab, cache);
        ::unlink(keytab.c_str());
        if (FAILED(hr)) return hr;
    }

    std::vector<std::string> service;
    for (char** entry = environ; entry && *entry; ++entry) service.emplace_back(*entry);
    std::u16string block;
    for (const std::u16string& entry : JobEnvironment(record, service, cache)) block += entry + u'\0';
    block += u'\0';

    std::u16string directory = record.workingDirectory;
    if (directory.empty())
        if (const passwd* account = ::getpwuid(::geteuid())) directory = FromUtf8(account->pw_dir);
    std::u16string line = JobCommandLine(record);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW,
                        block.data(), directory.empty() ? nullptr : directory.c_str(), &startup, &process))
        return HRESULT_FROM_WIN32(GetLastError());
    CloseHandle(process.hThread);
    job->process = process.hProcess;
    return S_OK;
}

}  // namespace lumivel::scheduler
