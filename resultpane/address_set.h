// A set of record addresses for the difference of two large lists: one flat table with open
// addressing, made once and only asked, so that 100,000 addresses cost one allocation and no
// node each, as a node-based set's would.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

namespace panorel {

// Heap addresses differ in their middle bits: a multiplicative hash spreads them.
inline size_t AddressSlot(const void* address, size_t mask) {
    const uint64_t bits = reinterpret_cast<uintptr_t>(address);
    return size_t((bits * 0x9E3779B97F4A7C15ULL) >> 32) & mask;
}

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
    size_t slotOf(const void* address) const { return AddressSlot(address, m_mask); }

    std::vector<const void*> m_slots;
    size_t m_mask;
    size_t m_size = 0;
};

// Addresses with a place each (the first given for an address), in the same kind of table: a
// list of 100,000 records indexed without a sort, and each asked in constant time.
class AddressPlaces {
public:
    static constexpr uint32_t kNone = UINT32_MAX;

    AddressPlaces() = default;
    explicit AddressPlaces(size_t count)
        : m_addresses(std::bit_ceil(count * 2 + 2), nullptr), m_places(m_addresses.size(), kNone),
          m_mask(m_addresses.size() - 1) {}

    // False when the address was there already (its first place stays); null is never held.
    bool insert(const void* address, uint32_t place) {
        if (!address || m_addresses.empty()) return false;
        for (size_t at = AddressSlot(address, m_mask);; at = (at + 1) & m_mask) {
            if (m_addresses[at] == address) return false;
            if (!m_addresses[at]) {
                m_addresses[at] = address;
                m_places[at] = place;
                return true;
            }
        }
    }
    uint32_t find(const void* address) const {
        if (!address || m_addresses.empty()) return kNone;
        for (size_t at = AddressSlot(address, m_mask);; at = (at + 1) & m_mask) {
            if (m_addresses[at] == address) return m_places[at];
            if (!m_addresses[at]) return kNone;
        }
    }

private:
    std::vector<const void*> m_addresses;
    std::vector<uint32_t> m_places;
    size_t m_mask = 0;
};

}  // namespace panorel
