// The kept BSTRs: blocks laid out as malloc'd BSTRs are ([length][text][null]), packed into one
// static area, found again through a hash table of views into that area. The area is static so
// that telling a kept BSTR from a malloc'd one is a range check, and no module unloading can
// take a kept text away from the records that still point at it.
#include "lumivel/interned_bstr.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace lumivel {

namespace {

// Room for a few thousand key and class names; what a hostile directory fills beyond that is
// allocated per record as before.
constexpr size_t kAreaBytes = 128 * 1024;
// Longer texts are rarely shared, and would use the room up sooner.
constexpr size_t kMaxLength = 64;

alignas(8) unsigned char g_area[kAreaBytes];

struct Interned {
    std::mutex lock;
    size_t used = 0;
    std::unordered_map<std::u16string_view, BSTR> byText;
};

Interned& State() {
    // Never destroyed: records freed while the process ends may still ask IsInternedBstr.
    static Interned* state = new Interned;
    return *state;
}

}  // namespace

BSTR InternedBstr(std::u16string_view text) {
    if (text.size() > kMaxLength) return nullptr;
    Interned& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (auto found = state.byText.find(text); found != state.byText.end()) return found->second;
    const uint32_t bytes = static_cast<uint32_t>(text.size() * sizeof(OLECHAR));
    // The prefix, the text and its terminator, the next block starting 8-aligned.
    const size_t block = (sizeof(uint32_t) + bytes + sizeof(OLECHAR) + 7) & ~size_t(7);
    if (block > kAreaBytes - state.used) return nullptr;
    unsigned char* start = g_area + state.used;
    std::memcpy(start, &bytes, sizeof(bytes));
    auto* kept = reinterpret_cast<OLECHAR*>(start + sizeof(uint32_t));
    if (!text.empty()) std::memcpy(kept, text.data(), bytes);
    kept[text.size()] = 0;
    state.used += block;
    try {
        state.byText.emplace(std::u16string_view(kept, text.size()), kept);
    } catch (const std::bad_alloc&) {
        // The block stays unused; the caller allocates as before.
        return nullptr;
    }
    return kept;
}

bool IsInternedBstr(const OLECHAR* text) {
    const auto* at = reinterpret_cast<const unsigned char*>(text);
    return at >= g_area && at < g_area + kAreaBytes;
}

}  // namespace lumivel
