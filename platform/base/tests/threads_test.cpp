#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "win/datetime.h"
#include "win/errors.h"
#include "win/threads.h"

namespace {

DWORD WINAPI ReturnParameter(LPVOID parameter) { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter)); }

DWORD WINAPI WaitForEvent(LPVOID parameter) {
    return WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE) == WAIT_OBJECT_0 ? 7 : 8;
}

TEST(Threads, ExitCodesAndWaits) {
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, ReturnParameter, reinterpret_cast<LPVOID>(uintptr_t(42)), 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(CloseHandle(thread));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE waiter = CreateThread(nullptr, 0, WaitForEvent, event, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(waiter, 50), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(GetExitCodeThread(waiter, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(waiter, 5000), WAIT_OBJECT_0);
    GetExitCodeThread(waiter, &code);
    EXPECT_EQ(code, 7u);
    CloseHandle(waiter);
    CloseHandle(event);
}

// A thread_local object whose destructor takes a while, as a module's per-thread state may.
std::atomic<bool> g_slowStateGone{false};
struct SlowThreadState {
    bool used = false;
    ~SlowThreadState() {
        if (!used) return;
        Sleep(100);
        g_slowStateGone = true;
    }
};
thread_local SlowThreadState t_slowState;

DWORD WINAPI UseSlowState(LPVOID) {
    t_slowState.used = true;
    return 5;
}

TEST(Threads, TheHandleIsSignalledOnlyOnceTheThreadsStateIsGone) {
    g_slowStateGone = false;
    HANDLE thread = CreateThread(nullptr, 0, UseSlowState, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(g_slowStateGone);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 5u);
    CloseHandle(thread);
}

TEST(Threads, SuspendedStartAndTheRuntimeForm) {
    HANDLE thread = CreateThread(nullptr, 0, ReturnParameter, nullptr, CREATE_SUSPENDED, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 30), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(thread);

    unsigned id = 0;
    uintptr_t handle = _beginthreadex(nullptr, 0, [](void*) -> unsigned { return 9; }, nullptr, 0, &id);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(handle), 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(reinterpret_cast<HANDLE>(handle), &code);
    EXPECT_EQ(code, 9u);
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

TEST(Events, AutoResetReleasesOneWaitManualResetStaysSet) {
    HANDLE automatic = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    HANDLE manual = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    ResetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    HANDLE both[2] = {automatic, manual};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(manual);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(automatic);
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // consumed by the wait
    EXPECT_EQ(CreateEventW(nullptr, FALSE, FALSE, u"Global\\named"), nullptr);
    CloseHandle(automatic);
    CloseHandle(manual);
}

TEST(Events, TimedWaitTimesOutAfterRoughlyItsTime) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(WaitForSingleObject(event, 100), static_cast<DWORD>(WAIT_TIMEOUT));
    ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, 95u);
    EXPECT_LT(elapsed, 2000u);
    CloseHandle(event);
}

struct Shared {
    CRITICAL_SECTION section;
    long counter = 0;
};

DWORD WINAPI Increment(LPVOID parameter) {
    auto* shared = static_cast<Shared*>(parameter);
    for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&shared->section);
        EnterCriticalSection(&shared->section);  // recursive, as on Windows
        long v = shared->counter;
        shared->counter = v + 1;
        LeaveCriticalSection(&shared->section);
        LeaveCriticalSection(&shared->section);
    }
    return 0;
}

TEST(CriticalSection, ExcludesOtherThreadsAndIsRecursive) {
    Shared shared;
    InitializeCriticalSection(&shared.section);
    HANDLE threads[4];
    for (auto& t : threads) t = CreateThread(nullptr, 0, Increment, &shared, 0, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(4, threads, TRUE, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(shared.counter, 80000);
    for (auto t : threads) CloseHandle(t);

    EnterCriticalSection(&shared.section);
    HANDLE other = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* s = static_cast<Shared*>(p);
            BOOL got = TryEnterCriticalSection(&s->section);
            if (got) LeaveCriticalSection(&s->section);
            return got;
        },
        &shared, 0, nullptr);
    WaitForSingleObject(other, 5000);
    DWORD code = 1;
    GetExitCodeThread(other, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(other);
    EXPECT_TRUE(TryEnterCriticalSection(&shared.section));
    LeaveCriticalSection(&shared.section);
    LeaveCriticalSection(&shared.section);
    DeleteCriticalSection(&shared.section);
}

TEST(Interlocked, ReturnNewOrPreviousValues) {
    LONG v = 5;
    EXPECT_EQ(InterlockedIncrement(&v), 6);
    EXPECT_EQ(InterlockedDecrement(&v), 5);
    EXPECT_EQ(InterlockedExchange(&v, 9), 5);
    EXPECT_EQ(InterlockedExchangeAdd(&v, 3), 9);
    EXPECT_EQ(InterlockedCompareExchange(&v, 100, 1), 12);
    EXPECT_EQ(v, 12);
    EXPECT_EQ(InterlockedCompareExchange(&v, 100, 12), 12);
    EXPECT_EQ(v, 100);
    int target = 0;
    PVOID p = nullptr;
    EXPECT_EQ(InterlockedCompareExchangePointer(&p, &target, nullptr), nullptr);
    EXPECT_EQ(p, &target);
}

TEST(Mutex, OwnerMayReenterOthersWait) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    HANDLE other = CreateThread(
        nullptr, 0, [](LPVOID m) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(m), 0); }, mutex, 0,
        nullptr);
    WaitForSingleObject(other, 5000);
    DWORD code = 0;
    GetExitCodeThread(other, &code);
    EXPECT_EQ(code, static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(other);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    CloseHandle(mutex);
}

}  // namespace
