#include "task.h"

#include <string.h>

#include <algorithm>
#include <ctime>
#include <limits>
#include <new>
#include <utility>

#include "../base/time_zone.h"
#include "../registry/hive.h"
#include "account_keys.h"
#include "lumivel/text.h"
#include "run_times.h"
#include "trigger_text.h"
#include "win/datetime.h"
#include "win/processes.h"

namespace lumivel::scheduler {
namespace {

constexpr char kItemSuffix[] = ".job";

Instant Now() { return static_cast<Instant>(std::time(nullptr)); }

// The earliest run of any of the triggers after `after`.
std::optional<Instant> NextRun(const std::vector<TASK_TRIGGER>& triggers, Instant after, const Zone& zone) {
    std::optional<Instant> next;
    for (const TASK_TRIGGER& trigger : triggers)
        if (auto run = NextRunOfTrigger(trigger, after, zone); run && (!next || *run < *next)) next = run;
    return next;
}

// What GetNextRunTime and GetRunTimes report when the item cannot run at all.
HRESULT UnschedulableReason(const WorkItemRecord& record) {
    if (record.flags & TASK_FLAG_DISABLED) return SCHED_S_TASK_DISABLED;
    bool enabled = std::any_of(record.triggers.begin(), record.triggers.end(),
                               [](const TASK_TRIGGER& t) { return !(t.rgFlags & TASK_TRIGGER_FLAG_DISABLED); });
    return enabled ? S_OK : SCHED_S_TASK_NO_VALID_TRIGGERS;
}

TASK_TRIGGER NewTrigger() {
    // A new trigger fires daily from now on, as on Windows.
    SYSTEMTIME now{};
    GetLocalTime(&now);
    TASK_TRIGGER t{};
    t.cbTriggerSize = sizeof(TASK_TRIGGER);
    t.wBeginYear = now.wYear;
    t.wBeginMonth = now.wMonth;
    t.wBeginDay = now.wDay;
    t.wStartHour = now.wHour;
    t.wStartMinute = now.wMinute;
    t.TriggerType = TASK_TIME_TRIGGER_DAILY;
    t.Type.Daily.DaysInterval = 1;
    return t;
}


}  // namespace

HRESULT CopyToTaskMemory(std::u16string_view text, LPWSTR* result) {
    if (!result) return E_POINTER;
    *result = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
    if (!*result) return E_OUTOFMEMORY;
    std::copy(text.begin(), text.end(), *result);
    (*result)[text.size()] = u'\0';
    return S_OK;
}

Task::Task(std::u16string name, Origin origin, WorkItemRecord record)
    : m_name(std::move(name)), m_origin(origin), m_record(std::move(record)) {
    for (size_t i = 0; i < m_record.triggers.size(); ++i) m_triggerIds.push_back(m_nextTriggerId++);
}

Task::~Task() { if (!m_record.keytab.empty()) explicit_bzero(m_record.keytab.data(), m_record.keytab.size()); }

HRESULT Task::GetTriggerById(uint32_t id, TASK_TRIGGER* trigger) {
    auto it = std::find(m_triggerIds.begin(), m_triggerIds.end(), id);
    if (it == m_triggerIds.end()) return SCHED_E_TRIGGER_NOT_FOUND;
    *trigger = m_record.triggers[static_cast<size_t>(it - m_triggerIds.begin())];
    return S_OK;
}

HRESULT Task::SetTriggerById(uint32_t id, const TASK_TRIGGER& trigger) {
    auto it = std::find(m_triggerIds.begin(), m_triggerIds.end(), id);
    if (it == m_triggerIds.end()) return SCHED_E_TRIGGER_NOT_FOUND;
    if (HRESULT hr = CheckTrigger(trigger); FAILED(hr)) return hr;
    m_record.triggers[static_cast<size_t>(it - m_triggerIds.begin())] = trigger;
    m_dirty = true;
    return S_OK;
}

HRESULT Task::CreateTrigger(WORD* piNewTrigger, ITaskTrigger** ppTrigger) {
    if (!piNewTrigger || !ppTrigger) return E_INVALIDARG;
    *ppTrigger = nullptr;
    if (m_record.triggers.size() >= 0xFFFF) return E_OUTOFMEMORY;
    HRESULT hr = com::CreateComObject<TaskTrigger, com::Aggregation::Refused>(
        nullptr, IID_ITaskTrigger, reinterpret_cast<void**>(ppTrigger), this, m_nextTriggerId);
    if (FAILED(hr)) return hr;
    m_record.triggers.push_back(NewTrigger());
    m_triggerIds.push_back(m_nextTriggerId++);
    m_dirty = true;
    *piNewTrigger = static_cast<WORD>(m_record.triggers.size() - 1);
    return S_OK;
}

HRESULT Task::DeleteTrigger(WORD iTrigger) {
    if (iTrigger >= m_record.triggers.size()) return SCHED_E_TRIGGER_NOT_FOUND;
    m_record.triggers.erase(m_record.triggers.begin() + iTrigger);
    m_triggerIds.erase(m_triggerIds.begin() + iTrigger);
    m_dirty = true;
    return S_OK;
}

HRESULT Task::GetTriggerCount(WORD* pwCount) {
    if (!pwCount) return E_INVALIDARG;
    *pwCount = static_cast<WORD>(m_record.triggers.size());
    return S_OK;
}

HRESULT Task::GetTrigger(WORD iTrigger, ITaskTrigger** ppTrigger) {
    if (!ppTrigger) return E_INVALIDARG;
    *ppTrigger = nullptr;
    if (iTrigger >= m_record.triggers.size()) return SCHED_E_TRIGGER_NOT_FOUND;
    return com::CreateComObject<TaskTrigger, com::Aggregation::Refused>(
        nullptr, IID_ITaskTrigger, reinterpret_cast<void**>(ppTrigger), this, m_triggerIds[iTrigger]);
}

HRESULT Task::GetTriggerString(WORD iTrigger, LPWSTR* ppwszTrigger) {
    if (!ppwszTrigger) return E_INVALIDARG;
    *ppwszTrigger = nullptr;
    if (iTrigger >= m_record.triggers.size()) return SCHED_E_TRIGGER_NOT_FOUND;
    return CopyToTaskMemory(DescribeTrigger(m_record.triggers[iTrigger]), ppwszTrigger);
}

HRESULT Task::GetRunTimes(const LPSYSTEMTIME pstBegin, const LPSYSTEMTIME pstEnd, WORD* pCount,
                          LPSYSTEMTIME* rgstTaskTimes) {
    if (!pstBegin || !pCount || !rgstTaskTimes) return E_INVALIDARG;
    *rgstTaskTimes = nullptr;
    const WORD wanted = *pCount;
    *pCount = 0;
    if (wanted == 0 || wanted > TASK_MAX_RUN_TIMES) return E_INVALIDARG;
    if (HRESULT reason = UnschedulableReason(m_record); reason != S_OK) return reason;
    auto zone = CurrentZone();
    Instant after = InstantOfLocalSystemTime(*zone, *pstBegin) - 1;
    // Without an end the count alone ends the list.
    const Instant end = pstEnd ? InstantOfLocalSystemTime(*zone, *pstEnd) : std::numeric_limits<Instant>::max();
    std::vector<SYSTEMTIME> runs;
    while (runs.size() < wanted) {
        auto next = NextRun(m_record.triggers, after, *zone);
        if (!next || *next > end) break;
        runs.push_back(LocalSystemTime(*zone, *next));
        after = *next;
    }
    if (runs.empty()) return S_FALSE;
    *rgstTaskTimes = static_cast<LPSYSTEMTIME>(CoTaskMemAlloc(runs.size() * sizeof(SYSTEMTIME)));
    if (!*rgstTaskTimes) return E_OUTOFMEMORY;
    std::copy(runs.begin(), runs.end(), *rgstTaskTimes);
    *pCount = static_cast<WORD>(runs.size());
    return S_OK;
}

HRESULT Task::GetNextRunTime(SYSTEMTIME* pstNextRun) {
    if (!pstNextRun) return E_INVALIDARG;
    *pstNextRun = SYSTEMTIME{};
    if (HRESULT reason = UnschedulableReason(m_record); reason != S_OK) return reason;
    auto zone = CurrentZone();
    auto next = NextRun(m_record.triggers, Now(), *zone);
    if (!next) return SCHED_S_TASK_NO_MORE_RUNS;
    *pstNextRun = LocalSystemTime(*zone, *next);
    return S_OK;
}

HRESULT Task::SetIdleWait(WORD wIdleMinutes, WORD wDeadlineMinutes) {
    m_record.idleMinutes = wIdleMinutes;
    m_record.idleDeadline = wDeadlineMinutes;
    m_dirty = true;
    return S_OK;
}

HRESULT Task::GetIdleWait(WORD* pwIdleMinutes, WORD* pwDeadlineMinutes) {
    if (!pwIdleMinutes || !pwDeadlineMinutes) return E_INVALIDARG;
    *pwIdleMinutes = m_record.idleMinutes;
    *pwDeadlineMinutes = m_record.idleDeadline;
    return S_OK;
}

HRESULT Task::Run() {
    if (m_origin == Origin::New) return SCHED_E_TASK_NOT_READY;
    TaskFolder folder;
    if (HRESULT hr = TaskFolder::Open(CreateFolder::No, &folder); FAILED(hr)) return hr;
    if (!ServiceMark::IsHeld(folder)) return SCHED_E_SERVICE_NOT_RUNNING;
    return UpdateItem(folder, m_name, [](WorkItemRecord& record) {
        ++record.runRequest;
        return true;
    });
}

HRESULT Task::Terminate() {
    if (m_origin == Origin::New) return SCHED_E_TASK_NOT_RUNNING;
    TaskFolder folder;
    if (HRESULT hr = TaskFolder::Open(CreateFolder::No, &folder); FAILED(hr)) return hr;
    if (!ServiceMark::IsHeld(folder)) return SCHED_E_SERVICE_NOT_RUNNING;
    HRESULT hr = UpdateItem(folder, m_name, [](WorkItemRecord& record) {
        if (!record.running) return false;
        ++record.terminateRequest;
        return true;
    });
    return hr == S_FALSE ? SCHED_E_TASK_NOT_RUNNING : hr;
}

HRESULT Task::EditWorkItem(HWND, DWORD) { return E_NOTIMPL; }

WorkItemRecord Task::currentState() const {
    WorkItemRecord record;
    TaskFolder folder;
    if (m_origin == Origin::Saved && SUCCEEDED(TaskFolder::Open(CreateFolder::No, &folder)) &&
        SUCCEEDED(folder.read(m_name, &record)))
        return record;
    return m_record;
}

HRESULT Task::GetMostRecentRunTime(SYSTEMTIME* pstLastRun) {
    if (!pstLastRun) return E_INVALIDARG;
    *pstLastRun = SYSTEMTIME{};
    WorkItemRecord state = currentState();
    if (!state.hasRun || !state.mostRecentRun) return SCHED_S_TASK_HAS_NOT_RUN;
    *pstLastRun = *state.mostRecentRun;
    return S_OK;
}

HRESULT Task::GetStatus(HRESULT* phrStatus) {
    if (!phrStatus) return E_INVALIDARG;
    WorkItemRecord state = currentState();
    if (state.running) {
        *phrStatus = SCHED_S_TASK_RUNNING;
    } else if (m_record.flags & TASK_FLAG_DISABLED) {
        *phrStatus = SCHED_S_TASK_DISABLED;
    } else if (!state.hasRun) {
        *phrStatus = SCHED_S_TASK_HAS_NOT_RUN;
    } else if (state.terminated) {
        *phrStatus = SCHED_S_TASK_TERMINATED;
    } else if (HRESULT reason = UnschedulableReason(m_record); reason != S_OK) {
        *phrStatus = reason;
    } else {
        auto zone = CurrentZone();
        *phrStatus = NextRun(m_record.triggers, Now(), *zone) ? SCHED_S_TASK_READY : SCHED_S_TASK_NO_MORE_RUNS;
    }
    return S_OK;
}

HRESULT Task::GetExitCode(DWORD* pdwExitCode) {
    if (!pdwExitCode) return E_INVALIDARG;
    *pdwExitCode = 0;
    WorkItemRecord state = currentState();
    if (!state.hasRun) return SCHED_S_TASK_HAS_NOT_RUN;
    *pdwExitCode = state.exitCode;
    return state.startError;
}

HRESULT Task::setText(std::u16string* field, LPCWSTR value) {
    if (!value) return E_INVALIDARG;
    *field = value;
    m_dirty = true;
    return S_OK;
}

HRESULT Task::SetComment(LPCWSTR pwszComment) { return setText(&m_record.comment, pwszComment); }
HRESULT Task::GetComment(LPWSTR* ppwszComment) { return CopyToTaskMemory(m_record.comment, ppwszComment); }
HRESULT Task::SetCreator(LPCWSTR pwszCreator) { return setText(&m_record.creator, pwszCreator); }
HRESULT Task::GetCreator(LPWSTR* ppwszCreator) { return CopyToTaskMemory(m_record.creator, ppwszCreator); }

HRESULT Task::SetWorkItemData(WORD cbData, BYTE rgbData[]) {
    if (cbData && !rgbData) return E_INVALIDARG;
    m_record.data.assign(rgbData, rgbData + cbData);
    m_dirty = true;
    return S_OK;
}

HRESULT Task::GetWorkItemData(WORD* pcbData, BYTE** prgbData) {
    if (!pcbData || !prgbData) return E_INVALIDARG;
    *pcbData = 0;
    *prgbData = nullptr;
    if (m_record.data.empty()) return S_OK;
    *prgbData = static_cast<BYTE*>(CoTaskMemAlloc(m_record.data.size()));
    if (!*prgbData) return E_OUTOFMEMORY;
    std::copy(m_record.data.begin(), m_record.data.end(), *prgbData);
    *pcbData = static_cast<WORD>(m_record.data.size());
    return S_OK;
}

HRESULT Task::SetErrorRetryCount(WORD wRetryCount) {
    m_record.retryCount = wRetryCount;
    m_dirty = true;
    return S_OK;
}

HRESULT Task::GetErrorRetryCount(WORD* pwRetryCount) {
    if (!pwRetryCount) return E_INVALIDARG;
    *pwRetryCount = m_record.retryCount;
    return S_OK;
}

HRESULT Task::SetErrorRetryInterval(WORD wRetryInterval) {
    m_record.retryInterval = wRetryInterval;
    m_dirty = true;
    return S_OK;
}

HRESULT Task::GetErrorRetryInterval(WORD* pwRetryInterval) {
    if (!pwRetryInterval) return E_INVALIDARG;
    *pwRetryInterval = m_record.retryInterval;
    return S_OK;
}

HRESULT Task::SetFlags(DWORD dwFlags) {
    m_record.flags = dwFlags;
    m_dirty = true;
    return S_OK;
}

HRESULT Task::GetFlags(DWORD* pdwFlags) {
    if (!pdwFlags) return E_INVALIDARG;
    *pdwFlags = m_record.flags;
    return S_OK;
}

HRESULT Task::SetAccountInformation(LPCWSTR pwszAccountName, LPCWSTR pwszPassword) {
    if (!pwszAccountName) return E_INVALIDARG;
    std::u16string account(pwszAccountName);
    std::string principal;
    std::vector<uint8_t> keytab;
    if (!account.empty()) {
        if (!pwszPassword) return E_INVALIDARG;
        if (HRESULT hr = PrincipalOfAccount(account, &principal); FAILED(hr)) return hr;
        if (HRESULT hr = DeriveKeytab(principal, pwszPassword, &keytab); FAILED(hr)) return hr;
    }
    if (!m_record.keytab.empty()) explicit_bzero(m_record.keytab.data(), m_record.keytab.size());
    m_record.accountSet = true;
    m_record.account = std::move(account);
    m_record.principal = std::move(principal);
    m_record.keytab = std::move(keytab);
    m_dirty = true;
    return S_OK;
}

HRESULT Task::GetAccountInformation(LPWSTR* ppwszAccountName) {
    if (!ppwszAccountName) return E_INVALIDARG;
    *ppwszAccountName = nullptr;
    if (!m_record.accountSet) return SCHED_E_ACCOUNT_INFORMATION_NOT_SET;
    return CopyToTaskMemory(m_record.account, ppwszAccountName);
}

HRESULT Task::SetApplicationName(LPCWSTR pwszApplicationName) {
    return setText(&m_record.applicationName, pwszApplicationName);
}
HRESULT Task::GetApplicationName(LPWSTR* ppwszApplicationName) {
    return CopyToTaskMemory(m_record.applicationName, ppwszApplicationName);
}
HRESULT Task::SetParameters(LPCWSTR pwszParameters) { return setText(&m_record.parameters, pwszParameters); }
HRESULT Task::GetParameters(LPWSTR* ppwszParameters) { return CopyToTaskMemory(m_record.parameters, ppwszParameters); }
HRESULT Task::SetWorkingDirectory(LPCWSTR pwszWorkingDirectory) {
    return setText(&m_record.workingDirectory, pwszWorkingDirectory);
}
HRESULT Task::GetWorkingDirectory(LPWSTR* ppwszWorkingDirectory) {
    return CopyToTaskMemory(m_record.workingDirectory, ppwszWorkingDirectory);
}

HRESULT Task::SetPriority(DWORD dwPriority) {
    constexpr DWORD kClasses[] = {0x40 /*IDLE*/, 0x20 /*NORMAL*/, 0x80 /*HIGH*/, 0x100 /*REALTIME*/};
    if (std::find(std::begin(kClasses), std::end(kClasses), dwPriority) == std::end(kClasses)) return E_INVALIDARG;
    m_record.priority = dwPriority;
    m_dirty = true;
    return S_OK;
}

HRESULT Task::GetPriority(DWORD* pdwPriority) {
    if (!pdwPriority) return E_INVALIDARG;
    *pdwPriority = m_record.priority;
    return S_OK;
}

HRESULT Task::SetTaskFlags(DWORD dwFlags) {
    m_record.taskFlags = dwFlags;
    m_dirty = true;
    return S_OK;
}

HRESULT Task::GetTaskFlags(DWORD* pdwFlags) {
    if (!pdwFlags) return E_INVALIDARG;
    *pdwFlags = m_record.taskFlags;
    return S_OK;
}

HRESULT Task::SetMaxRunTime(DWORD dwMaxRunTimeMS) {
    m_record.maxRunTime = dwMaxRunTimeMS;
    m_dirty = true;
    return S_OK;
}

HRESULT Task::GetMaxRunTime(DWORD* pdwMaxRunTimeMS) {
    if (!pdwMaxRunTimeMS) return E_INVALIDARG;
    *pdwMaxRunTimeMS = m_record.maxRunTime;
    return S_OK;
}

HRESULT Task::GetClassID(CLSID* pClassID) {
    if (!pClassID) return E_POINTER;
    *pClassID = CLSID_CTask;
    return S_OK;
}

HRESULT Task::IsDirty() { return m_dirty || m_origin == Origin::New ? S_OK : S_FALSE; }

HRESULT Task::Load(LPCOLESTR pszFileName, DWORD) {
    TaskFolder folder;
    if (HRESULT hr = TaskFolder::Open(CreateFolder::No, &folder); FAILED(hr)) return hr;
    if (!pszFileName) return E_INVALIDARG;
    // Only this item's own file: the name is what ties a file to the service's bookkeeping.
    if (ToUtf8(pszFileName) != folder.itemPath(m_name)) return E_INVALIDARG;
    WorkItemRecord record;
    if (HRESULT hr = folder.read(m_name, &record); FAILED(hr)) return hr;
    if (!m_record.keytab.empty()) explicit_bzero(m_record.keytab.data(), m_record.keytab.size());
    m_record = std::move(record);
    m_triggerIds.clear();
    for (size_t i = 0; i < m_record.triggers.size(); ++i) m_triggerIds.push_back(m_nextTriggerId++);
    m_origin = Origin::Saved;
    m_dirty = false;
    return S_OK;
}

HRESULT Task::write(bool asNew) {
    TaskFolder folder;
    if (HRESULT hr = TaskFolder::Open(CreateFolder::Yes, &folder); FAILED(hr)) return hr;
    // The job runs with the registry of whoever saved it last.
    m_record.userHive = UserHivePath();
    m_record.machineHive = MachineHivePath();
    FolderWriteLock lock(folder);
    if (FAILED(lock.result())) return lock.result();
    WorkItemRecord onDisk;
    if (!asNew && SUCCEEDED(folder.read(m_name, &onDisk))) {
        // The service's run state is newer than this copy's.
        m_record.mostRecentRun = onDisk.mostRecentRun;
        m_record.running = onDisk.running;
        m_record.hasRun = onDisk.hasRun;
        m_record.exitCode = onDisk.exitCode;
        m_record.startError = onDisk.startError;
        m_record.terminated = onDisk.terminated;
        m_record.runRequest = onDisk.runRequest;
        m_record.runHandled = onDisk.runHandled;
        m_record.terminateRequest = onDisk.terminateRequest;
        m_record.terminateHandled = onDisk.terminateHandled;
    }
    return folder.write(m_name, m_record, !asNew);
}

HRESULT Task::Save(LPCOLESTR pszFileName, BOOL) {
    if (pszFileName) {
        TaskFolder folder;
        if (HRESULT hr = TaskFolder::Open(CreateFolder::Yes, &folder); FAILED(hr)) return hr;
        if (ToUtf8(pszFileName) != folder.itemPath(m_name)) return E_INVALIDARG;
    }
    HRESULT hr = write(m_origin == Origin::New);
    if (FAILED(hr)) return hr;
    m_origin = Origin::Saved;
    m_dirty = false;
    return S_OK;
}

HRESULT Task::SaveAsNew(const std::u16string& name) {
    if (HRESULT hr = CheckItemName(name); FAILED(hr)) return hr;
    std::u16string own = std::exchange(m_name, name);
    Origin origin = std::exchange(m_origin, Origin::New);
    HRESULT hr = write(true);
    if (FAILED(hr)) {
        m_name = std::move(own);
        m_origin = origin;
        return hr;
    }
    m_origin = Origin::Saved;
    m_dirty = false;
    return S_OK;
}

HRESULT Task::SaveCompleted(LPCOLESTR) { return S_OK; }

HRESULT Task::GetCurFile(LPOLESTR* ppszFileName) {
    return CopyToTaskMemory(FromUtf8(TaskFolderPath() + "/" + ToUtf8(m_name) + kItemSuffix), ppszFileName);
}

// The trigger keeps its task alive: it edits the task's copy of the trigger.
TaskTrigger::TaskTrigger(Task* task, uint32_t id) : m_task(task), m_id(id) {}

HRESULT TaskTrigger::SetTrigger(const PTASK_TRIGGER pTrigger) {
    if (!pTrigger) return E_INVALIDARG;
    return m_task->SetTriggerById(m_id, *pTrigger);
}

HRESULT TaskTrigger::GetTrigger(PTASK_TRIGGER pTrigger) {
    if (!pTrigger) return E_INVALIDARG;
    return m_task->GetTriggerById(m_id, pTrigger);
}

HRESULT TaskTrigger::GetTriggerString(LPWSTR* ppwszTrigger) {
    if (!ppwszTrigger) return E_INVALIDARG;
    *ppwszTrigger = nullptr;
    TASK_TRIGGER trigger{};
    if (HRESULT hr = m_task->GetTriggerById(m_id, &trigger); FAILED(hr)) return hr;
    return CopyToTaskMemory(DescribeTrigger(trigger), ppwszTrigger);
}

}  // namespace lumivel::scheduler
