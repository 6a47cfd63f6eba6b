// The work item of the task class (ITask with IPersistFile) and its triggers (scheduler area
// only). A Task is an editable copy of one item: changes reach the task folder when it is
// saved, and its run state (status, last run, exit code) is read afresh from the folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lumivel/com_object.h"
#include "lumivel/com_ptr.h"
#include "task_folder.h"
#include "win/mstask.h"

namespace lumivel::scheduler {

class Task final : public com::ComObject<Task, ITask, IPersistFile> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<Task, ITask>(IID_ITask),
        com::InterfaceOf<Task, ITask>(IID_IScheduledWorkItem),
        com::InterfaceOf<Task, IPersistFile>(IID_IPersistFile),
        com::InterfaceOf<Task, IPersistFile>(IID_IPersist),
    };
    enum class Origin { New, Saved };
    Task(std::u16string name, Origin origin, WorkItemRecord record);
    ~Task() override;

    // For the trigger objects, which name their trigger by a number that stays when others go.
    HRESULT GetTriggerById(uint32_t id, TASK_TRIGGER* trigger);
    HRESULT SetTriggerById(uint32_t id, const TASK_TRIGGER& trigger);

    // IScheduledWorkItem
    HRESULT STDMETHODCALLTYPE CreateTrigger(WORD* piNewTrigger, ITaskTrigger** ppTrigger) override;
    HRESULT STDMETHODCALLTYPE DeleteTrigger(WORD iTrigger) override;
    HRESULT STDMETHODCALLTYPE GetTriggerCount(WORD* pwCount) override;
    HRESULT STDMETHODCALLTYPE GetTrigger(WORD iTrigger, ITaskTrigger** ppTrigger) override;
    HRESULT STDMETHODCALLTYPE GetTriggerString(WORD iTrigger, LPWSTR* ppwszTrigger) override;
    HRESULT STDMETHODCALLTYPE GetRunTimes(const LPSYSTEMTIME pstBegin, const LPSYSTEMTIME pstEnd, WORD* pCount,
                                          LPSYSTEMTIME* rgstTaskTimes) override;
    HRESULT STDMETHODCALLTYPE GetNextRunTime(SYSTEMTIME* pstNextRun) override;
    HRESULT STDMETHODCALLTYPE SetIdleWait(WORD wIdleMinutes, WORD wDeadlineMinutes) override;
    HRESULT STDMETHODCALLTYPE GetIdleWait(WORD* pwIdleMinutes, WORD* pwDeadlineMinutes) override;
    HRESULT STDMETHODCALLTYPE Run() override;
    HRESULT STDMETHODCALLTYPE Terminate() override;
    HRESULT STDMETHODCALLTYPE EditWorkItem(HWND hParent, DWORD dwReserved) override;
    HRESULT STDMETHODCALLTYPE GetMostRecentRunTime(SYSTEMTIME* pstLastRun) override;
    HRESULT STDMETHODCALLTYPE GetStatus(HRESULT* phrStatus) override;
    HRESULT STDMETHODCALLTYPE GetExitCode(DWORD* pdwExitCode) override;
    HRESULT STDMETHODCALLTYPE SetComment(LPCWSTR pwszComment) override;
    HRESULT STDMETHODCALLTYPE GetComment(LPWSTR* ppwszComment) override;
    HRESULT STDMETHODCALLTYPE SetCreator(LPCWSTR pwszCreator) override;
    HRESULT STDMETHODCALLTYPE GetCreator(LPWSTR* ppwszCreator) override;
    HRESULT STDMETHODCALLTYPE SetWorkItemData(WORD cbData, BYTE rgbData[]) override;
    HRESULT STDMETHODCALLTYPE GetWorkItemData(WORD* pcbData, BYTE** prgbData) override;
    HRESULT STDMETHODCALLTYPE SetErrorRetryCount(WORD wRetryCount) override;
    HRESULT STDMETHODCALLTYPE GetErrorRetryCount(WORD* pwRetryCount) override;
    HRESULT STDMETHODCALLTYPE SetErrorRetryInterval(WORD wRetryInterval) override;
    HRESULT STDMETHODCALLTYPE GetErrorRetryInterval(WORD* pwRetryInterval) override;
    HRESULT STDMETHODCALLTYPE SetFlags(DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE GetFlags(DWORD* pdwFlags) override;
    HRESULT STDMETHODCALLTYPE SetAccountInformation(LPCWSTR pwszAccountName, LPCWSTR pwszPassword) override;
    HRESULT STDMETHODCALLTYPE GetAccountInformation(LPWSTR* ppwszAccountName) override;

    // ITask
    HRESULT STDMETHODCALLTYPE SetApplicationName(LPCWSTR pwszApplicationName) override;
    HRESULT STDMETHODCALLTYPE GetApplicationName(LPWSTR* ppwszApplicationName) override;
    HRESULT STDMETHODCALLTYPE SetParameters(LPCWSTR pwszParameters) override;
    HRESULT STDMETHODCALLTYPE GetParameters(LPWSTR* ppwszParameters) override;
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR pwszWorkingDirectory) override;
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR* ppwszWorkingDirectory) override;
    HRESULT STDMETHODCALLTYPE SetPriority(DWORD dwPriority) override;
    HRESULT STDMETHODCALLTYPE GetPriority(DWORD* pdwPriority) override;
    HRESULT STDMETHODCALLTYPE SetTaskFlags(DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE GetTaskFlags(DWORD* pdwFlags) override;
    HRESULT STDMETHODCALLTYPE SetMaxRunTime(DWORD dwMaxRunTimeMS) override;
    HRESULT STDMETHODCALLTYPE GetMaxRunTime(DWORD* pdwMaxRunTimeMS) override;

    // IPersist, IPersistFile: the item's own file in the task folder.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR pszFileName, DWORD dwMode) override;
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR pszFileName, BOOL fRemember) override;
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR pszFileName) override;
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* ppszFileName) override;

    // Saves under another name as a new item (ITaskScheduler::AddWorkItem).
    HRESULT SaveAsNew(const std::u16string& name);

private:
    HRESULT setText(std::u16string* field, LPCWSTR value);
    // The run state as the folder has it now, or as loaded when the item is not saved.
    WorkItemRecord currentState() const;
    HRESULT write(bool asNew);

    std::u16string m_name;
    Origin m_origin;
    WorkItemRecord m_record;
    std::vector<uint32_t> m_triggerIds;  // beside m_record.triggers
    uint32_t m_nextTriggerId = 1;
    bool m_dirty = false;
};

class TaskTrigger final : public com::ComObject<TaskTrigger, ITaskTrigger> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {com::InterfaceOf<TaskTrigger, ITaskTrigger>(IID_ITaskTrigger)};
    TaskTrigger(Task* task, uint32_t id);
    HRESULT STDMETHODCALLTYPE SetTrigger(const PTASK_TRIGGER pTrigger) override;
    HRESULT STDMETHODCALLTYPE GetTrigger(PTASK_TRIGGER pTrigger) override;
    HRESULT STDMETHODCALLTYPE GetTriggerString(LPWSTR* ppwszTrigger) override;

private:
    ComPtr<Task> m_task;
    uint32_t m_id;
};

// Task memory holding a copy of the text.
HRESULT CopyToTaskMemory(std::u16string_view text, LPWSTR* result);

}  // namespace lumivel::scheduler
