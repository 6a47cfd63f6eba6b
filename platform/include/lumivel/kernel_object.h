// The kernel-object model behind HANDLE (internal to the platform layer).
//
// A HANDLE is an index into one process-wide table of reference-counted objects; its value is a
// small multiple of 4, never 0 or INVALID_HANDLE_VALUE. Each table slot holds a shared_ptr, so
// an object lives while a handle or a user (a running thread, a pending wait) still holds it.
// Other areas add their own objects (the SMB area's remote files) by deriving from FileObject
// and calling InsertHandle.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "win/files.h"
#include "win/winerror.h"

namespace lumivel {

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// An object a thread can wait for. Signalled state and its consumption (an auto-reset event,
// a mutex) are decided under the object's lock; waiters register so that one wake-up call
// reaches every wait that includes the object.
class WaitableObject : public KernelObject {
public:
    struct Waiter {
        std::mutex mutex;
        std::condition_variable condition;
        bool notified = false;
    };

    // Both run under lock().
    virtual bool isSignaled() const = 0;
    // Called when a wait is satisfied by this object (an auto-reset event resets itself).
    virtual void acquire() {}

    std::mutex& lock() { return m_mutex; }
    void addWaiter(const std::shared_ptr<Waiter>& waiter);
    void removeWaiter(const std::shared_ptr<Waiter>& waiter);

protected:
    // Call after the signalled state changed, with lock() NOT held.
    void notifyWaiters();

private:
    std::mutex m_mutex;
    std::vector<std::shared_ptr<Waiter>> m_waiters;
};

// An open file: local descriptors and the SMB area's remote files alike. Each method returns a
// Win32 error code (ERROR_SUCCESS on success).
class FileObject : public KernelObject {
public:
    virtual DWORD read(void* buffer, DWORD size, DWORD* done) = 0;
    virtual DWORD write(const void* buffer, DWORD size, DWORD* done) = 0;
    // method is FILE_BEGIN, FILE_CURRENT or FILE_END; a negative result is ERROR_NEGATIVE_SEEK.
    virtual DWORD seek(LONGLONG distance, DWORD method, ULONGLONG* position) = 0;
    virtual DWORD size(ULONGLONG* bytes) = 0;
    virtual DWORD flush() = 0;
    virtual DWORD information(BY_HANDLE_FILE_INFORMATION* info) = 0;
    virtual DWORD setEnd() { return ERROR_NOT_SUPPORTED; }
    virtual DWORD setTimes(const FILETIME* creation, const FILETIME* access, const FILETIME* write) {
        (void)creation, (void)access, (void)write;
        return ERROR_NOT_SUPPORTED;
    }
    virtual DWORD fileType() const { return FILE_TYPE_DISK; }
    // The descriptor behind a local file, for CreateProcessW's standard handles; -1 if none.
    virtual int descriptor() const { return -1; }
};

// Puts an object into the handle table; returns null (ERROR_NOT_ENOUGH_MEMORY) when full.
LUMIVEL_EXPORT HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null (the caller reports ERROR_INVALID_HANDLE).
LUMIVEL_EXPORT std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// Removes the handle; returns the object so that the caller may release it outside the lock.
LUMIVEL_EXPORT std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle);

}  // namespace lumivel
