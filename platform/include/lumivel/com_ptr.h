// An owned interface pointer for code at module edges; the COM signatures stay as they are.
//
// One ownership rule: constructing from a raw pointer adds a reference, as copying does, so a
// ComPtr never takes over a reference it was not given explicitly. Taking over a reference
// that a creation or query already counted is spelled out: ComPtr<T>::Adopt(p) or attach(p).
#pragma once

#include <cstddef>
#include <utility>

#include "win/com.h"

namespace lumivel {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
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

    // Takes over a reference the caller already holds.
    static ComPtr Adopt(T* pointer) {
        ComPtr adopted;
        adopted.m_pointer = pointer;
        return adopted;
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
    // Takes over a reference the caller already holds, releasing what was held.
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

}  // namespace lumivel
