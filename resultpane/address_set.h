// A set of record addresses for the difference of two large lists: one flat table with open
// addressing, made once and only asked, so that 100,000 addresses cost one allocation and no
// node each, as a node-based set's would.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

namespace panorel {

class AddressSet {
public:
    // Room for `count` addresses at most half the table full.
    explicit AddressSet(size_t count) : m_slots(std::bit_ceil(count * 2 + 2), nullptr), m_mask(m_slots.size() - 1) {}

    // False when the address was there already; null is never held.
    bool insert(const void* address) {
        if (!address) return false;
        for (size_t at = slotOf(address);; at = (at + 1) & m_mask) {
            if (m_slots[at] == address) return false;
            if (!m_slots[at]) {
                m_slots[at] = address;
                ++m_size;
                return true;
            }
        }
    }
    bool contains(const void* address) const {
        if (!address) return false;
        for (size_t at = slotOf(address);; at = (at + 1) & m_mask) {
            if (m_slots[at] == address) return true;
            if (!m_slots[at]) return false;
        }
    }
    size_t size() const { return m_size; }

private:
    size_t slotOf(const void* address) const {
        // Heap addresses differ in their middle bits: a multiplicative hash spreads them.
        const uint64_t bits = reinterpret_cast<uintptr_t>(address);
        return size_t((bits * 0x9E3779B97F4A7C15ULL) >> 32) & m_mask;
    }

    std::vector<const void*> m_slots;
    size_t m_mask;
    size_t m_size = 0;
};

}  // namespace panorel
