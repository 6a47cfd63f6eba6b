// Building blocks for COM servers (header-only, compiled into each module): reference
// counting with optional aggregation, the module's object and lock counts for DllCanUnloadNow,
// and a class factory table for DllGetClassObject.
//
// A coclass derives from ComObject<Interfaces...>, implements FindInterface for the IIDs it
// answers (IUnknown is answered by the base) and is created with CreateComObject<T>:
//
//     class Widget : public lumivel::com::ComObject<IWidget, IDispatch> {
//         void* FindInterface(REFIID riid) override {
//             if (riid == IID_IWidget || riid == IID_IDispatch) return static_cast<IWidget*>(this);
//             return nullptr;
//         }
//         ...
//     };
//
// When created aggregated, every interface's IUnknown methods go to the outer object and the
// outer object holds the inner, non-delegating IUnknown that CreateComObject hands out.
#pragma once

#include <atomic>
#include <mutex>
#include <new>

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

// S_OK when no object of this module lives and no lock is held, else S_FALSE.
inline HRESULT CanUnloadThisModule() {
    return ThisModule().objects.load() == 0 && ThisModule().locks.load() == 0 ? S_OK : S_FALSE;
}

enum class Aggregation { Allowed, Refused };

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
    // The object's own IUnknown, which never delegates.
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

// Implements IUnknown once for all of the object's interfaces, delegating as aggregation needs.
template <typename... Interfaces>
class ComObject : public ComObjectRoot, public Interfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return DelegatingQueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return DelegatingAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DelegatingRelease(); }
};

// Creates a T and returns its riid (the inner IUnknown when aggregated). T is default
// constructible; construction does not throw (allocation failure gives E_OUTOFMEMORY).
template <typename T, Aggregation kAggregation = Aggregation::Allowed>
HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && (kAggregation == Aggregation::Refused || !IsEqualIID(riid, IID_IUnknown)))
        return CLASS_E_NOAGGREGATION;
    T* object = new (std::nothrow) T();
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

using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// A class object that creates instances with a CreateFunction; counted as a live object.
class ClassFactory final : public ComObject<IClassFactory> {
public:
    void SetCreator(CreateFunction create) { m_create = create; }
    void* FindInterface(REFIID riid) override {
        return IsEqualIID(riid, IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
    }
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
    CreateFunction m_create = nullptr;
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
        ClassFactory* factory = new (std::nothrow) ClassFactory();
        if (!factory) return E_OUTOFMEMORY;
        factory->SetCreator(entry.create);
        return factory->InnerUnknown()->QueryInterface(riid, ppv);
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
            T* object = new (std::nothrow) T();
            if (!object) return E_OUTOFMEMORY;
            ComObjectRoot* root = object;
            IUnknown* inner = root->InnerUnknown();
            inner->AddRef();
            const HRESULT hr = root->FinalConstruct();
            if (FAILED(hr)) {
                inner->Release();
                return hr;
            }
            Held() = inner;
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
