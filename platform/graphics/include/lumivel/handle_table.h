// Tables that turn the opaque handles of graphics and window objects (HBITMAP, HICON, HDC,
// HIMAGELIST, HWND, HMENU ...) into their objects. Handle values are never reused within a
// process and are unique across all kinds, so a stale handle or one of the wrong kind is
// refused instead of followed.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "win/types.h"

namespace lumivel {

// A new handle value: small (below 2^31, so it survives a round trip through a 32-bit field),
// a multiple of 4, never zero and never handed out before.
LUMIVEL_EXPORT ULONG_PTR NewHandleValue();

template <typename T>
class HandleTable {
public:
    template <typename Handle>
    Handle add(std::shared_ptr<T> object) {
        ULONG_PTR value = NewHandleValue();
        std::lock_guard lock(m_mutex);
        m_objects.emplace(value, std::move(object));
        return reinterpret_cast<Handle>(value);
    }

    std::shared_ptr<T> find(const void* handle) const {
        if (handle == nullptr) return nullptr;
        std::lock_guard lock(m_mutex);
        auto it = m_objects.find(reinterpret_cast<ULONG_PTR>(handle));
        return it == m_objects.end() ? nullptr : it->second;
    }

    std::shared_ptr<T> remove(const void* handle) {
        if (handle == nullptr) return nullptr;
        std::lock_guard lock(m_mutex);
        auto it = m_objects.find(reinterpret_cast<ULONG_PTR>(handle));
        if (it == m_objects.end()) return nullptr;
        auto object = std::move(it->second);
        m_objects.erase(it);
        return object;
    }

    std::vector<std::shared_ptr<T>> snapshot() const {
        std::lock_guard lock(m_mutex);
        std::vector<std::shared_ptr<T>> objects;
        objects.reserve(m_objects.size());
        for (const auto& entry : m_objects) objects.push_back(entry.second);
        return objects;
    }

    size_t size() const {
        std::lock_guard lock(m_mutex);
        return m_objects.size();
    }

private:
    mutable std::mutex m_mutex;
    std::unordered_map<ULONG_PTR, std::shared_ptr<T>> m_objects;
};

}  // namespace lumivel
