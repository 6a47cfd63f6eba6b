#include "schemacache/schema_table.h"

#include <algorithm>
#include <cassert>

#include "lumivel/wide_string.h"

namespace glossar {
namespace {

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c; }

bool LessNoCase(std::u16string_view a, std::u16string_view b) { return lumivel::AsciiCompareNoCase(a, b) < 0; }

}  // namespace

size_t NoCaseHash::operator()(std::u16string_view text) const noexcept {
    // FNV-1a over the folded code units.
    uint64_t hash = 14695981039346656037ull;
    for (char16_t c : text) {
        hash ^= LowerAscii(c);
        hash *= 1099511628211ull;
    }
    return static_cast<size_t>(hash);
}

bool NoCaseEqual::operator()(std::u16string_view a, std::u16string_view b) const noexcept {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

void SchemaTable::checkHeld(const Lock& held) const {
    assert(held.owns_lock() && held.mutex() == &m_mutex);
    (void)held;
}

TableEntry* SchemaTable::find(const Lock& held, Key key, std::u16string_view value) const {
    checkHeld(held);
    const Index& index = key == Key::Name ? m_byName : m_byGuid;
    const auto found = index.find(value);
    return found == index.end() ? nullptr : found->second;
}

TableEntry& SchemaTable::append(const Lock& held, SchemaEntry entry) {
    checkHeld(held);
    m_entries.push_back(std::make_unique<TableEntry>(std::move(entry)));
    TableEntry* added = m_entries.back().get();
    // emplace keeps an existing key: the first entry of a name stays the one found.
    m_byName.emplace(added->entry.ldapDisplayName, added);
    m_byGuid.emplace(added->entry.guid, added);
    return *added;
}

size_t SchemaTable::size(const Lock& held) const {
    checkHeld(held);
    return m_entries.size();
}

void SchemaTable::append(SchemaEntry entry) {
    const Lock held = lock();
    append(held, std::move(entry));
}

bool SchemaTable::contains(Key key, std::u16string_view value) const {
    const Lock held = lock();
    return find(held, key, value) != nullptr;
}

void ContainerSet::insert(std::u16string name) {
    std::lock_guard guard(m_mutex);
    m_names.insert(std::upper_bound(m_names.begin(), m_names.end(), name, LessNoCase), std::move(name));
}

bool ContainerSet::contains(std::u16string_view name) const {
    std::lock_guard guard(m_mutex);
    return std::binary_search(m_names.begin(), m_names.end(), name, LessNoCase);
}

bool ContainerSet::empty() const {
    std::lock_guard guard(m_mutex);
    return m_names.empty();
}

std::vector<std::u16string> ContainerSet::names() const {
    std::lock_guard guard(m_mutex);
    return m_names;
}

}  // namespace glossar
