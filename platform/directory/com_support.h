// Small COM helpers of the directory layer: reference counting, smart pointers, BSTR results
// and the IDispatch answer of objects that are reached through their vtables only.
#pragma once

#include <atomic>
#include <new>
#include <utility>
#include <string>
#include <string_view>

#include "win/oleauto.h"

namespace lumivel::directory {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : m_p(p) {}  // takes a reference
    ComPtr(const ComPtr& o) : m_p(o.m_p) { if (m_p) m_p->AddRef(); }
    ComPtr(ComPtr&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    ~ComPtr() { reset(); }
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(m_p, o.m_p);
        return *this;
    }
    void reset() {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T** put() {
        reset();
        return &m_p;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    T* detach() {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    T* m_p = nullptr;
};

inline HRESULT ReturnBstr(std::u16string_view text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

inline std::u16string BstrText(BSTR text) {
    return text ? std::u16string(text, SysStringLen(text)) : std::u16string();
}

// Reference count shared by the directory's COM classes. Objects start at 1.
class RefCount {
public:
    ULONG add() { return ++m_count; }
    ULONG release() { return --m_count; }

private:
    std::atomic<ULONG> m_count{1};
};

// IUnknown for a class with one interface chain: Derived::Answers(riid) names the interfaces
// besides IUnknown that the object's vtable serves.
template <class Derived, class Interface>
class ComObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || Derived::Answers(riid)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.add(); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = m_refs.release();
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

private:
    RefCount m_refs;
};

// A new T asked for riid; the caller's reference is the only one left.
template <class T, class... Args>
HRESULT CreateInstance(REFIID riid, void** object, Args&&... args) {
    if (!object) return E_POINTER;
    *object = nullptr;
    T* created = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!created) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
}

}  // namespace lumivel::directory

// IDispatch for objects whose callers use the vtable: no type information, no names.
#define LUMIVEL_DIRECTORY_NO_TYPEINFO_DISPATCH                                                                       \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {                                            \
        if (!count) return E_POINTER;                                                                             \
        *count = 0;                                                                                               \
        return S_OK;                                                                                              \
    }                                                                                                             \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {                                \
        if (info) *info = nullptr;                                                                                \
        return DISP_E_BADINDEX;                                                                                   \
    }                                                                                                             \
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {          \
        for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;                                          \
        return DISP_E_UNKNOWNNAME;                                                                                \
    }                                                                                                             \
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)        \
        override {                                                                                                \
        return DISP_E_MEMBERNOTFOUND;                                                                             \
    }
