// What the Task Scheduler tests share: a private task folder and hives, and short ways to make
// and read work items through the COM interfaces.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/temporary_directory.h"
#include "win/com.h"
#include "win/datetime.h"
#include "win/mstask.h"

namespace scheduler_test {

template <typename T>
struct Held {
    T* p = nullptr;
    ~Held() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
    T** put() {
        if (p) p->Release();
        p = nullptr;
        return &p;
    }
    IUnknown** putUnknown() { return reinterpret_cast<IUnknown**>(put()); }
};

inline std::u16string TakeText(LPWSTR text) {
    std::u16string copy = text ? std::u16string(text) : std::u16string();
    CoTaskMemFree(text);
    return copy;
}

class TaskFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_tasks = m_root.path() + "/tasks";
        setenv("LUMIVEL_TASK_FOLDER", m_tasks.c_str(), 1);
        setenv("LUMIVEL_USER_HIVE", (m_root.path() + "/user.hive").c_str(), 1);
        setenv("LUMIVEL_MACHINE_HIVE", (m_root.path() + "/machine.hive").c_str(), 1);
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                   reinterpret_cast<void**>(m_scheduler.put())),
                  S_OK);
    }
    void TearDown() override {
        m_scheduler.put();
        CoUninitialize();
    }

    static TASK_TRIGGER DailyAt(int hour, int minute) {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        TASK_TRIGGER t{};
        t.cbTriggerSize = sizeof t;
        t.wBeginYear = now.wYear, t.wBeginMonth = now.wMonth, t.wBeginDay = now.wDay;
        t.wStartHour = WORD(hour), t.wStartMinute = WORD(minute);
        t.TriggerType = TASK_TIME_TRIGGER_DAILY;
        t.Type.Daily.DaysInterval = 1;
        return t;
    }
    static TASK_TRIGGER OnceLongAgo() {
        TASK_TRIGGER t{};
        t.cbTriggerSize = sizeof t;
        t.wBeginYear = 2001, t.wBeginMonth = 1, t.wBeginDay = 1, t.wStartHour = 9;
        t.TriggerType = TASK_TIME_TRIGGER_ONCE;
        return t;
    }

    // A new item that runs a shell command as the service's own account.
    HRESULT MakeItem(const std::u16string& name, const std::u16string& command, const TASK_TRIGGER& trigger,
                     DWORD flags = 0, DWORD maxRunTime = 0) {
        return MakeProgramItem(name, u"/bin/sh", u"-c \"" + command + u"\"", trigger, flags, maxRunTime);
    }

    HRESULT MakeProgramItem(const std::u16string& name, const std::u16string& program, const std::u16string& parameters,
                            const TASK_TRIGGER& trigger, DWORD flags = 0, DWORD maxRunTime = 0) {
        Held<ITask> task;
        HRESULT hr = m_scheduler->NewWorkItem(name.c_str(), CLSID_CTask, IID_ITask, task.putUnknown());
        if (FAILED(hr)) return hr;
        WORD index = 0;
        Held<ITaskTrigger> added;
        if (FAILED(hr = task->CreateTrigger(&index, added.put()))) return hr;
        TASK_TRIGGER copy = trigger;
        if (FAILED(hr = added->SetTrigger(&copy))) return hr;
        task->SetAccountInformation(u"", nullptr);
        task->SetFlags(flags);
        task->SetApplicationName(program.c_str());
        task->SetParameters(parameters.c_str());
        if (maxRunTime) task->SetMaxRunTime(maxRunTime);
        Held<IPersistFile> file;
        task->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()));
        return file->Save(nullptr, TRUE);
    }

    bool Exists(const std::u16string& name) {
        Held<ITask> task;
        return SUCCEEDED(m_scheduler->Activate(name.c_str(), IID_ITask, task.putUnknown()));
    }

    lumivel::testing::TemporaryDirectory m_root;
    std::string m_tasks;
    Held<ITaskScheduler> m_scheduler;
};

}  // namespace scheduler_test
