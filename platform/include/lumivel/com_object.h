// The one kit for COM objects, header-only and compiled into each module: reference counting,
// QueryInterface from a table of interfaces, aggregation, the module's object and lock counts
// for DllCanUnloadNow, the module's own handle, one class factory and DllGetClassObject over a
// table of classes. Dual interfaces take their IDispatch half from dispatch_table.h.
//
// A coclass derives from ComObject<itself, its interfaces...> and lists what it answers:
//
//     class Widget final : public lumivel::com::ComObject<Widget, IWidget, IOther> {
//     public:
//         static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
//             lumivel::com::InterfaceOf<Widget, IWidget>(IID_IWidget),
//             lumivel::com::InterfaceOf<Widget, IWidget>(IID_IDispatch),
//             lumivel::com::InterfaceOf<Widget, IOther>(IID_IOther),
//         };
//         ...
//     };
//
// IUnknown is answered by the kit. An object that answers an interface only in some states
// overrides FindInterface. Classes are created by a class factory (CreateComObject<Widget>
// in the module's ClassEntry table, or Singleton<Widget>::Create for a class with one object
// per process) or, inside the module, with NewComObject<Widget>(...).
//
// When created aggregated, every interface's IUnknown methods go to the outer object, and the
// outer object holds the inner, non-delegating IUnknown that CreateComObject hands out.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <new>
#include <utility>

#include "lumivel/com_ptr.h"
#include "lumivel/module_loading.h"
#include "win/com.h"

namespace lumivel::com {

// Counts of one module: live objects (including class factories) and LockServer locks.
struct ModuleCounts {
    std::atomic<LONG> objects{0};
    std::atomic<LONG> locks{0};
};

// Each module that includes this header has its own counts (hidden visibility).
inline ModuleCounts& ThisModule() {
    static ModuleCounts counts;
    return counts;
}

// One lock on this module while it lives. Work that runs this module's code elsewhere (a
// worker, and the closure it posts back) shares one through a shared_ptr, so that the lock
// goes only when the last of them has run or been discarded, on whichever thread that is.
class ModuleLock {
public:
    ModuleLock() { ++ThisModule().locks; }
    ~ModuleLock() { --ThisModule().locks; }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
};

// S_OK when no object of this module lives and no lock is held, else S_FALSE.
inline HRESULT CanUnloadThisModule() {
    return ThisModule().objects.load() == 0 && ThisModule().locks.load() == 0 ? S_OK : S_FALSE;
}

// The handle of the module this code is compiled into, where its resources are registered;
// null inside the main program, as GetModuleHandleExW gives it.
inline HMODULE ThisModuleHandle() {
    static const HMODULE module = ModuleOfAddress(reinterpret_cast<const void*>(&ThisModuleHandle));
    return module;
}

enum class Aggregation { Allowed, Refused };

// One row of a class's interface table: the IID and how to reach that interface from the
// object (the most derived class's address).
struct InterfaceEntry {
    const IID* iid;
    void* (*reach)(void* object);
};

template <typename Class, typename Interface>
void* ReachInterface(void* object) {
    return static_cast<Interface*>(static_cast<Class*>(object));
}

// Only the function's address is taken here, so the table may stand inside the class itself.
template <typename Class, typename Interface>
constexpr InterfaceEntry InterfaceOf(const IID& iid) {
    return {&iid, &ReachInterface<Class, Interface>};
}

// The interface pointer for riid in a table, or null.
template <size_t N>
void* FindInTable(const InterfaceEntry (&table)[N], void* object, REFIID riid) {
    for (const InterfaceEntry& entry : table)
        if (IsEqualIID(*entry.iid, riid)) return entry.reach(object);
    return nullptr;
}

// Identity and lifetime of one COM object.
class ComObjectRoot {
public:
    ComObjectRoot() : m_inner(this) { ++ThisModule().objects; }
    virtual ~ComObjectRoot() { --ThisModule().objects; }
    ComObjectRoot(const ComObjectRoot&) = delete;
    ComObjectRoot& operator=(const ComObjectRoot&) = delete;

    // The interface pointer for riid, or null; IUnknown is answered before this is asked.
    virtual void* FindInterface(REFIID riid) = 0;
    // Second-phase construction; a failure destroys the object and is returned to the creator.
    virtual HRESULT FinalConstruct() { return S_OK; }

    // The controlling IUnknown: the outer object when aggregated, else this object.
    IUnknown* ControllingUnknown() { return m_outer ? m_outer : &m_inner; }
    // The non-delegating IUnknown that an aggregating outer object keeps.
    IUnknown* InnerUnknown() { return &m_inner; }

    void SetOuter(IUnknown* outer) { m_outer = outer; }

protected:
    HRESULT DelegatingQueryInterface(REFIID riid, void** ppv) { return ControllingUnknown()->QueryInterface(riid, ppv); }
    ULONG DelegatingAddRef() { return ControllingUnknown()->AddRef(); }
    ULONG DelegatingRelease() { return ControllingUnknown()->Release(); }

private:
    // The object's own IUnknown, which never delegates. It holds the reference count, the
    // first state of every object.
    class Inner final : public IUnknown {
    public:
        explicit Inner(ComObjectRoot* root) : m_root(root) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            if (!ppv) return E_POINTER;
            if (IsEqualIID(riid, IID_IUnknown)) {
                *ppv = static_cast<IUnknown*>(this);
            } else {
                *ppv = m_root->FindInterface(riid);
                if (!*ppv) return E_NOINTERFACE;
            }
            // Through the interface handed out, so that an aggregated object counts on the outer.
            static_cast<IUnknown*>(*ppv)->AddRef();
            return S_OK;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
        ULONG STDMETHODCALLTYPE Release() override {
            ULONG left = --m_references;
            if (left == 0) {
                // Guard against a destructor that AddRefs and Releases itself again.
                m_references = 1;
                delete m_root;
            }
            return left;
        }

    private:
        ComObjectRoot* m_root;
        std::atomic<ULONG> m_references{0};
    };

    Inner m_inner;
    IUnknown* m_outer = nullptr;
};

// Implements IUnknown once for all of the object's interfaces, delegating as aggregation
// needs, and answers QueryInterface from Class::kInterfaces.
template <typename Class, typename... Interfaces>
class ComObject : public ComObjectRoot, public Interfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return DelegatingQueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return DelegatingAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DelegatingRelease(); }

    void* FindInterface(REFIID riid) override {
        return FindInTable(Class::kInterfaces, static_cast<Class*>(this), riid);
    }
};

// Creates a T and returns its riid (the inner IUnknown when aggregated). Construction does
// not throw (allocation failure gives E_OUTOFMEMORY); args go to T's constructor.
template <typename T, Aggregation kAggregation = Aggregation::Allowed, typename... Args>
HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** ppv, Args&&... args) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && (kAggregation == Aggregation::Refused || !IsEqualIID(riid, IID_IUnknown)))
        return CLASS_E_NOAGGREGATION;
    T* object = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!object) return E_OUTOFMEMORY;
    ComObjectRoot* root = object;
    root->SetOuter(outer);
    IUnknown* inner = root->InnerUnknown();
    // Hold a reference while FinalConstruct runs, so that it may hand itself out.
    inner->AddRef();
    HRESULT hr = root->FinalConstruct();
    if (SUCCEEDED(hr)) hr = inner->QueryInterface(riid, ppv);
    inner->Release();
    return hr;
}

// A new T for use inside its module, holding the one reference; null when out of memory or
// when FinalConstruct fails.
template <typename T, typename... Args>
ComPtr<T> NewComObject(Args&&... args) {
    T* object = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!object) return nullptr;
    ComObjectRoot* root = object;
    root->InnerUnknown()->AddRef();
    ComPtr<T> held = ComPtr<T>::Adopt(object);
    if (FAILED(root->FinalConstruct())) return nullptr;
    return held;
}

using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// A class object that creates instances with a CreateFunction; counted as a live object.
class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {InterfaceOf<ClassFactory, IClassFactory>(IID_IClassFactory)};

    explicit ClassFactory(CreateFunction create) : m_create(create) {}
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
        return m_create(pUnkOuter, riid, ppvObject);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
        if (fLock)
            ++ThisModule().locks;
        else
            --ThisModule().locks;
        return S_OK;
    }

private:
    CreateFunction m_create;
};

struct ClassEntry {
    const CLSID* clsid;
    CreateFunction create;
};

// DllGetClassObject over a table of the module's classes.
template <size_t N>
HRESULT GetClassObjectFromTable(const ClassEntry (&classes)[N], REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const ClassEntry& entry : classes) {
        if (!IsEqualCLSID(*entry.clsid, rclsid)) continue;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
        return CreateComObject<ClassFactory, Aggregation::Refused>(nullptr, riid, ppv, entry.create);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

// A class with one object per process: every creation hands out the same object, made on
// first use and held by the module until ReleaseIfUnused finds nobody else holding it.
// Singleton<T>::Create stands in the module's ClassEntry table; aggregation is refused.
template <typename T>
class Singleton {
public:
    static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv) {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        std::lock_guard guard(Mutex());
        if (!Held()) {
            ComPtr<T> object = NewComObject<T>();
            if (!object) return E_OUTOFMEMORY;
            Held() = static_cast<ComObjectRoot*>(object.detach())->InnerUnknown();
        }
        return Held()->QueryInterface(riid, ppv);
    }

    // For DllCanUnloadNow: lets the module's reference go when it is the only one left. True
    // when no object is held afterwards.
    static bool ReleaseIfUnused() {
        std::lock_guard guard(Mutex());
        IUnknown* held = Held();
        if (!held) return true;
        held->AddRef();
        if (held->Release() > 1) return false;
        Held() = nullptr;
        held->Release();
        return true;
    }

private:
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    // Never destroyed with the process's statics: the object may outlive them.
    static IUnknown*& Held() {
        static IUnknown* held = nullptr;
        return held;
    }
};

}  // namespace lumivel::com
