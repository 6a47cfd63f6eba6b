#include "cli/cli_jobs.h"

#include <cstdio>

#include "cli/cli_output.h"
#include "lumivel/com_ptr.h"
#include "lumivel/system_messages.h"
#include "shared/backup_job.h"
#include "shared/text_helpers.h"
#include "win/files.h"
#include "win/mstask.h"
#include "win/threads.h"

namespace lumivel_cli {

namespace {

std::u16string takeText(LPWSTR text) {
    std::u16string copy = text ? std::u16string(text) : std::u16string();
    CoTaskMemFree(text);
    return copy;
}

std::string timeText(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
    return text;
}

std::string utcText(const SYSTEMTIME& t) {
    return IsoUtcOfLocalTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

std::string codeText(DWORD code) {
    char text[64];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

std::string systemText(HRESULT result) {
    std::u16string message = lumivel::SystemMessageText(static_cast<DWORD>(result));
    return message.empty() ? codeText(static_cast<DWORD>(result)) : OneLine(message);
}

// The object a backup job's script names, else what the job runs.
std::string objectOf(ITask* task, const std::u16string& application, const std::u16string& parameters) {
    if (auto dn = lumivel::shared::ObjectOfBackupTask(task)) return lumivel::shared::NarrowText(*dn);
    return lumivel::shared::NarrowText(application + (parameters.empty() ? u"" : u" " + parameters));
}

void readNextRun(ITask* task, JobRow* row) {
    SYSTEMTIME next{};
    HRESULT hr = task->GetNextRunTime(&next);
    row->nextRunUtc = hr == S_OK ? utcText(next) : std::string();
    switch (hr) {
        case S_OK: row->nextRun = timeText(next); break;
        case SCHED_S_TASK_DISABLED: row->nextRun = "disabled"; break;
        case SCHED_S_TASK_NO_VALID_TRIGGERS: row->nextRun = "no schedule"; break;
        case SCHED_S_TASK_NO_MORE_RUNS: row->nextRun = "none"; break;
        default: row->nextRun = systemText(hr); break;
    }
    row->nextRunState = hr == S_OK ? "scheduled" : row->nextRun;
}

std::string resultOf(ITask* task) {
    HRESULT status = 0;
    task->GetStatus(&status);
    if (status == SCHED_S_TASK_RUNNING) return "running";
    if (status == SCHED_S_TASK_TERMINATED) return "stopped";
    DWORD exitCode = 0;
    HRESULT hr = task->GetExitCode(&exitCode);
    if (hr == SCHED_S_TASK_HAS_NOT_RUN) return "-";
    if (FAILED(hr)) return "did not start: " + systemText(hr);
    return exitCode == 0 ? "succeeded" : "exit code " + std::to_string(exitCode);
}

HRESULT scheduler(lumivel::ComPtr<ITaskScheduler>* result) {
    return CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler, result->putVoid());
}

HRESULT activate(const std::u16string& name, lumivel::ComPtr<ITask>* task) {
    lumivel::ComPtr<ITaskScheduler> tasks;
    HRESULT hr = scheduler(&tasks);
    if (FAILED(hr)) return hr;
    return tasks->Activate(name.c_str(), IID_ITask, reinterpret_cast<IUnknown**>(task->put()));
}

}  // namespace

HRESULT DescribeJob(const std::u16string& name, JobRow* row) {
    lumivel::ComPtr<ITask> task;
    HRESULT hr = activate(name, &task);
    if (FAILED(hr)) return hr;
    LPWSTR text = nullptr;
    task->GetApplicationName(&text);
    std::u16string application = takeText(text);
    task->GetParameters(&text);
    std::u16string parameters = takeText(text);
    row->name = lumivel::shared::NarrowText(name);
    row->object = objectOf(task.get(), application, parameters);
    WORD triggers = 0;
    task->GetTriggerCount(&triggers);
    row->schedule.clear();
    for (WORD i = 0; i < triggers; ++i)
        if (SUCCEEDED(task->GetTriggerString(i, &text))) row->schedule += (i ? "; " : "") + lumivel::shared::NarrowText(takeText(text));
    readNextRun(task.get(), row);
    SYSTEMTIME last{};
    const bool ran = task->GetMostRecentRunTime(&last) == S_OK;
    row->lastRun = ran ? timeText(last) : "never";
    row->lastRunUtc = ran ? utcText(last) : std::string();
    row->result = resultOf(task.get());
    return S_OK;
}

HRESULT ListJobs(std::vector<JobRow>* rows) {
    lumivel::ComPtr<ITaskScheduler> tasks;
    lumivel::ComPtr<IEnumWorkItems> items;
    HRESULT hr = scheduler(&tasks);
    if (SUCCEEDED(hr)) hr = tasks->Enum(items.put());
    if (FAILED(hr)) return hr;
    for (;;) {
        LPWSTR* names = nullptr;
        ULONG fetched = 0;
        hr = items->Next(16, &names, &fetched);
        for (ULONG i = 0; i < fetched; ++i) {
            std::u16string name = takeText(names[i]);
            JobRow row;
            // An item that cannot be read is still listed, with why.
            if (HRESULT described = DescribeJob(name, &row); FAILED(described)) {
                row = JobRow{lumivel::shared::NarrowText(name), "-", "-", "-", "", "unreadable", "-", "", systemText(described)};
            }
            rows->push_back(std::move(row));
        }
        CoTaskMemFree(names);
        if (hr != S_OK) return SUCCEEDED(hr) ? S_OK : hr;
    }
}

Record JobRecord(const JobRow& row) {
    Record record;
    record.set("name", row.name)
        .set("object", row.object)
        .set("schedule", row.schedule)
        .set("nextRun", UtcTime(row.nextRunUtc))
        .set("nextRunState", row.nextRunState)
        .set("lastRun", UtcTime(row.lastRunUtc))
        .set("result", row.result);
    // A table shows the local times the scheduler keeps, and why a job has none.
    record.shown["nextRun"] = row.nextRun;
    if (row.lastRunUtc.empty()) record.shown["lastRun"] = row.lastRun;
    return record;
}

HRESULT DeleteJob(const std::u16string& name) {
    lumivel::ComPtr<ITaskScheduler> tasks;
    HRESULT hr = scheduler(&tasks);
    return SUCCEEDED(hr) ? tasks->Delete(name.c_str()) : hr;
}

HRESULT RunJob(const std::u16string& name) {
    lumivel::ComPtr<ITask> task;
    HRESULT hr = activate(name, &task);
    return SUCCEEDED(hr) ? task->Run() : hr;
}

}  // namespace lumivel_cli
