// CRITICAL_SECTION on a recursive pthread mutex.
#include <pthread.h>

#include <new>

#include "win/threads.h"

namespace {

pthread_mutex_t* CreateRecursiveMutex() {
    auto* mutex = new (std::nothrow) pthread_mutex_t;
    if (!mutex) return nullptr;
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    return mutex;
}

// A zero-filled section that was never initialised still works instead of crashing: the
// first use creates its mutex.
pthread_mutex_t* MutexOf(LPCRITICAL_SECTION cs) {
    void* current = __atomic_load_n(&cs->Implementation, __ATOMIC_ACQUIRE);
    if (current) return static_cast<pthread_mutex_t*>(current);
    pthread_mutex_t* created = CreateRecursiveMutex();
    void* expected = nullptr;
    if (!__atomic_compare_exchange_n(&cs->Implementation, &expected, created, false, __ATOMIC_ACQ_REL,
                                     __ATOMIC_ACQUIRE)) {
        pthread_mutex_destroy(created);
        delete created;
        return static_cast<pthread_mutex_t*>(expected);
    }
    return created;
}

void Entered(LPCRITICAL_SECTION cs) {
    cs->OwningThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId()));
    ++cs->RecursionCount;
}

}  // namespace

extern "C" {

void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    *cs = CRITICAL_SECTION{};
    cs->LockCount = -1;
    cs->Implementation = CreateRecursiveMutex();
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD dwSpinCount) {
    InitializeCriticalSection(cs);
    cs->SpinCount = dwSpinCount;
    return cs->Implementation != nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) {
    pthread_mutex_lock(MutexOf(cs));
    Entered(cs);
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
    if (pthread_mutex_trylock(MutexOf(cs)) != 0) return FALSE;
    Entered(cs);
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    // Leaving a section this thread does not own is ignored (the mutex refuses it).
    if (cs->OwningThread != reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId()))) return;
    if (--cs->RecursionCount == 0) cs->OwningThread = nullptr;
    pthread_mutex_unlock(MutexOf(cs));
}

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    auto* mutex = static_cast<pthread_mutex_t*>(__atomic_exchange_n(&cs->Implementation, nullptr, __ATOMIC_ACQ_REL));
    if (mutex) {
        pthread_mutex_destroy(mutex);
        delete mutex;
    }
    cs->OwningThread = nullptr;
    cs->RecursionCount = 0;
}

}  // extern "C"
