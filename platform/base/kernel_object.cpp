// The handle table, waits on kernel objects, and CloseHandle.
#include "lumivel/kernel_object.h"

#include <algorithm>
#include <chrono>

#include "win/errors.h"
#include "win/threads.h"

namespace lumivel {
namespace {

// Handle values are (slot + 1) * 4, as small multiples of four like Windows'.
constexpr size_t kMaxHandles = 1 << 20;

struct HandleTable {
    std::mutex mutex;
    std::vector<std::shared_ptr<KernelObject>> slots;
    std::vector<size_t> free;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable;  // never destroyed: handles outlive static teardown
    return *table;
}

bool SlotOf(HANDLE handle, size_t* slot) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0 || value % 4 != 0) return false;
    *slot = value / 4 - 1;
    return true;
}

}  // namespace

void WaitableObject::addWaiter(const std::shared_ptr<Waiter>& waiter) {
    std::lock_guard lock(m_mutex);
    m_waiters.push_back(waiter);
}

void WaitableObject::removeWaiter(const std::shared_ptr<Waiter>& waiter) {
    std::lock_guard lock(m_mutex);
    m_waiters.erase(std::remove(m_waiters.begin(), m_waiters.end(), waiter), m_waiters.end());
}

void WaitableObject::notifyWaiters() {
    std::vector<std::shared_ptr<Waiter>> waiters;
    {
        std::lock_guard lock(m_mutex);
        waiters = m_waiters;
    }
    for (auto& waiter : waiters) {
        std::lock_guard lock(waiter->mutex);
        waiter->notified = true;
        waiter->condition.notify_all();
    }
}

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    if (!object) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    size_t slot;
    if (!table.free.empty()) {
        slot = table.free.back();
        table.free.pop_back();
        table.slots[slot] = std::move(object);
    } else {
        if (table.slots.size() >= kMaxHandles) {
            SetLastError(ERROR_NO_SYSTEM_RESOURCES);
            return nullptr;
        }
        slot = table.slots.size();
        table.slots.push_back(std::move(object));
    }
    return reinterpret_cast<HANDLE>((slot + 1) * 4);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    size_t slot;
    if (!SlotOf(handle, &slot)) return nullptr;
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    return slot < table.slots.size() ? table.slots[slot] : nullptr;
}

std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle) {
    size_t slot;
    if (!SlotOf(handle, &slot)) return nullptr;
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    if (slot >= table.slots.size() || !table.slots[slot]) return nullptr;
    auto object = std::move(table.slots[slot]);
    table.slots[slot].reset();
    table.free.push_back(slot);
    return object;
}

}  // namespace lumivel

namespace {

using lumivel::WaitableObject;

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

// Tries to satisfy the wait once; returns the index of the object that satisfied a wait for
// any, 0 for a satisfied wait for all, or -1.
int TrySatisfy(const std::vector<std::shared_ptr<WaitableObject>>& objects, bool all) {
    if (!all) {
        for (size_t i = 0; i < objects.size(); ++i) {
            std::lock_guard lock(objects[i]->lock());
            if (objects[i]->isSignaled()) {
                objects[i]->acquire();
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    // All at once: lock every object (in address order, so concurrent waits cannot deadlock),
    // then check and acquire together.
    std::vector<WaitableObject*> order;
    for (auto& o : objects) order.push_back(o.get());
    std::sort(order.begin(), order.end());
    order.erase(std::unique(order.begin(), order.end()), order.end());
    for (auto* o : order) o->lock().lock();
    bool ready = std::all_of(order.begin(), order.end(), [](WaitableObject* o) { return o->isSignaled(); });
    if (ready)
        for (auto* o : order) o->acquire();
    for (auto it = order.rbegin(); it != order.rend(); ++it) (*it)->lock().unlock();
    return ready ? 0 : -1;
}

DWORD Wait(const std::vector<std::shared_ptr<WaitableObject>>& objects, bool all, DWORD milliseconds) {
    auto waiter = std::make_shared<WaitableObject::Waiter>();
    for (auto& o : objects) o->addWaiter(waiter);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        {
            std::lock_guard lock(waiter->mutex);
            waiter->notified = false;
        }
        int satisfied = TrySatisfy(objects, all);
        if (satisfied >= 0) {
            result = WAIT_OBJECT_0 + static_cast<DWORD>(satisfied);
            break;
        }
        if (milliseconds == 0) break;
        std::unique_lock lock(waiter->mutex);
        if (milliseconds == INFINITE) {
            waiter->condition.wait(lock, [&] { return waiter->notified; });
        } else if (!waiter->condition.wait_until(lock, deadline, [&] { return waiter->notified; })) {
            break;
        }
    }
    for (auto& o : objects) o->removeWaiter(waiter);
    return result;
}

}  // namespace

extern "C" {

BOOL CloseHandle(HANDLE hObject) {
    if (hObject == kCurrentProcess || hObject == kCurrentThread) return TRUE;
    auto object = lumivel::RemoveHandle(hObject);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     LPHANDLE lpTargetHandle, DWORD, BOOL, DWORD dwOptions) {
    if (hSourceProcessHandle != kCurrentProcess || hTargetProcessHandle != kCurrentProcess || !lpTargetHandle) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto object = lumivel::LookupHandle(hSourceHandle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    HANDLE copy = lumivel::InsertHandle(object);
    if (!copy) return FALSE;
    if (dwOptions & DUPLICATE_CLOSE_SOURCE) lumivel::RemoveHandle(hSourceHandle);
    *lpTargetHandle = copy;
    return TRUE;
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<WaitableObject>> objects;
    for (DWORD i = 0; i < nCount; ++i) {
        auto object = lumivel::LookupHandleAs<WaitableObject>(lpHandles[i]);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(std::move(object));
    }
    return Wait(objects, bWaitAll, dwMilliseconds);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

HANDLE GetCurrentProcess() { return kCurrentProcess; }
HANDLE GetCurrentThread() { return kCurrentThread; }

}  // extern "C"
