// CoWaitForMultipleHandles: a wait that keeps serving the thread's queue.
//
// Kernel objects and the thread queue cannot be waited on together, so the wait alternates:
// short waits on the handles, and the queue's work in between. The slice bounds how late a
// posted call is served; it grows while nothing arrives, so an idle wait costs little.
#include <chrono>

#include "lumivel/thread_queue.h"
#include "win/com.h"
#include "win/threads.h"

namespace {

constexpr DWORD kFirstSliceMs = 1;
constexpr DWORD kLongestSliceMs = 16;

}  // namespace

extern "C" {

HRESULT CoWaitForMultipleHandles(DWORD dwFlags, DWORD dwTimeout, ULONG cHandles, LPHANDLE pHandles,
                                 LPDWORD lpdwindex) {
    if (!lpdwindex) return E_INVALIDARG;
    *lpdwindex = 0;
    if (!pHandles || cHandles == 0 || cHandles > MAXIMUM_WAIT_OBJECTS) return E_INVALIDARG;
    BOOL waitAll = (dwFlags & COWAIT_WAITALL) ? TRUE : FALSE;
    auto start = std::chrono::steady_clock::now();
    DWORD slice = kFirstSliceMs;
    for (;;) {
        bool served = lumivel::RunPendingThreadWork() > 0;
        DWORD wait = slice;
        if (dwTimeout != INFINITE) {
            auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            DWORD left = elapsed.count() >= dwTimeout ? 0 : DWORD(dwTimeout - elapsed.count());
            if (left < wait) wait = left;
        }
        DWORD result = WaitForMultipleObjects(cHandles, pHandles, waitAll, wait);
        if (result == WAIT_FAILED) return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
        if (result < WAIT_OBJECT_0 + cHandles) {
            *lpdwindex = result - WAIT_OBJECT_0;
            return S_OK;
        }
        if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + cHandles) {
            *lpdwindex = result - WAIT_ABANDONED_0;
            return S_OK;
        }
        if (dwTimeout != INFINITE && wait == 0) return RPC_S_CALLPENDING;
        slice = served ? kFirstSliceMs : (slice * 2 > kLongestSliceMs ? kLongestSliceMs : slice * 2);
    }
}

}  // extern "C"
