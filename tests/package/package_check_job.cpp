// Schedules a job as the console would, for the package's install check: a daily run of
// /bin/true as the service's own account, saved through the Task Scheduler interfaces into the
// task folder every program uses ($LUMIVEL_TASK_FOLDER, else /var/lib/lumivel/tasks).
//
//   package_check_job NAME          exit 0 when saved, 1 with the reason otherwise
#include <cstdio>
#include <string>

#include "lumivel/com_ptr.h"
#include "lumivel/text.h"
#include "win/com.h"
#include "win/mstask.h"

namespace {

HRESULT saveJob(const std::u16string& name) {
    lumivel::ComPtr<ITaskScheduler> scheduler;
    HRESULT hr = CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                  scheduler.putVoid());
    if (FAILED(hr)) return hr;
    lumivel::ComPtr<ITask> task;
    if (FAILED(hr = scheduler->NewWorkItem(name.c_str(), CLSID_CTask, IID_ITask,
                                           reinterpret_cast<IUnknown**>(task.put()))))
        return hr;
    WORD index = 0;
    lumivel::ComPtr<ITaskTrigger> trigger;
    if (FAILED(hr = task->CreateTrigger(&index, trigger.put()))) return hr;
    TASK_TRIGGER daily{};
    daily.cbTriggerSize = sizeof daily;
    daily.wBeginYear = 2020, daily.wBeginMonth = 1, daily.wBeginDay = 1, daily.wStartHour = 3;
    daily.TriggerType = TASK_TIME_TRIGGER_DAILY;
    daily.Type.Daily.DaysInterval = 1;
    if (FAILED(hr = trigger->SetTrigger(&daily))) return hr;
    if (FAILED(hr = task->SetAccountInformation(u"", nullptr))) return hr;
    if (FAILED(hr = task->SetApplicationName(u"/bin/true"))) return hr;
    lumivel::ComPtr<IPersistFile> file;
    if (FAILED(hr = task.queryInterface(IID_IPersistFile, &file))) return hr;
    return file->Save(nullptr, TRUE);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: package_check_job NAME\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    HRESULT hr = saveJob(lumivel::FromUtf8(argv[1]));
    CoUninitialize();
    if (FAILED(hr)) {
        std::fprintf(stderr, "package_check_job: the job could not be saved (0x%08X)\n", static_cast<unsigned>(hr));
        return 1;
    }
    return 0;
}
