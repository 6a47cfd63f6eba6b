// Proxies that run each call on the thread owning the object.
#include "proxy_manager.h"
#include "table_type_info.h"

#include <new>
#include <unordered_map>

#include "win/oleauto.h"

namespace lumivel::com {

const IID kIID_ProxyManager = {0x3A9E05C4, 0x71D2, 0x4B8F, {0xA6, 0x0C, 0x52, 0x9D, 0x1E, 0x84, 0xF3, 0x27}};

namespace {

struct IidHash {
    size_t operator()(const IID& iid) const {
        uint64_t parts[2];
        std::memcpy(parts, &iid, sizeof(parts));
        return std::hash<uint64_t>()(parts[0] ^ (parts[1] * 0x9E3779B97F4A7C15ull));
    }
};

struct FactoryRegistry {
    std::mutex mutex;
    std::unordered_map<IID, ProxyFactory, IidHash> byIid;
};

class UnknownProxy final : public Proxy<IUnknown> {
public:
    using Proxy::Proxy;
};

class DispatchProxy final : public Proxy<IDispatch> {
public:
    using Proxy::Proxy;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        return CallOnOwner([&] { return Real()->GetTypeInfoCount(pctinfo); });
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override {
        HRESULT hr = CallOnOwner([&] { return Real()->GetTypeInfo(iTInfo, lcid, ppTInfo); });
        if (FAILED(hr) || !ppTInfo || !*ppTInfo) return hr;
        // Table-built type information is immutable and serves any thread; other type
        // information is an object of the owner's apartment.
        ITypeInfo* owned = *ppTInfo;
        void* shared = nullptr;
        HRESULT immutable = CallOnOwner([&] { return owned->QueryInterface(kIID_TableTypeInfo, &shared); });
        if (SUCCEEDED(immutable) && shared) {
            static_cast<ITypeInfo*>(shared)->Release();
            return hr;
        }
        return WrapForCaller(owned, IID_ITypeInfo, reinterpret_cast<void**>(ppTInfo));
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                            DISPID* rgDispId) override {
        return CallOnOwner([&] { return Real()->GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId); });
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                     UINT* puArgErr) override {
        return CallOnOwner([&] {
            return Real()->Invoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
        });
    }
};

FactoryRegistry& Factories() {
    static auto* registry = [] {
        auto* created = new FactoryRegistry;
        created->byIid[IID_IUnknown] = [](ProxyManager* m, IUnknown* real) -> ProxyBase* {
            return new (std::nothrow) UnknownProxy(m, real);
        };
        created->byIid[IID_IDispatch] = [](ProxyManager* m, IUnknown* real) -> ProxyBase* {
            return new (std::nothrow) DispatchProxy(m, real);
        };
        return created;
    }();
    return *registry;
}

ProxyFactory FindFactory(REFIID riid) {
    FactoryRegistry& registry = Factories();
    std::lock_guard lock(registry.mutex);
    auto found = registry.byIid.find(riid);
    return found == registry.byIid.end() ? nullptr : found->second;
}

// State shared by a waiting caller and the work it posted.
struct PendingCall {
    std::atomic<bool> done{false};
    HRESULT result = S_OK;
};

}  // namespace

void RegisterProxyFactory(REFIID riid, ProxyFactory factory) {
    FactoryRegistry& registry = Factories();
    std::lock_guard lock(registry.mutex);
    if (factory)
        registry.byIid[riid] = factory;
    else
        registry.byIid.erase(riid);
}

void ReleaseOnThread(const ObjectHome& home, IUnknown* object) {
    if (!object) return;
    if (CurrentThreadId() == home.ownerThread || !home.ownerQueue) {
        object->Release();
        return;
    }
    // Work the owner never gets to runs while its thread ends, still on that thread. An owner
    // that has already ended took its apartment with it: releasing the object from here could
    // touch state of a dead thread, so that reference is dropped.
    auto release = [object] { object->Release(); };
    PostThreadWork(*home.ownerQueue, release, release);
}

ProxyManager::ProxyManager(ObjectHome home, IUnknown* identity)
    : m_home(std::move(home)), m_identity(identity) {
    m_clientApartment = CurrentApartment();
    m_clientThread = CurrentThreadId();
}

ProxyManager::~ProxyManager() {
    for (Entry& entry : m_proxies) delete entry.proxy;
    ReleaseOnThread(m_home, m_identity);
}

ULONG ProxyManager::release() {
    ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

HRESULT ProxyManager::callOnOwner(const std::function<HRESULT()>& call) {
    DWORD self = CurrentThreadId();
    // The owner calling through a proxy would wait for itself; run the call here instead.
    if (self == m_home.ownerThread) return call();
    bool sameApartment = m_clientApartment == Apartment::MultiThreaded
                             ? CurrentApartment() == Apartment::MultiThreaded
                             : self == m_clientThread;
    if (!sameApartment) return RPC_E_WRONG_THREAD;
    if (!m_home.ownerQueue) return RPC_E_DISCONNECTED;

    auto pending = std::make_shared<PendingCall>();
    ThreadQueuePtr callerQueue = CurrentThreadQueue();
    auto finish = [pending, callerQueue](HRESULT hr) {
        pending->result = hr;
        pending->done = true;
        WakeThreadQueue(*callerQueue);
    };
    // `call` lives on this thread's stack, which stays put until the owner has finished.
    bool posted = PostThreadWork(
        *m_home.ownerQueue, [&call, finish] { finish(call()); }, [finish] { finish(RPC_E_DISCONNECTED); });
    if (!posted) return RPC_E_DISCONNECTED;
    PumpThreadWorkUntil([&] { return pending->done.load(); }, INFINITE);
    return pending->result;
}

void ProxyManager::releaseOnOwner(IUnknown* object) { ReleaseOnThread(m_home, object); }

HRESULT ProxyManager::QueryProxy(REFIID riid, void** result) {
    *result = nullptr;
    {
        std::lock_guard lock(m_mutex);
        for (Entry& entry : m_proxies) {
            if (IsEqualIID(entry.iid, riid)) {
                addRef();
                *result = entry.proxy->Interface();
                return S_OK;
            }
        }
    }
    ProxyFactory factory = FindFactory(riid);
    if (!factory) return E_NOINTERFACE;
    IUnknown* real = nullptr;
    HRESULT hr = callOnOwner([&] { return m_identity->QueryInterface(riid, reinterpret_cast<void**>(&real)); });
    if (FAILED(hr)) return hr;
    if (!real) return E_NOINTERFACE;
    ProxyBase* proxy = factory(this, real);
    if (!proxy) {
        releaseOnOwner(real);
        return E_OUTOFMEMORY;
    }
    std::lock_guard lock(m_mutex);
    // Another thread of the client apartment may have made the same proxy meanwhile.
    for (Entry& entry : m_proxies) {
        if (IsEqualIID(entry.iid, riid)) {
            delete proxy;
            addRef();
            *result = entry.proxy->Interface();
            return S_OK;
        }
    }
    m_proxies.push_back({riid, proxy});
    addRef();
    *result = proxy->Interface();
    return S_OK;
}

ProxyBase::ProxyBase(ProxyManager* manager, IUnknown* real) : m_manager(manager), m_real(real) {}

ProxyBase::~ProxyBase() { m_manager->releaseOnOwner(m_real); }

HRESULT ProxyBase::CallOnOwner(const std::function<HRESULT()>& call) { return m_manager->callOnOwner(call); }

HRESULT ProxyBase::ProxyQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, kIID_ProxyManager)) {
        *ppv = m_manager;
        return S_OK;
    }
    return m_manager->QueryProxy(riid, ppv);
}

ULONG ProxyBase::ProxyAddRef() { return m_manager->addRef(); }

ULONG ProxyBase::ProxyRelease() { return m_manager->release(); }

HRESULT ProxyBase::WrapForCaller(IUnknown* ownerInterface, REFIID riid, void** result) {
    *result = nullptr;
    if (!ownerInterface) return S_OK;
    // The object may be another one of the same owner; it gets a manager of its own.
    IUnknown* identity = nullptr;
    HRESULT hr = CallOnOwner([&] {
        HRESULT qi = ownerInterface->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
        ownerInterface->Release();
        return qi;
    });
    if (FAILED(hr)) return hr;
    auto* manager = new (std::nothrow) ProxyManager(m_manager->home(), identity);
    if (!manager) {
        ReleaseOnThread(m_manager->home(), identity);
        return E_OUTOFMEMORY;
    }
    manager->addRef();
    hr = manager->QueryProxy(riid, result);
    manager->release();
    return hr;
}

}  // namespace lumivel::com
