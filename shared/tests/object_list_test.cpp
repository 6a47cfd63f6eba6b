#include "shared/object_list.h"

#include <gtest/gtest.h>

using lumivel::shared::BuildObjectList;
using lumivel::shared::ListForm;
using lumivel::shared::ReadObjectList;

namespace {

class ObjectListTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto& record : m_records) record = PropertySet::create();
    }
    void TearDown() override {
        for (auto* record : m_records) record->release();
    }
    PropertySet* m_records[3];
};

TEST_F(ObjectListTest, BuiltListHoldsPointerSizedElementsInOrder) {
    VARIANT list;
    VariantInit(&list);
    ASSERT_EQ(BuildObjectList(m_records, 3, &list), S_OK);
    ASSERT_EQ(list.vt, VT_ARRAY | VT_VARIANT);
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(list.parray, 1, &lower);
    SafeArrayGetUBound(list.parray, 1, &upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 2);
    VARIANT* elements = nullptr;
    ASSERT_EQ(SafeArrayAccessData(list.parray, reinterpret_cast<void**>(&elements)), S_OK);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(elements[i].vt, VT_I8);
        EXPECT_EQ(elements[i].llVal, reinterpret_cast<LONG_PTR>(m_records[i]));
    }
    SafeArrayUnaccessData(list.parray);
    auto read = ReadObjectList(&list);
    EXPECT_EQ(read, std::vector<PropertySet*>(m_records, m_records + 3));
    VariantClear(&list);
}

TEST_F(ObjectListTest, OneRecordIsStillAListAndNoRecordsLeaveTheOutputAlone) {
    VARIANT list;
    VariantInit(&list);
    ASSERT_EQ(BuildObjectList(m_records, 1, &list), S_OK);
    EXPECT_EQ(list.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(ReadObjectList(&list).size(), 1u);
    VariantClear(&list);

    VARIANT untouched;
    VariantInit(&untouched);
    EXPECT_EQ(BuildObjectList(m_records, 0, &untouched), S_OK);
    EXPECT_EQ(untouched.vt, VT_EMPTY);
}

TEST_F(ObjectListTest, ReaderAcceptsSingleRecordsAndRejectsOtherTypes) {
    VARIANT single;
    single.vt = VT_I8;
    single.llVal = reinterpret_cast<LONG_PTR>(m_records[1]);
    EXPECT_EQ(ReadObjectList(&single), std::vector<PropertySet*>{m_records[1]});

    VARIANT scriptZero;
    scriptZero.vt = VT_I4;
    scriptZero.lVal = 0;
    EXPECT_EQ(ReadObjectList(&scriptZero), std::vector<PropertySet*>{nullptr});

    VARIANT byReference;
    byReference.vt = VT_BYREF | VT_VARIANT;
    byReference.pvarVal = &single;
    EXPECT_EQ(ReadObjectList(&byReference).size(), 1u);

    VARIANT text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"12345");
    EXPECT_TRUE(ReadObjectList(&text).empty());
    VariantClear(&text);
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_TRUE(ReadObjectList(&empty).empty());
    EXPECT_TRUE(ReadObjectList(nullptr).empty());
}

TEST_F(ObjectListTest, ListIsReadFromItsLowerToItsUpperBound) {
    SAFEARRAYBOUND bound{3, 5};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
    ASSERT_NE(array, nullptr);
    for (LONG i = 0; i < 3; ++i) {
        VARIANT element;
        element.vt = VT_I8;
        element.llVal = reinterpret_cast<LONG_PTR>(m_records[2 - i]);
        LONG index = 5 + i;
        ASSERT_EQ(SafeArrayPutElement(array, &index, &element), S_OK);
    }
    VARIANT list;
    list.vt = VT_ARRAY | VT_VARIANT;
    list.parray = array;
    EXPECT_EQ(ReadObjectList(&list), (std::vector<PropertySet*>{m_records[2], m_records[1], m_records[0]}));
    VariantClear(&list);
}

TEST_F(ObjectListTest, TypedArraysCountOnlyWhereAnyArrayIsAccepted) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I8, 0, 2);
    ASSERT_NE(array, nullptr);
    for (LONG i = 0; i < 2; ++i) {
        LONG64 address = reinterpret_cast<LONG_PTR>(m_records[i]);
        SafeArrayPutElement(array, &i, &address);
    }
    VARIANT list;
    list.vt = VT_ARRAY | VT_I8;
    list.parray = array;
    EXPECT_TRUE(ReadObjectList(&list, ListForm::VariantArrayOnly).empty());
    EXPECT_EQ(ReadObjectList(&list, ListForm::AnyArray), (std::vector<PropertySet*>{m_records[0], m_records[1]}));
    VariantClear(&list);
}

TEST(ObjectListFreeTest, FreeingAListReleasesEveryRecordAndEmptiesTheVariant) {
    PropertySet* records[2] = {PropertySet::create(), PropertySet::create()};
    records[0]->addRef();  // keep one alive to see the release
    VARIANT list;
    VariantInit(&list);
    ASSERT_EQ(BuildObjectList(records, 2, &list), S_OK);
    lumivel::shared::FreeObjectListRecords(&list);
    EXPECT_EQ(list.vt, VT_EMPTY);
    EXPECT_EQ(records[0]->RefCount, 1);
    records[0]->release();
}

}  // namespace
