// Cross-thread proxies (internal platform interface).
//
// CoMarshalInterThreadInterfaceInStream / CoGetInterfaceAndReleaseStream hand a thread in
// another apartment a proxy instead of the object. Each call on the proxy is posted to the
// thread that owns the object (through its thread queue) and the calling thread waits,
// running its own posted work meanwhile, so that calls back into the caller's apartment do not
// deadlock. A call made on the owner thread itself runs directly; a call from any apartment
// other than the one that received the proxy fails with RPC_E_WRONG_THREAD, as on Windows.
//
// Proxies are hand-written per interface: derive from Proxy<I>, forward each method with
// CallOnOwner, and register a factory for the IID. IUnknown and IDispatch come with the
// runtime. Arguments are not copied: they stay valid because the caller waits; interface
// pointers passed as arguments reach the object unwrapped, and interfaces a method returns
// should be wrapped with WrapForCaller when the caller will use them.
//
//     class NamespaceProxy : public lumivel::com::Proxy<IConsoleNameSpace2> {
//         using Proxy::Proxy;
//         HRESULT STDMETHODCALLTYPE InsertItem(LPSCOPEDATAITEM item) override {
//             return CallOnOwner([&] { return Real()->InsertItem(item); });
//         }
//         ...
//     };
//     lumivel::com::RegisterProxyFactory(IID_IConsoleNameSpace2,
//         [](lumivel::com::ProxyManager* m, IUnknown* real) -> lumivel::com::ProxyBase* {
//             return new (std::nothrow) NamespaceProxy(m, real);
//         });
#pragma once

#include <functional>

#include "win/com.h"

namespace lumivel::com {

class ProxyManager;

// One interface of a proxied object. The manager owns it and deletes it when the last
// reference to any interface of the proxy goes.
class LUMIVEL_EXPORT ProxyBase {
public:
    // `real` is the object's interface for this proxy's IID, with a reference the proxy takes
    // over; it is released on the owner thread.
    ProxyBase(ProxyManager* manager, IUnknown* real);
    virtual ~ProxyBase();
    ProxyBase(const ProxyBase&) = delete;
    ProxyBase& operator=(const ProxyBase&) = delete;

    // The interface pointer handed to callers.
    virtual IUnknown* Interface() = 0;

    // Runs `call` on the owner thread and returns its result once it ran; RPC_E_WRONG_THREAD
    // from a foreign apartment, RPC_E_DISCONNECTED when the owner thread has ended.
    HRESULT CallOnOwner(const std::function<HRESULT()>& call);

    // Turns an interface that a forwarded call returned (valid on the owner thread, with one
    // reference) into a proxy for the calling thread; *result gets the proxy or null.
    HRESULT WrapForCaller(IUnknown* ownerInterface, REFIID riid, void** result);

protected:
    HRESULT ProxyQueryInterface(REFIID riid, void** ppv);
    ULONG ProxyAddRef();
    ULONG ProxyRelease();
    IUnknown* RealUnknown() const { return m_real; }

private:
    ProxyManager* m_manager;
    IUnknown* m_real;
};

template <typename I>
class Proxy : public I, public ProxyBase {
public:
    Proxy(ProxyManager* manager, IUnknown* real) : ProxyBase(manager, real) {}
    IUnknown* Interface() override { return static_cast<I*>(this); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override { return ProxyQueryInterface(riid, ppv); }
    ULONG STDMETHODCALLTYPE AddRef() override { return ProxyAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return ProxyRelease(); }

protected:
    I* Real() const { return static_cast<I*>(RealUnknown()); }
};

// Makes the proxy for one IID; null when out of memory.
using ProxyFactory = ProxyBase* (*)(ProxyManager* manager, IUnknown* real);

// Registers (or, with a null factory, removes) the proxy of an interface. A module that
// registers proxies removes them before it can be unloaded.
LUMIVEL_EXPORT void RegisterProxyFactory(REFIID riid, ProxyFactory factory);

}  // namespace lumivel::com
