// PropertySet: the record that crosses every module (a domain node, a deleted object, a
// command result). A case-insensitive map from property name to VARIANT plus fixed fields.
//
// ABI and ownership, relied on by the provider, the snap-in and the control alike:
//  - The record, its entries and its entry array are allocated with the COM task allocator,
//    so the module that holds a record last frees it, whichever module made it.
//  - The fields up to ImageIndex keep their documented order and meaning. RefCount follows
//    them: a record starts with one reference; release() destroys and frees it at zero.
//    A receiver that instead calls destroy() and CoTaskMemFree() on a record it owns is
//    still correct, because nothing else holds a reference to records that are handed out.
//  - The compare and entry-destroy routines are stored in the record, but the operations
//    below always use the shared code of the calling module: a record may outlive the module
//    that built it (a provider unloaded before the snap-in frees its lists), and calling
//    through a pointer into an unloaded module would crash.
//  - Entry names (and the values set with setCommonText) may be the process's kept copies
//    (lumivel/interned_bstr.h), shared by every record: SysFreeString ignores those, so
//    freeing a record is the same either way, but no one may write into a record's strings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "shared/pointer_array.h"
#include "win/oleauto.h"

struct PropertyEntry {
    BSTR Name;
    VARIANT Value;
    LONG Tag;  // always 0
};

typedef int (*PropertyCompareProc)(LPCWSTR left, LPCWSTR right, LONG compareOption);
typedef void (*PropertyEntryDestroyProc)(PropertyEntry* entry);

struct PropertySetLock;

struct PropertySet {
    LONG Sorted;
    LONG CompareOption;
    LONG Ascending;
    PropertyCompareProc Compare;
    PropertyEntryDestroyProc DestroyEntry;
    lumivel::shared::PointerArray Entries;
    LONG Count;
    PropertySetLock* Lock;
    LONG Reserved1;
    LONG Locked;
    LONG Disabled;
    LONG IsNode;
    LONG Reserved2;
    LONG Reserved3;
    LONG ImageIndex;
    LONG RefCount;

    // A new, empty record with one reference, or null when memory runs out.
    static PropertySet* create();

    // Copies the stored VARIANT (type and payload, no deep copy: the record keeps ownership).
    // Returns false, leaving *value untouched, when the name is absent.
    bool getValue(LPCWSTR name, VARIANT* value) const;
    // The stored payload: a VT_BSTR's string pointer, a VT_I4's number; 0 when absent.
    LONG_PTR getRaw(LPCWSTR name) const;
    // The string value, or null when the name is absent or does not hold a string.
    BSTR getString(LPCWSTR name) const;
    // The string value, or "" when the name is absent or does not hold a string.
    std::u16string_view getText(LPCWSTR name) const;
    bool has(LPCWSTR name) const;
    // Copies of a string value taken while the record's lock is held, for a record that another
    // thread may change meanwhile (getString and getText hand out the stored string itself).
    // copyText gives "" and copyString nothing when the name is absent or holds no string.
    std::u16string copyText(LPCWSTR name) const;
    std::optional<std::u16string> copyString(LPCWSTR name) const;
    // Another owner of the string value itself (lumivel::ShareBstr), taken under the lock: the
    // caller frees it with SysFreeString and keeps it however the record changes later. Null
    // when the name is absent, holds no string, or memory ran out.
    BSTR shareString(LPCWSTR name) const;

    // A null name does nothing. A null text stores an empty VARIANT. Each returns false when
    // memory runs out (the record is then unchanged).
    bool setString(LPCWSTR name, LPCWSTR text);
    bool setText(LPCWSTR name, std::u16string_view text);
    // The same as setText for a value many records repeat (a class, a server's name): it is
    // stored as the process's kept copy when there is room, never written to afterwards.
    bool setCommonText(LPCWSTR name, std::u16string_view text);
    // Stores another owner of text (lumivel::ShareBstr) rather than a copy: for a value the
    // record also holds under another key. A null text stores an empty VARIANT.
    bool setSharedString(LPCWSTR name, BSTR text);
    bool setInt(LPCWSTR name, LONG number);
    // Stores a deep copy of the value.
    bool setValue(LPCWSTR name, const VARIANT* value);
    // Removes the entry; false when the name is absent.
    bool removeValue(LPCWSTR name);

    // Shorthands for the common keys.
    BSTR name() const { return getString(u"name"); }
    BSTR className() const { return getString(u"class"); }
    BSTR path() const { return getString(u"path"); }
    BSTR guid() const { return getString(u"guid"); }
    bool setName(LPCWSTR text) { return setString(u"name", text); }
    bool setClassName(LPCWSTR text) { return setString(u"class", text); }
    bool setPath(LPCWSTR text) { return setString(u"path", text); }
    bool setGuid(LPCWSTR text) { return setString(u"guid", text); }

    // A new record with the same fixed fields (Disabled through ImageIndex), the same order
    // (Sorted, CompareOption, Ascending, so that its entries are found as in the original) and
    // copies of every entry; null when memory runs out.
    PropertySet* clone() const;

    // Turns on the lock: from then on every lookup and insertion holds it. False when the
    // lock cannot be created.
    bool enableLock();

    // Destroys every entry, the entry array and the lock; the caller then frees the record
    // with CoTaskMemFree. Only for a record nobody else references.
    void destroy();

    void addRef();
    // Drops one reference; at zero destroys the record and frees its memory.
    void release();

    // Entry by position (in name order for sorted records); not locked.
    const PropertyEntry* entryAt(LONG index) const { return static_cast<const PropertyEntry*>(Entries.at(index)); }

private:
    // Position of the name, or where it would be inserted; the caller holds the lock.
    LONG find(LPCWSTR name, bool* found) const;
    int compare(LPCWSTR left, LPCWSTR right) const;
    // Stores the value under the name; takes ownership of *value only on success.
    bool store(LPCWSTR name, VARIANT* value);
};

namespace lumivel::shared {

// Destroys and frees a record handed over to the caller; null is ignored.
inline void FreePropertySet(PropertySet* record) {
    if (record) record->release();
}

// The case-insensitive comparison of entry names; an absent name compares as less.
int ComparePropertyNames(LPCWSTR left, LPCWSTR right, LONG compareOption);

}  // namespace lumivel::shared
