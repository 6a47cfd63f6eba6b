// The schema cache's class and attribute tables.
//
// Entries keep the order in which they were added, and a lookup finds the first entry of a
// name or GUID, as a front-to-back search would; hash indexes by name and by GUID (ASCII
// letters without regard to case) make that cost the same for the thousands of classes and
// attributes of a forest as for a handful, because the provider asks once per tombstone and
// the console once per row. One lock guards each table: the console's worker threads look
// names up while its own thread adds icons.
#pragma once

#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "schemacache/schema_entry.h"
#include "win/oleauto.h"

namespace glossar {

// A table's entry: the record, and its friendly name as the cache hands it out.
struct TableEntry {
    explicit TableEntry(SchemaEntry e) : entry(std::move(e)) {}
    ~TableEntry() { SysFreeString(friendlyBstr); }
    TableEntry(const TableEntry&) = delete;
    TableEntry& operator=(const TableEntry&) = delete;

    SchemaEntry entry;
    // Callers keep reading the friendly name they were handed, so once made it stays as it
    // is for the entry's life.
    BSTR friendlyBstr = nullptr;
    // The display-specifier service is asked once for a friendly name the index left empty.
    bool friendlyAsked = false;
};

// Case-insensitive (ASCII letters) hashing and comparison of names and GUID strings.
struct NoCaseHash {
    size_t operator()(std::u16string_view text) const noexcept;
};
struct NoCaseEqual {
    bool operator()(std::u16string_view a, std::u16string_view b) const noexcept;
};

class SchemaTable {
public:
    using Lock = std::unique_lock<std::mutex>;
    enum class Key { Name, Guid };

    SchemaTable() = default;
    SchemaTable(const SchemaTable&) = delete;
    SchemaTable& operator=(const SchemaTable&) = delete;

    Lock lock() const { return Lock(m_mutex); }

    // With the table's lock held (the lock is the proof): the first entry of the key, or null.
    TableEntry* find(const Lock& held, Key key, std::u16string_view value) const;
    TableEntry& append(const Lock& held, SchemaEntry entry);
    size_t size(const Lock& held) const;

    // Taking the lock for the one call.
    void append(SchemaEntry entry);
    bool contains(Key key, std::u16string_view value) const;

private:
    void checkHeld(const Lock& held) const;

    using Index = std::unordered_map<std::u16string_view, TableEntry*, NoCaseHash, NoCaseEqual>;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<TableEntry>> m_entries;
    // Keys are views into the entries, whose names and GUIDs never change once added.
    Index m_byName;
    Index m_byGuid;
};

// The LDAP display names of the container classes, sorted without regard to case (equal
// names side by side); it has a lock of its own so that a search never meets an insert.
class ContainerSet {
public:
    void insert(std::u16string name);
    bool contains(std::u16string_view name) const;
    bool empty() const;
    std::vector<std::u16string> names() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::u16string> m_names;
};

}  // namespace glossar
