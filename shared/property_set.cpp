#include "shared/property_set.h"

#include <atomic>
#include <mutex>
#include <new>

#include "lumivel/interned_bstr.h"
#include "shared/text_helpers.h"
#include "win/com.h"

struct PropertySetLock {
    std::recursive_mutex m_mutex;
};

namespace {

void destroyEntry(PropertyEntry* entry) {
    if (!entry) return;
    VariantClear(&entry->Value);
    SysFreeString(entry->Name);
    CoTaskMemFree(entry);
}

void destroyEntryProc(PropertyEntry* entry) { destroyEntry(entry); }

// Holds the record's lock for the scope when the record is marked Locked.
class RecordGuard {
public:
    explicit RecordGuard(const PropertySet* record)
        : m_lock(record->Locked && record->Lock ? record->Lock : nullptr) {
        if (m_lock) m_lock->m_mutex.lock();
    }
    ~RecordGuard() {
        if (m_lock) m_lock->m_mutex.unlock();
    }
    RecordGuard(const RecordGuard&) = delete;
    RecordGuard& operator=(const RecordGuard&) = delete;

private:
    PropertySetLock* m_lock;
};

}  // namespace

namespace lumivel::shared {

int ComparePropertyNames(LPCWSTR left, LPCWSTR right, LONG compareOption) {
    UNREFERENCED_PARAMETER(compareOption);
    if (!left || !right) return -1;
    return CompareNoCase(left, right);
}

}  // namespace lumivel::shared

PropertySet* PropertySet::create() {
    void* memory = CoTaskMemAlloc(sizeof(PropertySet));
    if (!memory) return nullptr;
    PropertySet* record = new (memory) PropertySet{};
    record->Sorted = 1;
    record->CompareOption = 0;
    record->Ascending = 1;
    record->Compare = &lumivel::shared::ComparePropertyNames;
    record->DestroyEntry = &destroyEntryProc;
    record->Count = 0;
    record->Lock = nullptr;
    record->Locked = 0;
    record->Disabled = 0;
    record->IsNode = 0;
    record->ImageIndex = -1;
    record->RefCount = 1;
    return record;
}

int PropertySet::compare(LPCWSTR left, LPCWSTR right) const {
    int result = lumivel::shared::ComparePropertyNames(left, right, CompareOption);
    return Ascending ? result : -result;
}

LONG PropertySet::find(LPCWSTR name, bool* found) const {
    *found = false;
    LONG count = Entries.count();
    if (!Sorted) {
        for (LONG i = 0; i < count; ++i) {
            if (lumivel::shared::ComparePropertyNames(entryAt(i)->Name, name, CompareOption) == 0) {
                *found = true;
                return i;
            }
        }
        return count;
    }
    // Binary search; an unknown name goes after the last smaller one.
    LONG low = 0, high = count;
    while (low < high) {
        LONG middle = low + (high - low) / 2;
        int order = compare(entryAt(middle)->Name, name);
        if (order == 0) {
            *found = true;
            return middle;
        }
        if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

bool PropertySet::store(LPCWSTR name, VARIANT* value) {
    RecordGuard guard(this);
    bool found = false;
    LONG position = find(name, &found);
    if (found) {
        PropertyEntry* entry = static_cast<PropertyEntry*>(Entries.at(position));
        VariantClear(&entry->Value);
        entry->Value = *value;
        entry->Tag = 0;
        return true;
    }
    auto* entry = static_cast<PropertyEntry*>(CoTaskMemAlloc(sizeof(PropertyEntry)));
    if (!entry) return false;
    // Every record of a listing carries the same few names: one kept copy serves them all.
    entry->Name = lumivel::SharedOrNewBstr(name);
    entry->Tag = 0;
    if (!entry->Name || !Entries.insert(position, entry)) {
        SysFreeString(entry->Name);
        CoTaskMemFree(entry);
        return false;
    }
    entry->Value = *value;
    Count = Entries.count();
    return true;
}

bool PropertySet::getValue(LPCWSTR name, VARIANT* value) const {
    if (!name) return false;
    RecordGuard guard(this);
    bool found = false;
    LONG position = find(name, &found);
    if (!found) return false;
    if (value) *value = entryAt(position)->Value;
    return true;
}

bool PropertySet::has(LPCWSTR name) const { return getValue(name, nullptr); }

std::optional<std::u16string> PropertySet::copyString(LPCWSTR name) const {
    if (!name) return std::nullopt;
    RecordGuard guard(this);
    bool found = false;
    LONG position = find(name, &found);
    if (!found) return std::nullopt;
    const VARIANT& value = entryAt(position)->Value;
    if (value.vt != VT_BSTR) return std::nullopt;
    return value.bstrVal ? std::u16string(value.bstrVal, SysStringLen(value.bstrVal)) : std::u16string();
}

std::u16string PropertySet::copyText(LPCWSTR name) const { return copyString(name).value_or(std::u16string()); }

BSTR PropertySet::shareString(LPCWSTR name) const {
    if (!name) return nullptr;
    RecordGuard guard(this);
    bool found = false;
    LONG position = find(name, &found);
    if (!found) return nullptr;
    const VARIANT& value = entryAt(position)->Value;
    return value.vt == VT_BSTR ? lumivel::ShareBstr(value.bstrVal) : nullptr;
}

LONG_PTR PropertySet::getRaw(LPCWSTR name) const {
    VARIANT value;
    if (!getValue(name, &value)) return 0;
    switch (value.vt) {
        case VT_BSTR: return reinterpret_cast<LONG_PTR>(value.bstrVal);
        case VT_I4: case VT_INT: return value.lVal;
        case VT_UI4: case VT_UINT: return static_cast<LONG_PTR>(value.ulVal);
        case VT_I8: case VT_UI8: return static_cast<LONG_PTR>(value.llVal);
        case VT_I2: case VT_BOOL: return value.iVal;
        case VT_UI2: return value.uiVal;
        case VT_I1: return value.cVal;
        case VT_UI1: return value.bVal;
        case VT_EMPTY: case VT_NULL: return 0;
        default: return static_cast<LONG_PTR>(value.llVal);
    }
}

BSTR PropertySet::getString(LPCWSTR name) const {
    VARIANT value;
    if (!getValue(name, &value) || value.vt != VT_BSTR) return nullptr;
    return value.bstrVal;
}

std::u16string_view PropertySet::getText(LPCWSTR name) const {
    BSTR text = getString(name);
    return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}

bool PropertySet::setString(LPCWSTR name, LPCWSTR text) {
    if (!name) return false;
    VARIANT value;
    VariantInit(&value);
    if (text) {
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(text);
        if (!value.bstrVal) return false;
    }
    if (!store(name, &value)) {
        VariantClear(&value);
        return false;
    }
    return true;
}

bool PropertySet::setText(LPCWSTR name, std::u16string_view text) {
    if (!name) return false;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!value.bstrVal) return false;
    if (!store(name, &value)) {
        VariantClear(&value);
        return false;
    }
    return true;
}

bool PropertySet::setCommonText(LPCWSTR name, std::u16string_view text) {
    if (!name) return false;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = lumivel::SharedOrNewBstr(text);
    if (!value.bstrVal) return false;
    if (!store(name, &value)) {
        VariantClear(&value);
        return false;
    }
    return true;
}

bool PropertySet::setSharedString(LPCWSTR name, BSTR text) {
    if (!name) return false;
    VARIANT value;
    VariantInit(&value);
    if (text) {
        value.vt = VT_BSTR;
        value.bstrVal = lumivel::ShareBstr(text);
        if (!value.bstrVal) return false;
    }
    if (!store(name, &value)) {
        VariantClear(&value);
        return false;
    }
    return true;
}

bool PropertySet::setInt(LPCWSTR name, LONG number) {
    if (!name) return false;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = number;
    return store(name, &value);
}

bool PropertySet::setValue(LPCWSTR name, const VARIANT* source) {
    if (!name) return false;
    VARIANT value;
    VariantInit(&value);
    if (source && FAILED(VariantCopy(&value, source))) return false;
    if (!store(name, &value)) {
        VariantClear(&value);
        return false;
    }
    return true;
}

bool PropertySet::removeValue(LPCWSTR name) {
    if (!name) return false;
    RecordGuard guard(this);
    bool found = false;
    LONG position = find(name, &found);
    if (!found) return false;
    destroyEntry(static_cast<PropertyEntry*>(Entries.detach(position)));
    Count = Entries.count();
    return true;
}

PropertySet* PropertySet::clone() const {
    PropertySet* copy = create();
    if (!copy) return nullptr;
    // The copy keeps the original's order below, so it must search the same way.
    copy->Sorted = Sorted;
    copy->CompareOption = CompareOption;
    copy->Ascending = Ascending;
    copy->Disabled = Disabled;
    copy->IsNode = IsNode;
    copy->Reserved2 = Reserved2;
    copy->Reserved3 = Reserved3;
    copy->ImageIndex = ImageIndex;
    RecordGuard guard(this);
    for (LONG i = 0; i < Entries.count(); ++i) {
        const PropertyEntry* entry = entryAt(i);
        // The copy keeps this record's order, so entries are appended, not searched.
        auto* duplicate = static_cast<PropertyEntry*>(CoTaskMemAlloc(sizeof(PropertyEntry)));
        bool copied = false;
        if (duplicate) {
            duplicate->Name = lumivel::SharedOrNewBstr(std::u16string_view(entry->Name, SysStringLen(entry->Name)));
            duplicate->Tag = entry->Tag;
            VariantInit(&duplicate->Value);
            copied = duplicate->Name && SUCCEEDED(VariantCopy(&duplicate->Value, &entry->Value)) &&
                     copy->Entries.append(duplicate);
        }
        if (!copied) {
            destroyEntry(duplicate);
            copy->release();
            return nullptr;
        }
    }
    copy->Count = copy->Entries.count();
    return copy;
}

bool PropertySet::enableLock() {
    if (!Lock) {
        void* memory = CoTaskMemAlloc(sizeof(PropertySetLock));
        if (!memory) return false;
        Lock = new (memory) PropertySetLock;
    }
    Locked = 1;
    return true;
}

void PropertySet::destroy() {
    for (LONG i = 0; i < Entries.count(); ++i) destroyEntry(static_cast<PropertyEntry*>(Entries.at(i)));
    Entries.clear();
    Count = 0;
    if (Lock) {
        Lock->~PropertySetLock();
        CoTaskMemFree(Lock);
        Lock = nullptr;
    }
    Locked = 0;
}

void PropertySet::addRef() { std::atomic_ref<LONG>(RefCount).fetch_add(1, std::memory_order_relaxed); }

void PropertySet::release() {
    if (std::atomic_ref<LONG>(RefCount).fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    destroy();
    this->~PropertySet();
    CoTaskMemFree(this);
}
