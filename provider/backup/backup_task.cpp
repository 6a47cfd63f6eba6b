#include "provider/backup/backup_task.h"

#include "provider/backup/schedule_settings.h"
#include "lumivel/com_ptr.h"
#include "win/mstask.h"

namespace revivo {

HRESULT CreateBackupTask(const PropertySet& settings) {
    lumivel::ComPtr<ITaskScheduler> scheduler;
    HRESULT hr = CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                  scheduler.putVoid());
    if (FAILED(hr)) return hr;
    std::u16string name(settings.getText(kScheduleNameKey));
    lumivel::ComPtr<ITask> task;
    hr = scheduler->NewWorkItem(name.c_str(), CLSID_CTask, IID_ITask, reinterpret_cast<IUnknown**>(task.put()));
    if (FAILED(hr)) return hr;

    WORD index = 0;
    lumivel::ComPtr<ITaskTrigger> trigger;
    if (FAILED(hr = task->CreateTrigger(&index, trigger.put()))) return hr;
    TASK_TRIGGER record{};
    if (FAILED(hr = TriggerFromSettings(settings, &record))) return hr;
    if (FAILED(hr = trigger->SetTrigger(&record))) return hr;

    if (settings.has(kAccountKey)) {
        std::u16string account(settings.getText(kAccountKey));
        BSTR password = settings.getString(kPasswordKey);
        if (FAILED(hr = task->SetAccountInformation(account.c_str(), password ? password : u""))) return hr;
    }
    if (FAILED(hr = task->SetFlags(TASK_FLAG_DELETE_WHEN_DONE))) return hr;
    std::u16string application = u"\"" + std::u16string(settings.getText(kSchedulePathKey)) + u"\"";
    if (FAILED(hr = task->SetApplicationName(application.c_str()))) return hr;
    if (settings.has(kScheduleParameterKey)) {
        std::u16string parameters(settings.getText(kScheduleParameterKey));
        if (FAILED(hr = task->SetParameters(parameters.c_str()))) return hr;
    }
    if (FAILED(hr = task->SetComment(kBackupTaskComment))) return hr;

    lumivel::ComPtr<IPersistFile> file;
    if (FAILED(hr = task.queryInterface(IID_IPersistFile, &file))) return hr;
    return file->Save(nullptr, TRUE);
}

}  // namespace revivo
