#include "shared/object_list.h"

#include <cstring>

#include "win/adshlp_build.h"

namespace lumivel::shared {

namespace {

// A VARIANT passed by reference (a script's ByRef argument) stands for the one it points to.
const VARIANT* dereference(const VARIANT* value) {
    for (int depth = 0; value && value->vt == (VT_BYREF | VT_VARIANT) && depth < 4; ++depth) value = value->pvarVal;
    return value;
}

}  // namespace

LONG_PTR AddressFromVariant(const VARIANT* value) {
    value = dereference(value);
    if (!value) return 0;
    switch (value->vt) {
        case VT_I8: case VT_UI8: return static_cast<LONG_PTR>(value->llVal);
        case VT_I4: case VT_INT: return value->lVal;
        case VT_UI4: case VT_UINT: return static_cast<LONG_PTR>(value->ulVal);
        case VT_BYREF | VT_I8: return value->pllVal ? static_cast<LONG_PTR>(*value->pllVal) : 0;
        case VT_BYREF | VT_I4: return value->plVal ? *value->plVal : 0;
        default: return 0;
    }
}

PropertySet* RecordFromVariant(const VARIANT* value) {
    return reinterpret_cast<PropertySet*>(AddressFromVariant(value));
}

void RecordToVariant(PropertySet* record, VARIANT* value) {
    if (!record || !value) return;
    value->vt = VT_I8;
    value->llVal = reinterpret_cast<LONG_PTR>(record);
}

HRESULT BuildObjectList(PropertySet* const* records, size_t count, VARIANT* list) {
    std::vector<LONG_PTR> addresses(count);
    for (size_t i = 0; i < count; ++i) addresses[i] = reinterpret_cast<LONG_PTR>(records[i]);
    return BuildAddressList(addresses, list);
}

HRESULT BuildAddressList(const std::vector<LONG_PTR>& addresses, VARIANT* list) {
    if (!list) return E_POINTER;
    if (addresses.empty()) return S_OK;
    if (addresses.size() > 0xFFFFFFFFu) return E_INVALIDARG;
    std::vector<LONG64> elements(addresses.begin(), addresses.end());
    return ADsBuildVarArrayInt64(elements.data(), static_cast<DWORD>(elements.size()), list);
}

std::vector<PropertySet*> ReadObjectList(const VARIANT* list, ListForm form) {
    std::vector<PropertySet*> records;
    for (LONG_PTR address : ReadAddressList(list, form)) records.push_back(reinterpret_cast<PropertySet*>(address));
    return records;
}

std::vector<LONG_PTR> ReadAddressList(const VARIANT* list, ListForm form) {
    std::vector<LONG_PTR> records;
    list = dereference(list);
    if (!list) return records;
    if (list->vt == VT_I8 || list->vt == VT_I4) {
        records.push_back(AddressFromVariant(list));
        return records;
    }
    if (!(list->vt & VT_ARRAY) || (list->vt & VT_BYREF)) return records;
    if (form == ListForm::VariantArrayOnly && list->vt != (VT_ARRAY | VT_VARIANT)) return records;
    SAFEARRAY* array = list->parray;
    if (!array || SafeArrayGetDim(array) != 1) return records;
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) return records;
    if (upper < lower) return records;

    VARTYPE elementType = static_cast<VARTYPE>(list->vt & ~VT_ARRAY);
    VARTYPE declared = VT_EMPTY;
    if (SUCCEEDED(SafeArrayGetVartype(array, &declared)) && declared != VT_EMPTY) elementType = declared;
    UINT elementSize = SafeArrayGetElemsize(array);

    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data)) || !data) return records;
    size_t count = static_cast<size_t>(static_cast<int64_t>(upper) - lower + 1);
    records.reserve(count);
    const auto* bytes = static_cast<const BYTE*>(data);
    for (size_t i = 0; i < count; ++i) {
        const BYTE* element = bytes + i * elementSize;
        LONG_PTR address = 0;
        if (elementType == VT_VARIANT && elementSize == sizeof(VARIANT)) {
            address = AddressFromVariant(reinterpret_cast<const VARIANT*>(element));
        } else if ((elementType == VT_I8 || elementType == VT_UI8) && elementSize == sizeof(LONG64)) {
            LONG64 number;
            std::memcpy(&number, element, sizeof number);
            address = static_cast<LONG_PTR>(number);
        } else if ((elementType == VT_I4 || elementType == VT_INT) && elementSize == sizeof(LONG)) {
            LONG number;
            std::memcpy(&number, element, sizeof number);
            address = number;
        }
        records.push_back(address);
    }
    SafeArrayUnaccessData(array);
    return records;
}

void FreeObjectListRecords(VARIANT* list) {
    if (!list) return;
    for (PropertySet* record : ReadObjectList(list, ListForm::AnyArray)) FreePropertySet(record);
    VariantClear(list);
    VariantInit(list);
}

}  // namespace lumivel::shared
