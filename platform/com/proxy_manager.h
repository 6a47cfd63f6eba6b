// The object behind every proxy: one per unmarshaled object, holding its interface proxies.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "apartment.h"
#include "lumivel/com_proxy.h"
#include "lumivel/thread_queue.h"

namespace lumivel::com {

// Answered by our proxies' QueryInterface with the ProxyManager*, never AddRef'd; lets
// marshalling a proxy again reach the real owner.
extern const IID kIID_ProxyManager;

// Where an object lives: the thread that owns it and that thread's queue.
struct ObjectHome {
    DWORD ownerThread = 0;
    ThreadQueuePtr ownerQueue;
};

class ProxyManager {
public:
    // Takes over one reference to identity (the object's IUnknown, valid on the owner thread).
    ProxyManager(ObjectHome home, IUnknown* identity);

    // A proxy for riid with one reference, or the error (E_NOINTERFACE when the object or the
    // proxy registry does not know riid).
    HRESULT QueryProxy(REFIID riid, void** result);

    ULONG addRef() { return ++m_references; }
    ULONG release();

    HRESULT callOnOwner(const std::function<HRESULT()>& call);
    // Releases an owner-side reference on the owner thread, without waiting for it.
    void releaseOnOwner(IUnknown* object);

    const ObjectHome& home() const { return m_home; }
    IUnknown* identity() const { return m_identity; }

private:
    ~ProxyManager();

    struct Entry {
        IID iid;
        ProxyBase* proxy;
    };

    ObjectHome m_home;
    // The apartment that received the proxy: only it (and the owner thread) may call.
    Apartment m_clientApartment;
    DWORD m_clientThread;
    IUnknown* m_identity;
    std::atomic<ULONG> m_references{0};
    std::mutex m_mutex;
    std::vector<Entry> m_proxies;
};

// Posts a release to the owner when called elsewhere; used for marshalled references too.
void ReleaseOnThread(const ObjectHome& home, IUnknown* object);

}  // namespace lumivel::com
