// A growable array of pointers shared by the product modules.
//
// The storage comes from the COM task allocator so that an array embedded in a record that
// crosses modules (a PropertySet's entries) can be released by whichever module frees the
// record. Room starts at 8 slots and grows by 8; elements are owned only when a destroy
// routine is given.
#pragma once

#include <cstddef>

#include "win/types.h"

namespace lumivel::shared {

class PointerArray {
public:
    using DestroyProc = void (*)(void* element);

    static constexpr LONG kInitialRoom = 8;
    static constexpr LONG kGrowth = 8;

    // Without a destroy routine the array only refers to its elements.
    explicit PointerArray(DestroyProc destroyElement = nullptr) : m_destroy(destroyElement) {}
    ~PointerArray() { clear(); }
    PointerArray(const PointerArray&) = delete;
    PointerArray& operator=(const PointerArray&) = delete;
    PointerArray(PointerArray&& other) noexcept;
    PointerArray& operator=(PointerArray&& other) noexcept;

    LONG count() const { return m_count; }
    LONG room() const { return m_room; }
    bool empty() const { return m_count == 0; }
    bool owning() const { return m_destroy != nullptr; }
    void* at(LONG index) const { return index >= 0 && index < m_count ? m_items[index] : nullptr; }
    void** data() const { return m_items; }

    // Each returns false, leaving the array unchanged, when memory runs out.
    bool append(void* element);
    bool insert(LONG index, void* element);

    // Takes the element out without destroying it and returns it (null when out of range).
    void* detach(LONG index);
    // Takes the element out and destroys it when the array owns its elements.
    void remove(LONG index);
    // Drops every element (destroying owned ones) and frees the storage.
    void clear();

private:
    bool ensureRoom();

    void** m_items = nullptr;
    LONG m_count = 0;
    LONG m_room = 0;
    DestroyProc m_destroy = nullptr;
};

}  // namespace lumivel::shared
