// Small COM helpers of the directory layer: reference counting, smart pointers, BSTR results
// and the IDispatch answer of objects that are reached through their vtables only.
#pragma once

#include <atomic>
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
