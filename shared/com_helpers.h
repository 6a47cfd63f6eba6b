// RAII holders for COM resources at module edges: interface pointers, BSTRs, VARIANTs.
// The COM signatures stay as they are; these only make sure no path leaks.
#pragma once

#include <utility>

#include "win/oleauto.h"

namespace lumivel {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to the pointer.
    explicit ComPtr(T* pointer) : m_pointer(pointer) {
        if (m_pointer) m_pointer->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_pointer) {}
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ~ComPtr() { reset(); }
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_pointer, other.m_pointer);
        return *this;
    }

    T* get() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }
    // For out-parameters: releases what is held and hands out the slot.
    T** put() {
        reset();
        return &m_pointer;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    T* detach() { return std::exchange(m_pointer, nullptr); }
    // Adopts an existing reference without adding one.
    void attach(T* pointer) {
        reset();
        m_pointer = pointer;
    }
    void reset() {
        if (T* old = std::exchange(m_pointer, nullptr)) old->Release();
    }
    template <typename U>
    HRESULT queryInterface(REFIID iid, ComPtr<U>* result) const {
        if (!m_pointer) return E_POINTER;
        return m_pointer->QueryInterface(iid, result->putVoid());
    }

private:
    T* m_pointer = nullptr;
};

class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(LPCWSTR text) : m_bstr(text ? SysAllocString(text) : nullptr) {}
    UniqueBstr(const char16_t* text, size_t length) : m_bstr(SysAllocStringLen(text, static_cast<UINT>(length))) {}
    UniqueBstr(UniqueBstr&& other) noexcept : m_bstr(std::exchange(other.m_bstr, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) reset(std::exchange(other.m_bstr, nullptr));
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { SysFreeString(m_bstr); }

    BSTR get() const { return m_bstr; }
    BSTR* put() {
        reset();
        return &m_bstr;
    }
    BSTR detach() { return std::exchange(m_bstr, nullptr); }
    void reset(BSTR value = nullptr) {
        SysFreeString(m_bstr);
        m_bstr = value;
    }
    UINT length() const { return SysStringLen(m_bstr); }
    std::u16string_view view() const { return m_bstr ? std::u16string_view(m_bstr, SysStringLen(m_bstr)) : std::u16string_view(); }
    bool empty() const { return length() == 0; }

private:
    BSTR m_bstr = nullptr;
};

class VariantHolder {
public:
    VariantHolder() { VariantInit(&m_value); }
    ~VariantHolder() { VariantClear(&m_value); }
    VariantHolder(const VariantHolder&) = delete;
    VariantHolder& operator=(const VariantHolder&) = delete;

    VARIANT* get() { return &m_value; }
    const VARIANT* get() const { return &m_value; }
    VARIANT* operator->() { return &m_value; }
    const VARIANT* operator->() const { return &m_value; }
    void clear() {
        VariantClear(&m_value);
        VariantInit(&m_value);
    }
    VARIANT detach() {
        VARIANT out = m_value;
        VariantInit(&m_value);
        return out;
    }

private:
    VARIANT m_value;
};

}  // namespace lumivel
