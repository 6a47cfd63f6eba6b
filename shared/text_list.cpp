#include "shared/text_list.h"

#include "lumivel/variant_holder.h"
#include "win/adshlp_build.h"

namespace lumivel::shared {

bool SetTextList(PropertySet* record, LPCWSTR key, const std::vector<std::u16string>& texts) {
    if (!record || texts.empty()) return true;
    std::vector<LPWSTR> pointers;
    pointers.reserve(texts.size());
    for (const std::u16string& text : texts) pointers.push_back(const_cast<LPWSTR>(text.c_str()));
    lumivel::VariantHolder array;
    if (FAILED(ADsBuildVarArrayStr(pointers.data(), static_cast<DWORD>(pointers.size()), array.get()))) return false;
    return record->setValue(key, array.get());
}

std::vector<std::u16string> TextListOf(const PropertySet* record, LPCWSTR key) {
    std::vector<std::u16string> texts;
    VARIANT value;
    if (!record || !record->getValue(key, &value)) return texts;
    if (value.vt == VT_BSTR && value.bstrVal) {
        texts.emplace_back(value.bstrVal, SysStringLen(value.bstrVal));
        return texts;
    }
    if (value.vt != (VT_ARRAY | VT_VARIANT) || !value.parray || SafeArrayGetDim(value.parray) != 1) return texts;
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(value.parray, 1, &lower)) || FAILED(SafeArrayGetUBound(value.parray, 1, &upper)))
        return texts;
    const auto* elements = static_cast<const VARIANT*>(value.parray->pvData);
    for (LONG i = 0; i <= upper - lower; ++i)
        if (elements[i].vt == VT_BSTR && elements[i].bstrVal)
            texts.emplace_back(elements[i].bstrVal, SysStringLen(elements[i].bstrVal));
    return texts;
}

}  // namespace lumivel::shared
