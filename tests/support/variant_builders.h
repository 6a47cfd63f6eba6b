// VARIANTs of one type and value for conversion and dispatch tables. The caller owns what
// they hold (VariantClear frees a Text).
#pragma once

#include "win/oleauto.h"

namespace lumivel::testing {

inline VARIANT Text(const char16_t* text) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}
inline VARIANT Date(double d) {
    VARIANT v;
    v.vt = VT_DATE;
    v.date = d;
    return v;
}
inline VARIANT Bool(bool b) {
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}
inline VARIANT I4(LONG n) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}
inline VARIANT I8(LONGLONG n) {
    VARIANT v;
    v.vt = VT_I8;
    v.llVal = n;
    return v;
}
inline VARIANT R8(double d) {
    VARIANT v;
    v.vt = VT_R8;
    v.dblVal = d;
    return v;
}
inline VARIANT Empty() {
    VARIANT v;
    VariantInit(&v);
    return v;
}
inline VARIANT Null() {
    VARIANT v;
    v.vt = VT_NULL;
    return v;
}

}  // namespace lumivel::testing
