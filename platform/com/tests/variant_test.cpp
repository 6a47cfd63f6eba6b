#include <gtest/gtest.h>

#include "counted_object.h"
#include "win/adshlp_build.h"

namespace {

using lumivel::test::CountedDispatch;

TEST(Variant, ClearReleasesWhatItOwnsAndLeavesReferencesAlone) {
    CountedDispatch object;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = &object;
    object.AddRef();
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(object.references, 1u);
    EXPECT_EQ(v.vt, VT_EMPTY);

    // By reference: the referenced BSTR belongs to someone else.
    BSTR text = SysAllocString(u"kept");
    v.vt = VT_BSTR | VT_BYREF;
    v.pbstrVal = &text;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(std::u16string(text), u"kept");
    SysFreeString(text);

    // An array that someone holds locked cannot be freed under them.
    v.vt = VT_ARRAY | VT_I4;
    v.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    SafeArrayLock(v.parray);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
    SafeArrayUnlock(v.parray);
    EXPECT_EQ(VariantClear(&v), S_OK);

    v.vt = 0x7FF;  // no such type
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
    v.vt = VT_VARIANT;  // only by reference or in arrays
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
}

TEST(Variant, CopyIsDeep) {
    CountedDispatch object;
    LPWSTR names[] = {const_cast<LPWSTR>(u"one"), const_cast<LPWSTR>(u"two")};
    VARIANT list;
    VariantInit(&list);
    ASSERT_EQ(ADsBuildVarArrayStr(names, 2, &list), S_OK);
    VARIANT* items = static_cast<VARIANT*>(list.parray->pvData);
    VariantClear(&items[1]);
    items[1].vt = VT_UNKNOWN;
    items[1].punkVal = &object;
    object.AddRef();

    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &list), S_OK);
    EXPECT_NE(copy.parray, list.parray);
    VARIANT* copied = static_cast<VARIANT*>(copy.parray->pvData);
    EXPECT_NE(copied[0].bstrVal, items[0].bstrVal);
    EXPECT_EQ(std::u16string(copied[0].bstrVal), u"one");
    EXPECT_EQ(object.references, 3u);

    EXPECT_EQ(VariantClear(&list), S_OK);
    EXPECT_EQ(std::u16string(copied[0].bstrVal), u"one") << "the copy outlives the original";
    EXPECT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(object.references, 1u);

    // Copying onto itself changes nothing.
    VARIANT self;
    self.vt = VT_BSTR;
    self.bstrVal = SysAllocString(u"self");
    EXPECT_EQ(VariantCopy(&self, &self), S_OK);
    EXPECT_EQ(std::u16string(self.bstrVal), u"self");
    VariantClear(&self);
}

TEST(Variant, CopyIndDereferences) {
    LONG number = 42;
    VARIANT ref, out;
    VariantInit(&out);
    ref.vt = VT_I4 | VT_BYREF;
    ref.plVal = &number;
    ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 42);

    VARIANT inner;
    inner.vt = VT_BSTR;
    inner.bstrVal = SysAllocString(u"inner");
    ref.vt = VT_VARIANT | VT_BYREF;
    ref.pvarVal = &inner;
    ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
    EXPECT_EQ(out.vt, VT_BSTR);
    EXPECT_NE(out.bstrVal, inner.bstrVal);
    VariantClear(&out);

    // In place: the reference becomes the value it pointed at.
    ASSERT_EQ(VariantCopyInd(&ref, &ref), S_OK);
    EXPECT_EQ(ref.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(ref.bstrVal), u"inner");
    VariantClear(&ref);
    VariantClear(&inner);
}

TEST(AdsBuildVarArray, BuildsVariantVectors) {
    DWORD numbers[] = {7, 0xFFFFFFFF};
    VARIANT v;
    ASSERT_EQ(ADsBuildVarArrayInt(numbers, 2, &v), S_OK);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_VARIANT);
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(v.parray, 1, &lower);
    SafeArrayGetUBound(v.parray, 1, &upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 1);
    VARIANT item;
    LONG index = 1;
    ASSERT_EQ(SafeArrayGetElement(v.parray, &index, &item), S_OK);
    EXPECT_EQ(item.vt, VT_I4);
    EXPECT_EQ(item.lVal, -1);
    VariantClear(&v);

    // Addresses need the full 64 bits.
    LONG64 addresses[] = {0x7FFF12345678LL};
    ASSERT_EQ(ADsBuildVarArrayInt64(addresses, 1, &v), S_OK);
    index = 0;
    SafeArrayGetElement(v.parray, &index, &item);
    EXPECT_EQ(item.vt, VT_I8);
    EXPECT_EQ(item.llVal, 0x7FFF12345678LL);
    VariantClear(&v);

    ASSERT_EQ(ADsBuildVarArrayInt(nullptr, 0, &v), S_OK) << "an empty list is an empty array";
    EXPECT_EQ(v.parray->rgsabound[0].cElements, 0u);
    VariantClear(&v);
    EXPECT_LT(ADsBuildVarArrayInt(numbers, 1, nullptr), 0);
    EXPECT_LT(ADsBuildVarArrayStr(nullptr, 2, &v), 0);
}

}  // namespace
