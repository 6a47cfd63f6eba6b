// Task Scheduler 1.0 subset: the scheduler object, work items of the task class, their time
// triggers, and persistence through IPersistFile.
//
// Work items are files in the local computer's task folder ($LUMIVEL_TASK_FOLDER, else
// /var/lib/lumivel/tasks): "<name>.job", created only by a process running as the folder's
// owner, each written to a temporary file and renamed into place, mode 0600. The account of an
// item is checked against its domain's KDC when it is set and kept as a keytab beside the item
// ("<name>.keytab", 0600); the password itself is never stored. The `lumivel-scheduler` service
// fires the items of the folder it owns.
//
// The subset: time triggers (once, daily, weekly, monthly by date, monthly by day of week)
// with begin and end dates and the disabled flag. Repetition within a day, random delays and
// event triggers are refused by SetTrigger with E_NOTIMPL; idle waits and error retries are
// stored and not acted upon; EditWorkItem has no property pages here (E_NOTIMPL); only the
// local computer is a target.
#pragma once

#include "win/com.h"
#include "win/objidl.h"

// ---- Triggers ----------------------------------------------------------------------------------
#define TASK_SUNDAY 0x1
#define TASK_MONDAY 0x2
#define TASK_TUESDAY 0x4
#define TASK_WEDNESDAY 0x8
#define TASK_THURSDAY 0x10
#define TASK_FRIDAY 0x20
#define TASK_SATURDAY 0x40

#define TASK_FIRST_WEEK 1
#define TASK_SECOND_WEEK 2
#define TASK_THIRD_WEEK 3
#define TASK_FOURTH_WEEK 4
#define TASK_LAST_WEEK 5

#define TASK_JANUARY 0x1
#define TASK_FEBRUARY 0x2
#define TASK_MARCH 0x4
#define TASK_APRIL 0x8
#define TASK_MAY 0x10
#define TASK_JUNE 0x20
#define TASK_JULY 0x40
#define TASK_AUGUST 0x80
#define TASK_SEPTEMBER 0x100
#define TASK_OCTOBER 0x200
#define TASK_NOVEMBER 0x400
#define TASK_DECEMBER 0x800

#define TASK_TRIGGER_FLAG_HAS_END_DATE 0x1
#define TASK_TRIGGER_FLAG_KILL_AT_DURATION_END 0x2
#define TASK_TRIGGER_FLAG_DISABLED 0x4

#define TASK_MAX_RUN_TIMES 1440

typedef enum _TASK_TRIGGER_TYPE {
    TASK_TIME_TRIGGER_ONCE = 0,
    TASK_TIME_TRIGGER_DAILY = 1,
    TASK_TIME_TRIGGER_WEEKLY = 2,
    TASK_TIME_TRIGGER_MONTHLYDATE = 3,
    TASK_TIME_TRIGGER_MONTHLYDOW = 4,
    TASK_EVENT_TRIGGER_ON_IDLE = 5,
    TASK_EVENT_TRIGGER_AT_SYSTEMSTART = 6,
    TASK_EVENT_TRIGGER_AT_LOGON = 7,
} TASK_TRIGGER_TYPE, *PTASK_TRIGGER_TYPE;

typedef struct _DAILY {
    WORD DaysInterval;
} DAILY;

typedef struct _WEEKLY {
    WORD WeeksInterval;
    WORD rgfDaysOfTheWeek;
} WEEKLY;

typedef struct _MONTHLYDATE {
    DWORD rgfDays;
    WORD rgfMonths;
} MONTHLYDATE;

typedef struct _MONTHLYDOW {
    WORD wWhichWeek;
    WORD rgfDaysOfTheWeek;
    WORD rgfMonths;
} MONTHLYDOW;

typedef union _TRIGGER_TYPE_UNION {
    DAILY Daily;
    WEEKLY Weekly;
    MONTHLYDATE MonthlyDate;
    MONTHLYDOW MonthlyDOW;
} TRIGGER_TYPE_UNION;

// 48 bytes, laid out as on Windows; cbTriggerSize must say so.
typedef struct _TASK_TRIGGER {
    WORD cbTriggerSize;
    WORD Reserved1;
    WORD wBeginYear;
    WORD wBeginMonth;
    WORD wBeginDay;
    WORD wEndYear;
    WORD wEndMonth;
    WORD wEndDay;
    WORD wStartHour;
    WORD wStartMinute;
    DWORD MinutesDuration;
    DWORD MinutesInterval;
    DWORD rgFlags;
    TASK_TRIGGER_TYPE TriggerType;
    TRIGGER_TYPE_UNION Type;
    WORD Reserved2;
    WORD wRandomMinutesInterval;
} TASK_TRIGGER, *PTASK_TRIGGER;
static_assert(sizeof(TASK_TRIGGER) == 48, "TASK_TRIGGER keeps its Windows size");

// ---- Work items --------------------------------------------------------------------------------
#define TASK_FLAG_INTERACTIVE 0x1
#define TASK_FLAG_DELETE_WHEN_DONE 0x2
#define TASK_FLAG_DISABLED 0x4
#define TASK_FLAG_START_ONLY_IF_IDLE 0x10
#define TASK_FLAG_KILL_ON_IDLE_END 0x20
#define TASK_FLAG_DONT_START_IF_ON_BATTERIES 0x40
#define TASK_FLAG_KILL_IF_GOING_ON_BATTERIES 0x80
#define TASK_FLAG_RUN_ONLY_IF_DOCKED 0x100
#define TASK_FLAG_HIDDEN 0x200
#define TASK_FLAG_RUN_IF_CONNECTED_TO_INTERNET 0x400
#define TASK_FLAG_RESTART_ON_IDLE_RESUME 0x800
#define TASK_FLAG_SYSTEM_REQUIRED 0x1000
#define TASK_FLAG_RUN_ONLY_IF_LOGGED_ON 0x2000

// The status and error codes of the Task Scheduler (FACILITY_ITF).
#define SCHED_S_TASK_READY ((HRESULT)0x00041300L)
#define SCHED_S_TASK_RUNNING ((HRESULT)0x00041301L)
#define SCHED_S_TASK_DISABLED ((HRESULT)0x00041302L)
#define SCHED_S_TASK_HAS_NOT_RUN ((HRESULT)0x00041303L)
#define SCHED_S_TASK_NO_MORE_RUNS ((HRESULT)0x00041304L)
#define SCHED_S_TASK_NOT_SCHEDULED ((HRESULT)0x00041305L)
#define SCHED_S_TASK_TERMINATED ((HRESULT)0x00041306L)
#define SCHED_S_TASK_NO_VALID_TRIGGERS ((HRESULT)0x00041307L)
#define SCHED_S_EVENT_TRIGGER ((HRESULT)0x00041308L)
#define SCHED_E_TRIGGER_NOT_FOUND ((HRESULT)0x80041309L)
#define SCHED_E_TASK_NOT_READY ((HRESULT)0x8004130AL)
#define SCHED_E_TASK_NOT_RUNNING ((HRESULT)0x8004130BL)
#define SCHED_E_SERVICE_NOT_INSTALLED ((HRESULT)0x8004130CL)
#define SCHED_E_CANNOT_OPEN_TASK ((HRESULT)0x8004130DL)
#define SCHED_E_INVALID_TASK ((HRESULT)0x8004130EL)
#define SCHED_E_ACCOUNT_INFORMATION_NOT_SET ((HRESULT)0x8004130FL)
#define SCHED_E_ACCOUNT_NAME_NOT_FOUND ((HRESULT)0x80041310L)
#define SCHED_E_ACCOUNT_DBASE_CORRUPT ((HRESULT)0x80041311L)
#define SCHED_E_NO_SECURITY_SERVICES ((HRESULT)0x80041312L)
#define SCHED_E_UNKNOWN_OBJECT_VERSION ((HRESULT)0x80041313L)
#define SCHED_E_UNSUPPORTED_ACCOUNT_OPTION ((HRESULT)0x80041314L)
#define SCHED_E_SERVICE_NOT_RUNNING ((HRESULT)0x80041315L)

EXTERN_GUID(CLSID_CTask);
EXTERN_GUID(CLSID_CTaskScheduler);
EXTERN_GUID(IID_ITaskTrigger);
EXTERN_GUID(IID_IScheduledWorkItem);
EXTERN_GUID(IID_ITask);
EXTERN_GUID(IID_ITaskScheduler);
EXTERN_GUID(IID_IEnumWorkItems);

struct ITaskTrigger : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetTrigger(const PTASK_TRIGGER pTrigger) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTrigger(PTASK_TRIGGER pTrigger) = 0;
    // The trigger in words, in task memory the caller frees with CoTaskMemFree.
    virtual HRESULT STDMETHODCALLTYPE GetTriggerString(LPWSTR* ppwszTrigger) = 0;
};

struct IScheduledWorkItem : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateTrigger(WORD* piNewTrigger, ITaskTrigger** ppTrigger) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteTrigger(WORD iTrigger) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTriggerCount(WORD* pwCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTrigger(WORD iTrigger, ITaskTrigger** ppTrigger) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTriggerString(WORD iTrigger, LPWSTR* ppwszTrigger) = 0;
    // Local times in [pstBegin, pstEnd] (no end: pstBegin alone, and *pCount at most
    // TASK_MAX_RUN_TIMES); the list is task memory. S_FALSE with *pCount 0 when there is none.
    virtual HRESULT STDMETHODCALLTYPE GetRunTimes(const LPSYSTEMTIME pstBegin, const LPSYSTEMTIME pstEnd, WORD* pCount,
                                                  LPSYSTEMTIME* rgstTaskTimes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextRunTime(SYSTEMTIME* pstNextRun) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIdleWait(WORD wIdleMinutes, WORD wDeadlineMinutes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIdleWait(WORD* pwIdleMinutes, WORD* pwDeadlineMinutes) = 0;
    // Asks the service to run the saved item now; SCHED_E_SERVICE_NOT_RUNNING without one.
    virtual HRESULT STDMETHODCALLTYPE Run() = 0;
    virtual HRESULT STDMETHODCALLTYPE Terminate() = 0;
    virtual HRESULT STDMETHODCALLTYPE EditWorkItem(HWND hParent, DWORD dwReserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMostRecentRunTime(SYSTEMTIME* pstLastRun) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStatus(HRESULT* phrStatus) = 0;
    // The last run's exit code; SCHED_S_TASK_HAS_NOT_RUN before the first run, and the
    // failure that kept the last run from starting, when one did.
    virtual HRESULT STDMETHODCALLTYPE GetExitCode(DWORD* pdwExitCode) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetComment(LPCWSTR pwszComment) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetComment(LPWSTR* ppwszComment) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCreator(LPCWSTR pwszCreator) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCreator(LPWSTR* ppwszCreator) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetWorkItemData(WORD cbData, BYTE rgbData[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWorkItemData(WORD* pcbData, BYTE** prgbData) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetErrorRetryCount(WORD wRetryCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetErrorRetryCount(WORD* pwRetryCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetErrorRetryInterval(WORD wRetryInterval) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetErrorRetryInterval(WORD* pwRetryInterval) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFlags(DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFlags(DWORD* pdwFlags) = 0;
    // "DOMAIN\user", "user@REALM" or "user" (the default realm): the pair is checked against
    // the domain's KDC at once. A wrong pair gives HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE), an
    // unreachable KDC ERROR_NO_LOGON_SERVERS. An empty name runs the item as the service's
    // own account, with the service's own credentials.
    virtual HRESULT STDMETHODCALLTYPE SetAccountInformation(LPCWSTR pwszAccountName, LPCWSTR pwszPassword) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAccountInformation(LPWSTR* ppwszAccountName) = 0;
};

struct ITask : IScheduledWorkItem {
    virtual HRESULT STDMETHODCALLTYPE SetApplicationName(LPCWSTR pwszApplicationName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetApplicationName(LPWSTR* ppwszApplicationName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetParameters(LPCWSTR pwszParameters) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParameters(LPWSTR* ppwszParameters) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR pwszWorkingDirectory) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR* ppwszWorkingDirectory) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPriority(DWORD dwPriority) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPriority(DWORD* pdwPriority) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTaskFlags(DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTaskFlags(DWORD* pdwFlags) = 0;
    // Milliseconds; INFINITE for none. A new item has 72 hours.
    virtual HRESULT STDMETHODCALLTYPE SetMaxRunTime(DWORD dwMaxRunTimeMS) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaxRunTime(DWORD* pdwMaxRunTimeMS) = 0;
};

struct IEnumWorkItems : IUnknown {
    // Names without ".job", each and the array in task memory.
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPWSTR** rgpwszNames, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumWorkItems** ppEnumWorkItems) = 0;
};

struct ITaskScheduler : IUnknown {
    // Null or this computer's name only: other computers are not reached.
    virtual HRESULT STDMETHODCALLTYPE SetTargetComputer(LPCWSTR pwszComputer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTargetComputer(LPWSTR* ppwszComputer) = 0;
    virtual HRESULT STDMETHODCALLTYPE Enum(IEnumWorkItems** ppEnumWorkItems) = 0;
    // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a missing item.
    virtual HRESULT STDMETHODCALLTYPE Activate(LPCWSTR pwszName, REFIID riid, IUnknown** ppUnk) = 0;
    virtual HRESULT STDMETHODCALLTYPE Delete(LPCWSTR pwszName) = 0;
    // HRESULT_FROM_WIN32(ERROR_FILE_EXISTS) when an item of that name exists already. The
    // item is written by IPersistFile::Save.
    virtual HRESULT STDMETHODCALLTYPE NewWorkItem(LPCWSTR pwszTaskName, REFCLSID rclsid, REFIID riid,
                                                  IUnknown** ppUnk) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddWorkItem(LPCWSTR pwszTaskName, IScheduledWorkItem* pWorkItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsOfType(LPCWSTR pwszName, REFIID riid) = 0;
};
