// CoInitialize, CoInitializeEx and CoUninitialize: per-thread apartment membership.
#include "apartment.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "lumivel/thread_queue.h"
#include "win/com.h"

namespace lumivel::com {

namespace {

// Threads that entered the multithreaded apartment explicitly, and threads in any apartment.
std::atomic<int> g_multiThreadedMembers{0};
std::atomic<int> g_initializedThreads{0};

struct ThreadApartment {
    Apartment kind = Apartment::None;
    int initializations = 0;

    // A thread that ends without balancing its CoInitialize calls still leaves its apartment;
    // modules are not unloaded then, since at process exit their own state may be gone.
    ~ThreadApartment() {
        if (initializations > 0) leave(false);
    }
    // The last thread to leave lets go of the servers that agree to unload.
    void leave(bool freeLibraries) {
        if (kind == Apartment::MultiThreaded) --g_multiThreadedMembers;
        kind = Apartment::None;
        initializations = 0;
        if (--g_initializedThreads == 0 && freeLibraries) CoFreeUnusedLibraries();
    }
};

thread_local ThreadApartment t_apartment;

}  // namespace

Apartment CurrentApartment() {
    if (t_apartment.initializations > 0) return t_apartment.kind;
    return g_multiThreadedMembers.load() > 0 ? Apartment::MultiThreaded : Apartment::None;
}

DWORD CurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

}  // namespace lumivel::com

using lumivel::com::Apartment;
using lumivel::com::g_initializedThreads;
using lumivel::com::g_multiThreadedMembers;
using lumivel::com::t_apartment;

extern "C" {

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    if (pvReserved) return E_INVALIDARG;
    Apartment wanted = (dwCoInit & COINIT_APARTMENTTHREADED) ? Apartment::SingleThreaded : Apartment::MultiThreaded;
    if (t_apartment.initializations > 0) {
        // A thread cannot change apartments while it is in one; the failed call is not counted.
        if (t_apartment.kind != wanted) return RPC_E_CHANGED_MODE;
        ++t_apartment.initializations;
        return S_FALSE;
    }
    t_apartment.kind = wanted;
    t_apartment.initializations = 1;
    ++g_initializedThreads;
    if (wanted == Apartment::MultiThreaded)
        ++g_multiThreadedMembers;
    else
        // A single-threaded apartment receives its cross-thread calls through its queue.
        lumivel::CurrentThreadQueue();
    return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
    if (t_apartment.initializations == 0) return;
    if (--t_apartment.initializations == 0) t_apartment.leave(true);
}

}  // extern "C"
