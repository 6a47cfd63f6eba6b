#include "shared/property_set.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "lumivel/interned_bstr.h"
#include "shared/text_helpers.h"
#include "win/com.h"

namespace {

struct Key {
    const char16_t* set;
    const char16_t* read;
    bool found;
};

// Names are one key whatever their case; different names stay different.
TEST(PropertySetTest, NamesMatchWithoutRegardToCase) {
    const Key table[] = {
        {u"Parent", u"parent", true},     {u"parent", u"PARENT", true},   {u"FocusedDC", u"focuseddc", true},
        {u"name", u"Name", true},         {u"name", u"names", false},     {u"class", u"clas", false},
        {u"\u00C9cole", u"\u00E9cole", true}, {u"a", u"", false},
    };
    for (const Key& row : table) {
        PropertySet* record = PropertySet::create();
        ASSERT_NE(record, nullptr);
        ASSERT_TRUE(record->setString(row.set, u"value"));
        VARIANT value;
        EXPECT_EQ(record->getValue(row.read, &value), row.found) << std::string(row.set, row.set + 1);
        if (row.found) {
            ASSERT_EQ(value.vt, VT_BSTR);
            EXPECT_EQ(std::u16string(value.bstrVal), u"value");
        }
        record->release();
    }
}

TEST(PropertySetTest, SettingAnExistingKeyReplacesTheValueInPlace) {
    PropertySet* record = PropertySet::create();
    record->setString(u"name", u"first");
    record->setInt(u"Removable", 1);
    ASSERT_EQ(record->Count, 2);
    record->setString(u"NAME", u"second");
    record->setInt(u"removable", 0);
    EXPECT_EQ(record->Count, 2);
    EXPECT_EQ(record->getText(u"name"), u"second");
    EXPECT_EQ(record->getRaw(u"Removable"), 0);
    // The entry keeps the spelling it was created with.
    EXPECT_EQ(std::u16string(record->entryAt(0)->Name), u"name");
    // A value of another type replaces a string.
    record->setInt(u"name", 7);
    EXPECT_EQ(record->getRaw(u"name"), 7);
    EXPECT_EQ(record->getString(u"name"), nullptr);
    record->release();
}

TEST(PropertySetTest, NullTextIsAnEmptyValueAndNullNameIsIgnored) {
    PropertySet* record = PropertySet::create();
    ASSERT_TRUE(record->setString(u"lastKnownParent", nullptr));
    VARIANT value;
    value.vt = VT_I4;
    ASSERT_TRUE(record->getValue(u"lastKnownParent", &value));
    EXPECT_EQ(value.vt, VT_EMPTY);
    EXPECT_EQ(record->getRaw(u"lastKnownParent"), 0);
    EXPECT_TRUE(record->getText(u"lastKnownParent").empty());
    EXPECT_EQ(record->getRaw(u"absent"), 0);

    EXPECT_FALSE(record->setString(nullptr, u"x"));
    EXPECT_FALSE(record->setInt(nullptr, 1));
    EXPECT_EQ(record->Count, 1);
    // An empty string is a string, not an empty value.
    record->setString(u"name", u"");
    ASSERT_TRUE(record->getValue(u"name", &value));
    EXPECT_EQ(value.vt, VT_BSTR);
    EXPECT_NE(record->getRaw(u"name"), 0);
    record->release();
}

TEST(PropertySetTest, FreshRecordHasTheDocumentedFixedFields) {
    PropertySet* record = PropertySet::create();
    EXPECT_EQ(record->Sorted, 1);
    EXPECT_EQ(record->CompareOption, 0);
    EXPECT_EQ(record->Ascending, 1);
    EXPECT_EQ(record->Locked, 0);
    EXPECT_EQ(record->Lock, nullptr);
    EXPECT_EQ(record->Disabled, 0);
    EXPECT_EQ(record->IsNode, 0);
    EXPECT_EQ(record->ImageIndex, -1);
    EXPECT_EQ(record->Count, 0);
    EXPECT_NE(record->Compare, nullptr);
    EXPECT_NE(record->DestroyEntry, nullptr);
    EXPECT_EQ(record->Compare(nullptr, u"a", 0), -1);
    EXPECT_EQ(record->Compare(u"a", nullptr, 0), -1);
    record->release();
}

std::vector<std::u16string> namesOf(const PropertySet* record) {
    std::vector<std::u16string> names;
    for (LONG i = 0; i < record->Count; ++i) names.emplace_back(record->entryAt(i)->Name);
    return names;
}

TEST(PropertySetTest, EntriesAreKeptInNameOrderOrInInsertionOrder) {
    const char16_t* inserted[] = {u"path", u"Class", u"name", u"FocusedDC", u"guid", u"dateDeleted", u"NoDelete",
                                  u"a",    u"Z",     u"m",    u"distinguishedName"};
    PropertySet* sorted = PropertySet::create();
    PropertySet* unsorted = PropertySet::create();
    unsorted->Sorted = 0;
    PropertySet* descending = PropertySet::create();
    descending->Ascending = 0;
    for (const char16_t* name : inserted) {
        sorted->setInt(name, 1);
        unsorted->setInt(name, 1);
        descending->setInt(name, 1);
    }
    std::vector<std::u16string> ascendingOrder = {u"a",    u"Class", u"dateDeleted", u"distinguishedName",
                                                  u"FocusedDC", u"guid", u"m", u"name", u"NoDelete", u"path", u"Z"};
    EXPECT_EQ(namesOf(sorted), ascendingOrder);
    std::vector<std::u16string> insertionOrder(std::begin(inserted), std::end(inserted));
    EXPECT_EQ(namesOf(unsorted), insertionOrder);
    std::vector<std::u16string> descendingOrder(ascendingOrder.rbegin(), ascendingOrder.rend());
    EXPECT_EQ(namesOf(descending), descendingOrder);
    // Every form, and a copy of it, still finds every name, in any case; the copy keeps the order.
    for (PropertySet* record : {sorted, unsorted, descending}) {
        PropertySet* copy = record->clone();
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(namesOf(copy), namesOf(record));
        for (PropertySet* form : {record, copy}) {
            for (const char16_t* name : inserted) {
                std::u16string upper(name);
                for (auto& c : upper) c = (c >= u'a' && c <= u'z') ? c - 32 : c;
                EXPECT_TRUE(form->has(upper.c_str())) << lumivel::shared::NarrowText(upper);
            }
        }
        // A name added to the copy goes where the copy's order puts it, and is found.
        copy->setInt(u"k", 2);
        EXPECT_EQ(copy->getRaw(u"K"), 2);
        EXPECT_EQ(copy->Count, record->Count + 1);
        copy->release();
        record->release();
    }
}

// Copies of a value stay whole after the record replaces or removes it; absent names and
// values that are no strings copy as nothing.
TEST(PropertySetTest, CopiedValuesOutliveTheirReplacement) {
    PropertySet* record = PropertySet::create();
    ASSERT_TRUE(record->enableLock());
    record->setString(u"FocusedDC", u"dc1.lumivel.test");
    record->setInt(u"Removable", 1);
    std::u16string copied = record->copyText(u"focuseddc");
    record->setString(u"FocusedDC", u"dc2.lumivel.test");
    record->removeValue(u"FocusedDC");
    EXPECT_EQ(copied, u"dc1.lumivel.test");
    EXPECT_FALSE(record->copyString(u"FocusedDC").has_value());
    EXPECT_FALSE(record->copyString(u"Removable").has_value());
    EXPECT_EQ(record->copyText(u"Removable"), u"");
    record->setString(u"Empty", u"");
    EXPECT_EQ(record->copyString(u"Empty"), std::optional<std::u16string>(u""));
    EXPECT_FALSE(record->copyString(nullptr).has_value());
    record->release();
}

TEST(PropertySetTest, CloneCopiesFixedFieldsAndEntriesDeeply) {
    PropertySet* record = PropertySet::create();
    record->Disabled = 1;
    record->IsNode = 1;
    record->Reserved3 = 42;
    record->ImageIndex = 17;
    record->setString(u"name", u"Sales");
    record->setInt(u"Removable", 1);
    PropertySet* copy = record->clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Disabled, 1);
    EXPECT_EQ(copy->IsNode, 1);
    EXPECT_EQ(copy->Reserved3, 42);
    EXPECT_EQ(copy->ImageIndex, 17);
    EXPECT_EQ(copy->RefCount, 1);
    EXPECT_EQ(copy->Count, 2);
    EXPECT_NE(copy->name(), record->name());
    record->setString(u"name", u"Changed");
    record->release();
    EXPECT_EQ(copy->getText(u"name"), u"Sales");
    EXPECT_EQ(copy->getRaw(u"removable"), 1);
    copy->release();
}

TEST(PropertySetTest, ReferencesKeepARecordAliveAndDestroyFreesALoneRecord) {
    PropertySet* record = PropertySet::create();
    record->setString(u"name", u"kept");
    record->addRef();
    record->release();
    EXPECT_EQ(record->getText(u"name"), u"kept");
    record->release();

    // A receiver that frees the way the record's fields document it.
    PropertySet* other = PropertySet::create();
    other->setString(u"name", u"x");
    other->enableLock();
    other->destroy();
    EXPECT_EQ(other->Count, 0);
    CoTaskMemFree(other);
}

TEST(PropertySetTest, LockedRecordKeepsEveryConcurrentInsertion) {
    PropertySet* record = PropertySet::create();
    ASSERT_TRUE(record->enableLock());
    EXPECT_EQ(record->Locked, 1);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([record, t] {
            for (int i = 0; i < 250; ++i) {
                std::u16string name = u"key" + std::u16string(1, u'A' + t) + std::u16string(1, u'0' + i % 10) +
                                      std::u16string(1, u'0' + i / 10 % 10) + std::u16string(1, u'0' + i / 100);
                record->setInt(name.c_str(), i);
                record->has(u"keyA000");
            }
        });
    }
    for (auto& writer : writers) writer.join();
    EXPECT_EQ(record->Count, 1000);
    record->release();
}

TEST(PropertySetTest, RemovedValueIsGone) {
    PropertySet* record = PropertySet::create();
    record->setString(u"a", u"1");
    record->setString(u"b", u"2");
    EXPECT_TRUE(record->removeValue(u"A"));
    EXPECT_FALSE(record->removeValue(u"a"));
    EXPECT_EQ(record->Count, 1);
    EXPECT_EQ(record->getText(u"b"), u"2");
    record->release();
}

// Two records of a listing share their key names and repeated values; each frees alone, a
// clone and a replaced value included, and what the other holds stays readable.
TEST(PropertySetTest, RecordsShareKeptNamesAndCommonValues) {
    PropertySet* first = PropertySet::create();
    PropertySet* second = PropertySet::create();
    ASSERT_TRUE(first->setCommonText(u"class", u"user"));
    ASSERT_TRUE(second->setCommonText(u"class", u"user"));
    ASSERT_TRUE(first->setText(u"name", u"Ann"));
    ASSERT_TRUE(second->setText(u"name", u"Bob"));
    EXPECT_EQ(first->entryAt(0)->Name, second->entryAt(0)->Name);
    EXPECT_TRUE(lumivel::IsInternedBstr(first->entryAt(0)->Name));
    EXPECT_EQ(first->className(), second->className());
    EXPECT_NE(first->name(), second->name()) << "values are not shared unless asked for";

    PropertySet* copy = first->clone();
    ASSERT_NE(copy, nullptr);
    first->release();
    EXPECT_EQ(second->getText(u"class"), u"user");
    EXPECT_EQ(copy->getText(u"class"), u"user");
    EXPECT_EQ(copy->getText(u"name"), u"Ann");
    // A common value replaced by an ordinary one, and the other way round.
    ASSERT_TRUE(copy->setText(u"class", u"contact"));
    ASSERT_TRUE(second->setCommonText(u"name", u"Bob"));
    EXPECT_EQ(copy->getText(u"class"), u"contact");
    EXPECT_EQ(second->getText(u"name"), u"Bob");
    copy->release();
    EXPECT_EQ(second->getText(u"class"), u"user");
    second->release();
}

// One text under two keys is one BSTR with two owners: replacing or removing either key, a
// clone, a copy taken out and the record's end each leave the others' text whole.
TEST(PropertySetTest, ASharedValueOutlivesEachOfItsOwners) {
    PropertySet* record = PropertySet::create();
    ASSERT_TRUE(record->setText(u"distinguishedName", u"CN=Ann\\0ADEL:1,CN=Deleted Objects,DC=x"));
    ASSERT_TRUE(record->setSharedString(u"path", record->getString(u"distinguishedName")));
    EXPECT_EQ(record->path(), record->getString(u"distinguishedName"));
    ASSERT_TRUE(record->setSharedString(u"nothing", nullptr));
    VARIANT empty;
    ASSERT_TRUE(record->getValue(u"nothing", &empty));
    EXPECT_EQ(empty.vt, VT_EMPTY);

    PropertySet* copy = record->clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->path(), record->path()) << "a clone owns copies";
    BSTR taken = record->shareString(u"path");
    EXPECT_EQ(record->shareString(u"absent"), nullptr);
    EXPECT_EQ(record->shareString(u"nothing"), nullptr);

    ASSERT_TRUE(record->setText(u"distinguishedName", u"CN=Ann,OU=Back,DC=x"));
    EXPECT_EQ(record->getText(u"path"), u"CN=Ann\\0ADEL:1,CN=Deleted Objects,DC=x");
    ASSERT_TRUE(record->removeValue(u"path"));
    record->release();
    EXPECT_EQ(std::u16string(taken), u"CN=Ann\\0ADEL:1,CN=Deleted Objects,DC=x");
    EXPECT_EQ(copy->getText(u"path"), u"CN=Ann\\0ADEL:1,CN=Deleted Objects,DC=x");
    SysFreeString(taken);
    copy->release();
}

}  // namespace
