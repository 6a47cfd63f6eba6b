#include <gtest/gtest.h>

#include "counted_object.h"

namespace {

using lumivel::test::CountedDispatch;

TEST(SafeArray, MultiDimensionalBoundsAndLayout) {
    // Dimension 1 has 3 elements from -1, dimension 2 has 2 from 10.
    SAFEARRAYBOUND bounds[] = {{3, -1}, {2, 10}};
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(psa), 2u);
    EXPECT_EQ(SafeArrayGetElemsize(psa), 4u);
    LONG lower, upper;
    EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, 1, &upper), S_OK);
    EXPECT_EQ(lower, -1);
    EXPECT_EQ(upper, 1);
    EXPECT_EQ(SafeArrayGetLBound(psa, 2, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, 2, &upper), S_OK);
    EXPECT_EQ(lower, 10);
    EXPECT_EQ(upper, 11);
    EXPECT_EQ(SafeArrayGetLBound(psa, 0, &lower), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(psa, 3, &upper), DISP_E_BADINDEX);
    // Windows stores the bounds in reverse order.
    EXPECT_EQ(psa->rgsabound[0].lLbound, 10);
    EXPECT_EQ(psa->rgsabound[1].lLbound, -1);

    for (LONG j = 10; j <= 11; ++j)
        for (LONG i = -1; i <= 1; ++i) {
            LONG index[] = {i, j};
            LONG value = j * 100 + i;
            ASSERT_EQ(SafeArrayPutElement(psa, index, &value), S_OK);
        }
    // The first dimension varies fastest in memory.
    LONG* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(data[0], 999);
    EXPECT_EQ(data[1], 1000);
    EXPECT_EQ(data[3], 1099);
    EXPECT_EQ(data[5], 1101);
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);

    struct {
        LONG i, j;
    } outside[] = {{-2, 10}, {2, 10}, {0, 9}, {0, 12}, {LONG(0x80000000), 10}};
    for (auto cell : outside) {
        LONG index[] = {cell.i, cell.j};
        LONG value = 0;
        EXPECT_EQ(SafeArrayGetElement(psa, index, &value), DISP_E_BADINDEX) << cell.i << "," << cell.j;
        EXPECT_EQ(SafeArrayPutElement(psa, index, &value), DISP_E_BADINDEX);
    }
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, LocksGuardDestruction) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, 4);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    ASSERT_EQ(SafeArrayLock(psa), S_OK);
    EXPECT_EQ(psa->cLocks, 2u);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    SAFEARRAYBOUND grown = {8, 0};
    EXPECT_EQ(SafeArrayRedim(psa, &grown), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnlock(psa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED) << "more unlocks than locks";
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, ElementTypesOwnTheirValues) {
    struct {
        VARTYPE vt;
        ULONG size;
    } types[] = {{VT_UI1, 1}, {VT_I4, 4}, {VT_I8, 8}, {VT_BSTR, sizeof(BSTR)}, {VT_VARIANT, sizeof(VARIANT)},
                 {VT_DISPATCH, sizeof(void*)}, {VT_UNKNOWN, sizeof(void*)}};
    for (auto type : types) {
        SAFEARRAY* psa = SafeArrayCreateVector(type.vt, 1, 2);
        ASSERT_NE(psa, nullptr) << type.vt;
        VARTYPE vt = VT_EMPTY;
        EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
        EXPECT_EQ(vt, type.vt);
        EXPECT_EQ(SafeArrayGetElemsize(psa), type.size);
        SafeArrayDestroy(psa);
    }
    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_VARIANT | VT_BYREF, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, nullptr), nullptr);

    // BSTRs are copied in and out; a put over an old value frees it.
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 1);
    LONG index = 0;
    BSTR text = SysAllocString(u"first");
    ASSERT_EQ(SafeArrayPutElement(strings, &index, text), S_OK);
    EXPECT_NE(static_cast<BSTR*>(strings->pvData)[0], text);
    SysFreeString(text);
    text = SysAllocString(u"second");
    ASSERT_EQ(SafeArrayPutElement(strings, &index, text), S_OK);
    SysFreeString(text);
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(strings, &index, &out), S_OK);
    EXPECT_EQ(std::u16string(out), u"second");
    SysFreeString(out);
    SafeArrayDestroy(strings);

    // Interfaces are held while in the array, in its copies, and released with them.
    CountedDispatch object;
    SAFEARRAY* objects = SafeArrayCreateVector(VT_DISPATCH, 0, 2);
    ASSERT_EQ(SafeArrayPutElement(objects, &index, static_cast<IDispatch*>(&object)), S_OK);
    EXPECT_EQ(object.references, 2u);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(objects, &copy), S_OK);
    EXPECT_EQ(object.references, 3u);
    VARTYPE vt;
    EXPECT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
    EXPECT_EQ(vt, VT_DISPATCH);
    IDispatch* got = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy, &index, &got), S_OK);
    EXPECT_EQ(got, &object);
    got->Release();
    SafeArrayDestroy(objects);
    SafeArrayDestroy(copy);
    EXPECT_EQ(object.references, 1u);

    // VARIANT elements are deep copies.
    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT item;
    item.vt = VT_BSTR;
    item.bstrVal = SysAllocString(u"deep");
    ASSERT_EQ(SafeArrayPutElement(variants, &index, &item), S_OK);
    VariantClear(&item);
    VARIANT read;
    ASSERT_EQ(SafeArrayGetElement(variants, &index, &read), S_OK);
    EXPECT_EQ(std::u16string(read.bstrVal), u"deep");
    VariantClear(&read);
    SafeArrayDestroy(variants);
}

TEST(SafeArray, RedimKeepsAndFreesElements) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
        OLECHAR letter[] = {OLECHAR(u'a' + i), 0};
        BSTR text = SysAllocString(letter);
        SafeArrayPutElement(psa, &i, text);
        SysFreeString(text);
    }
    SAFEARRAYBOUND shrunk = {1, 0};
    ASSERT_EQ(SafeArrayRedim(psa, &shrunk), S_OK);
    LONG upper = -1;
    SafeArrayGetUBound(psa, 1, &upper);
    EXPECT_EQ(upper, 0);
    SAFEARRAYBOUND grown = {4, 0};
    ASSERT_EQ(SafeArrayRedim(psa, &grown), S_OK);
    BSTR* data = static_cast<BSTR*>(psa->pvData);
    EXPECT_EQ(std::u16string(data[0]), u"a");
    EXPECT_EQ(data[1], nullptr) << "grown elements start empty";
    SafeArrayDestroy(psa);
}

TEST(SafeArray, EmptyArraysAndCopies) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 5, 0);
    ASSERT_NE(psa, nullptr);
    LONG lower, upper;
    SafeArrayGetLBound(psa, 1, &lower);
    SafeArrayGetUBound(psa, 1, &upper);
    EXPECT_EQ(lower, 5);
    EXPECT_EQ(upper, 4);
    SAFEARRAY* copy = reinterpret_cast<SAFEARRAY*>(1);
    EXPECT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);
    EXPECT_EQ(copy, nullptr);
    ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    EXPECT_EQ(copy->rgsabound[0].cElements, 0u);
    SafeArrayDestroy(copy);
    SafeArrayDestroy(psa);

    // A size whose byte count overflows is refused, not truncated.
    SAFEARRAYBOUND huge[] = {{0xFFFFFFFF, 0}, {0xFFFFFFFF, 0}, {0xFFFFFFFF, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 3, huge), nullptr);
}

}  // namespace
