// Threads, events and mutexes as kernel objects.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <future>

#include "lumivel/kernel_object.h"
#include "win/errors.h"
#include "win/threads.h"

namespace {

using lumivel::WaitableObject;

// Exit code of a thread whose routine let a C++ exception escape (the MSVC exception code).
constexpr DWORD kUnhandledExceptionExit = 0xE06D7363;

class ThreadObject : public WaitableObject {
public:
    LPTHREAD_START_ROUTINE routine = nullptr;
    LPVOID parameter = nullptr;
    DWORD id = 0;
    std::promise<DWORD> started;

    bool isSignaled() const override { return m_finished; }

    void finish(DWORD code) {
        {
            std::lock_guard lock(this->lock());
            m_exitCode = code;
            m_finished = true;
        }
        notifyWaiters();
    }

    DWORD exitCode() {
        std::lock_guard lock(this->lock());
        return m_finished ? m_exitCode : STILL_ACTIVE;
    }

    // Suspension is only the initial one of CREATE_SUSPENDED.
    void suspend() { m_suspended = true; }
    DWORD resume() {
        std::lock_guard lock(m_resumeMutex);
        DWORD previous = m_suspended ? 1 : 0;
        m_suspended = false;
        m_resumed.notify_all();
        return previous;
    }
    void waitUntilResumed() {
        std::unique_lock lock(m_resumeMutex);
        m_resumed.wait(lock, [&] { return !m_suspended; });
    }

private:
    bool m_finished = false;
    DWORD m_exitCode = STILL_ACTIVE;
    std::mutex m_resumeMutex;
    std::condition_variable m_resumed;
    bool m_suspended = false;
};

// Signals the thread's handle once the thread's thread_local objects are gone, as Windows
// signals it only after the thread has detached from every module: a waiter may then tear
// down what those destructors still use. Made first in the thread, so destroyed last.
struct ThreadExit {
    std::shared_ptr<ThreadObject> thread;
    DWORD code = kUnhandledExceptionExit;
    ~ThreadExit() {
        if (thread) thread->finish(code);
    }
};
thread_local ThreadExit t_exit;

void* ThreadMain(void* argument) {
    // The thread keeps its own reference so that closing every handle does not free it.
    std::shared_ptr<ThreadObject> self(*static_cast<std::shared_ptr<ThreadObject>*>(argument));
    delete static_cast<std::shared_ptr<ThreadObject>*>(argument);
    t_exit.thread = self;
    self->started.set_value(static_cast<DWORD>(syscall(SYS_gettid)));
    self->waitUntilResumed();
    try {
        t_exit.code = self->routine(self->parameter);
    } catch (...) {
        std::fputs("lumivel: a thread routine let an exception escape\n", stderr);
    }
    return nullptr;
}

class EventObject : public WaitableObject {
public:
    EventObject(bool manual, bool initial) : m_manual(manual), m_signaled(initial) {}
    bool isSignaled() const override { return m_signaled; }
    void acquire() override {
        if (!m_manual) m_signaled = false;
    }
    void set(bool value) {
        {
            std::lock_guard lock(this->lock());
            m_signaled = value;
        }
        if (value) notifyWaiters();
    }

private:
    bool m_manual;
    bool m_signaled;
};

class MutexObject : public WaitableObject {
public:
    explicit MutexObject(DWORD owner) : m_owner(owner), m_count(owner ? 1 : 0) {}
    bool isSignaled() const override { return m_owner == 0 || m_owner == GetCurrentThreadId(); }
    void acquire() override {
        m_owner = GetCurrentThreadId();
        ++m_count;
    }
    bool release() {
        {
            std::lock_guard lock(this->lock());
            if (m_owner != GetCurrentThreadId()) return false;
            if (--m_count > 0) return true;
            m_owner = 0;
        }
        notifyWaiters();
        return true;
    }

private:
    DWORD m_owner;
    unsigned m_count;
};

}  // namespace

extern "C" {

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (!lpStartAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>();
    thread->routine = lpStartAddress;
    thread->parameter = lpParameter;
    if (dwCreationFlags & CREATE_SUSPENDED) thread->suspend();
    HANDLE handle = lumivel::InsertHandle(thread);
    if (!handle) return nullptr;
    std::future<DWORD> started = thread->started.get_future();

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (dwStackSize) pthread_attr_setstacksize(&attributes, std::max<SIZE_T>(dwStackSize, PTHREAD_STACK_MIN));
    pthread_t id;
    auto* argument = new std::shared_ptr<ThreadObject>(thread);
    int error = pthread_create(&id, &attributes, ThreadMain, argument);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete argument;
        lumivel::RemoveHandle(handle);
        SetLastError(error == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    thread->id = started.get();
    if (lpThreadId) *lpThreadId = thread->id;
    return handle;
}

uintptr_t _beginthreadex(void* security, unsigned stack_size, unsigned(WINAPI* start_address)(void*), void* arglist,
                         unsigned initflag, unsigned* thrdaddr) {
    if (!start_address) {
        errno = EINVAL;
        return 0;
    }
    DWORD id = 0;
    HANDLE handle = CreateThread(static_cast<LPSECURITY_ATTRIBUTES>(security), stack_size,
                                 reinterpret_cast<LPTHREAD_START_ROUTINE>(start_address), arglist, initflag, &id);
    if (!handle) {
        errno = EAGAIN;
        return 0;
    }
    if (thrdaddr) *thrdaddr = id;
    return reinterpret_cast<uintptr_t>(handle);
}

DWORD ResumeThread(HANDLE hThread) {
    auto thread = lumivel::LookupHandleAs<ThreadObject>(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    return thread->resume();
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    auto thread = lumivel::LookupHandleAs<ThreadObject>(hThread);
    if (!thread || !lpExitCode) {
        SetLastError(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = thread->exitCode();
    return TRUE;
}

DWORD GetThreadId(HANDLE Thread) {
    if (Thread == GetCurrentThread()) return GetCurrentThreadId();
    auto thread = lumivel::LookupHandleAs<ThreadObject>(Thread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return thread->id;
}

DWORD GetCurrentThreadId() {
    static thread_local DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
    return id;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
    if (lpName && *lpName) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    HANDLE handle = lumivel::InsertHandle(std::make_shared<EventObject>(bManualReset, bInitialState));
    if (handle) SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL SetEvent(HANDLE hEvent) {
    auto event = lumivel::LookupHandleAs<EventObject>(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->set(true);
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    auto event = lumivel::LookupHandleAs<EventObject>(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->set(false);
    return TRUE;
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
    if (lpName && *lpName) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    HANDLE handle = lumivel::InsertHandle(std::make_shared<MutexObject>(bInitialOwner ? GetCurrentThreadId() : 0));
    if (handle) SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL ReleaseMutex(HANDLE hMutex) {
    auto mutex = lumivel::LookupHandleAs<MutexObject>(hMutex);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!mutex->release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
