// How records travel between modules inside a VARIANT.
//
// Everything runs in one process, so records go by address. Addresses are pointer-sized
// here: a single record is a VT_I8 VARIANT, and an ObjectList is a VT_ARRAY|VT_VARIANT
// holding one VT_I8 element per record, in list order. A receiver still accepts VT_I4
// (a script passing a plain number, 0 for "none"). An empty list is never built: the
// output VARIANT is then left untouched. Only these helpers build and read the forms, so
// all modules agree.
#pragma once

#include <vector>

#include "shared/property_set.h"

namespace lumivel::shared {

// Which VARIANTs a reader takes as a list.
enum class ListForm {
    VariantArrayOnly,  // exactly VT_ARRAY|VT_VARIANT
    AnyArray,          // any one-dimensional SAFEARRAY of addresses
};

// The record held by a single-record VARIANT (VT_I8, VT_I4, or by reference); null otherwise.
PropertySet* RecordFromVariant(const VARIANT* value);
// The address held by a VARIANT element, or 0.
LONG_PTR AddressFromVariant(const VARIANT* value);

// Stores one record as a VT_I8 VARIANT; null leaves the VARIANT untouched.
void RecordToVariant(PropertySet* record, VARIANT* value);

// Builds an ObjectList from the addresses, in order. With no records the VARIANT is left
// untouched and the result is S_OK. The VARIANT is overwritten, not cleared, as by the
// builder it wraps.
HRESULT BuildObjectList(PropertySet* const* records, size_t count, VARIANT* list);
inline HRESULT BuildObjectList(const std::vector<PropertySet*>& records, VARIANT* list) {
    return BuildObjectList(records.data(), records.size(), list);
}

// The addresses of a selection or list, from its lower to its upper bound. A single-record
// VARIANT is a list of one; any other type is an empty list. Null elements are kept so
// that positions agree with the list; callers skip them.
std::vector<PropertySet*> ReadObjectList(const VARIANT* list, ListForm form = ListForm::VariantArrayOnly);

// The same forms for other addresses that travel by list (column records).
HRESULT BuildAddressList(const std::vector<LONG_PTR>& addresses, VARIANT* list);
std::vector<LONG_PTR> ReadAddressList(const VARIANT* list, ListForm form = ListForm::VariantArrayOnly);

// Frees every record of a list the caller owns and clears the VARIANT.
void FreeObjectListRecords(VARIANT* list);

}  // namespace lumivel::shared
