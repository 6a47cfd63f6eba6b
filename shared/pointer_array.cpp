#include "shared/pointer_array.h"

#include <cstring>
#include <utility>

#include "win/com.h"

namespace lumivel::shared {

PointerArray::PointerArray(PointerArray&& other) noexcept
    : m_items(std::exchange(other.m_items, nullptr)),
      m_count(std::exchange(other.m_count, 0)),
      m_room(std::exchange(other.m_room, 0)),
      m_destroy(other.m_destroy) {}

PointerArray& PointerArray::operator=(PointerArray&& other) noexcept {
    if (this != &other) {
        clear();
        m_items = std::exchange(other.m_items, nullptr);
        m_count = std::exchange(other.m_count, 0);
        m_room = std::exchange(other.m_room, 0);
        m_destroy = other.m_destroy;
    }
    return *this;
}

bool PointerArray::ensureRoom() {
    if (m_count < m_room) return true;
    LONG newRoom = m_room == 0 ? kInitialRoom : m_room + kGrowth;
    void* grown = CoTaskMemRealloc(m_items, sizeof(void*) * static_cast<size_t>(newRoom));
    if (!grown) return false;
    m_items = static_cast<void**>(grown);
    m_room = newRoom;
    return true;
}

bool PointerArray::append(void* element) { return insert(m_count, element); }

bool PointerArray::insert(LONG index, void* element) {
    if (index < 0 || index > m_count) return false;
    if (!ensureRoom()) return false;
    std::memmove(m_items + index + 1, m_items + index, sizeof(void*) * static_cast<size_t>(m_count - index));
    m_items[index] = element;
    ++m_count;
    return true;
}

void* PointerArray::detach(LONG index) {
    if (index < 0 || index >= m_count) return nullptr;
    void* element = m_items[index];
    std::memmove(m_items + index, m_items + index + 1, sizeof(void*) * static_cast<size_t>(m_count - index - 1));
    --m_count;
    return element;
}

void PointerArray::remove(LONG index) {
    void* element = detach(index);
    if (element && m_destroy) m_destroy(element);
}

void PointerArray::clear() {
    if (m_destroy) {
        for (LONG i = 0; i < m_count; ++i) {
            if (m_items[i]) m_destroy(m_items[i]);
        }
    }
    CoTaskMemFree(m_items);
    m_items = nullptr;
    m_count = 0;
    m_room = 0;
}

}  // namespace lumivel::shared
