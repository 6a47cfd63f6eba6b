// The scheduler object (ITaskScheduler) with its enumerator of work items, and the class
// objects of the scheduler and task classes, which live in libplatform.
#include <unistd.h>

#include <new>

#include "lumivel/builtin_classes.h"
#include "lumivel/text.h"
#include "lumivel/wide_string.h"
#include "task.h"

namespace lumivel::scheduler {
namespace {


std::u16string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return FromUtf8(name);
}

class WorkItemEnumerator final : public com::ComObject<WorkItemEnumerator, IEnumWorkItems> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<WorkItemEnumerator, IEnumWorkItems>(IID_IEnumWorkItems)};
    WorkItemEnumerator(std::vector<std::u16string> names, size_t position)
        : m_names(std::move(names)), m_position(position) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPWSTR** rgpwszNames, ULONG* pceltFetched) override {
        if (!rgpwszNames || celt == 0 || (celt > 1 && !pceltFetched)) return E_INVALIDARG;
        *rgpwszNames = nullptr;
        if (pceltFetched) *pceltFetched = 0;
        const size_t count = std::min<size_t>(celt, m_names.size() - m_position);
        if (count == 0) return S_FALSE;
        auto* names = static_cast<LPWSTR*>(CoTaskMemAlloc(count * sizeof(LPWSTR)));
        if (!names) return E_OUTOFMEMORY;
        for (size_t i = 0; i < count; ++i) {
            if (FAILED(CopyToTaskMemory(m_names[m_position + i], &names[i]))) {
                while (i > 0) CoTaskMemFree(names[--i]);
                CoTaskMemFree(names);
                return E_OUTOFMEMORY;
            }
        }
        m_position += count;
        *rgpwszNames = names;
        if (pceltFetched) *pceltFetched = static_cast<ULONG>(count);
        return count == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        const size_t count = std::min<size_t>(celt, m_names.size() - m_position);
        m_position += count;
        return count == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        m_position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWorkItems** ppEnumWorkItems) override {
        if (!ppEnumWorkItems) return E_INVALIDARG;
        *ppEnumWorkItems = nullptr;
        return com::CreateComObject<WorkItemEnumerator, com::Aggregation::Refused>(
            nullptr, IID_IEnumWorkItems, reinterpret_cast<void**>(ppEnumWorkItems), m_names, m_position);
    }

private:
    std::vector<std::u16string> m_names;
    size_t m_position;
};

class TaskScheduler final : public com::ComObject<TaskScheduler, ITaskScheduler> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<TaskScheduler, ITaskScheduler>(IID_ITaskScheduler)};

    HRESULT STDMETHODCALLTYPE SetTargetComputer(LPCWSTR pwszComputer) override {
        if (!pwszComputer) return S_OK;
        std::u16string_view computer(pwszComputer);
        while (!computer.empty() && (computer.front() == u'\\' || computer.front() == u'/')) computer.remove_prefix(1);
        // Only this computer's task folder is reachable from here.
        if (computer.empty() || EqualsNoCase(computer, HostName()) || EqualsNoCase(computer, u"localhost")) return S_OK;
        return HRESULT_FROM_WIN32(ERROR_BAD_NETPATH);
    }
    HRESULT STDMETHODCALLTYPE GetTargetComputer(LPWSTR* ppwszComputer) override {
        return CopyToTaskMemory(u"\\\\" + HostName(), ppwszComputer);
    }

    HRESULT STDMETHODCALLTYPE Enum(IEnumWorkItems** ppEnumWorkItems) override {
        if (!ppEnumWorkItems) return E_INVALIDARG;
        *ppEnumWorkItems = nullptr;
        std::vector<std::u16string> names;
        TaskFolder folder;
        HRESULT hr = TaskFolder::Open(CreateFolder::No, &folder);
        // A folder nobody has saved an item into yet holds no items.
        if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) {
            hr = S_OK;
        } else if (SUCCEEDED(hr)) {
            hr = folder.list(&names);
        }
        if (FAILED(hr)) return hr;
        return com::CreateComObject<WorkItemEnumerator, com::Aggregation::Refused>(
            nullptr, IID_IEnumWorkItems, reinterpret_cast<void**>(ppEnumWorkItems), std::move(names), size_t{0});
    }

    HRESULT STDMETHODCALLTYPE Activate(LPCWSTR pwszName, REFIID riid, IUnknown** ppUnk) override {
        if (!pwszName || !ppUnk) return E_INVALIDARG;
        *ppUnk = nullptr;
        if (riid != IID_ITask && riid != IID_IScheduledWorkItem && riid != IID_IPersistFile && riid != IID_IUnknown)
            return E_NOINTERFACE;
        TaskFolder folder;
        if (HRESULT hr = TaskFolder::Open(CreateFolder::No, &folder); FAILED(hr)) return hr;
        WorkItemRecord record;
        if (HRESULT hr = folder.read(pwszName, &record); FAILED(hr)) return hr;
        return com::CreateComObject<Task, com::Aggregation::Refused>(nullptr, riid, reinterpret_cast<void**>(ppUnk),
                                                                     std::u16string(pwszName), Task::Origin::Saved,
                                                                     std::move(record));
    }

    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR pwszName) override {
        if (!pwszName) return E_INVALIDARG;
        TaskFolder folder;
        if (HRESULT hr = TaskFolder::Open(CreateFolder::No, &folder); FAILED(hr)) return hr;
        FolderWriteLock lock(folder);
        if (FAILED(lock.result())) return lock.result();
        return folder.remove(pwszName);
    }

    HRESULT STDMETHODCALLTYPE NewWorkItem(LPCWSTR pwszTaskName, REFCLSID rclsid, REFIID riid, IUnknown** ppUnk) override {
        if (!pwszTaskName || !ppUnk) return E_INVALIDARG;
        *ppUnk = nullptr;
        if (rclsid != CLSID_CTask) return CLASS_E_CLASSNOTAVAILABLE;
        if (HRESULT hr = CheckItemName(pwszTaskName); FAILED(hr)) return hr;
        TaskFolder folder;
        HRESULT hr = TaskFolder::Open(CreateFolder::No, &folder);
        if (SUCCEEDED(hr) && folder.exists(pwszTaskName)) return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
        // A folder that is not there yet is made by the first Save.
        if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) && hr != HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
            return hr;
        return com::CreateComObject<Task, com::Aggregation::Refused>(nullptr, riid, reinterpret_cast<void**>(ppUnk),
                                                                     std::u16string(pwszTaskName), Task::Origin::New,
                                                                     WorkItemRecord{});
    }

    HRESULT STDMETHODCALLTYPE AddWorkItem(LPCWSTR pwszTaskName, IScheduledWorkItem* pWorkItem) override {
        if (!pwszTaskName || !pWorkItem) return E_INVALIDARG;
        // Only tasks of this scheduler can be added: their class tells them apart.
        IPersistFile* persist = nullptr;
        if (FAILED(pWorkItem->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))))
            return SCHED_E_INVALID_TASK;
        CLSID clsid{};
        HRESULT hr = persist->GetClassID(&clsid);
        if (SUCCEEDED(hr) && clsid == CLSID_CTask)
            hr = static_cast<Task*>(persist)->SaveAsNew(pwszTaskName);
        else if (SUCCEEDED(hr))
            hr = SCHED_E_INVALID_TASK;
        persist->Release();
        return hr;
    }

    HRESULT STDMETHODCALLTYPE IsOfType(LPCWSTR pwszName, REFIID riid) override {
        if (!pwszName) return E_INVALIDARG;
        TaskFolder folder;
        if (HRESULT hr = TaskFolder::Open(CreateFolder::No, &folder); FAILED(hr)) return hr;
        WorkItemRecord record;
        if (HRESULT hr = folder.read(pwszName, &record); FAILED(hr)) return hr;
        return riid == IID_ITask || riid == IID_IScheduledWorkItem ? S_OK : S_FALSE;
    }
};

HRESULT CreateTaskScheduler(IUnknown* outer, REFIID riid, void** ppv) {
    return com::CreateComObject<TaskScheduler, com::Aggregation::Refused>(outer, riid, ppv);
}

// A task made through its class is new and nameless until ITaskScheduler::AddWorkItem names it.
HRESULT CreateTask(IUnknown* outer, REFIID riid, void** ppv) {
    return com::CreateComObject<Task, com::Aggregation::Refused>(outer, riid, ppv, std::u16string(), Task::Origin::New,
                                                                 WorkItemRecord{});
}

const com::ClassEntry kClasses[] = {
    {&CLSID_CTaskScheduler, CreateTaskScheduler},
    {&CLSID_CTask, CreateTask},
};

HRESULT SchedulerGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return com::GetClassObjectFromTable(kClasses, rclsid, riid, ppv);
}

}  // namespace
}  // namespace lumivel::scheduler

namespace {
HRESULT LumivelSchedulerClasses(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return lumivel::scheduler::SchedulerGetClassObject(rclsid, riid, ppv);
}
}  // namespace

// CoCreateInstance finds the Task Scheduler here, as Windows finds it in its system module.
LUMIVEL_BUILTIN_CLASSES(LumivelSchedulerClasses);
