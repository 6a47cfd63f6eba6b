#include "shared/record_release.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "lumivel/com_object.h"
#include "shared/object_list.h"

using lumivel::shared::ReleaseRecordsAside;

namespace {

// Records the test holds a reference of its own to, so that what the helper let go of can be
// read afterwards.
struct HeldRecords {
    explicit HeldRecords(size_t count) {
        for (size_t i = 0; i < count; ++i) {
            PropertySet* record = PropertySet::create();
            record->addRef();
            all.push_back(record);
        }
    }
    ~HeldRecords() {
        for (PropertySet* record : all) record->release();
    }
    bool eachHeldOnce() const {
        for (const PropertySet* record : all)
            if (record->RefCount != 1) return false;
        return true;
    }
    std::vector<PropertySet*> all;
};

// The worker holds the module while it runs: its end gives the module's count back.
bool WorkerEnded(LONG locksBefore) {
    for (int i = 0; i < 2000 && lumivel::shared::ReleasesAsideRunning() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return lumivel::shared::ReleasesAsideRunning() == 0 && lumivel::com::ThisModule().locks.load() == locksBefore;
}

TEST(RecordRelease, AShortListIsLetGoOfAtOnceAndNullsAreSkipped) {
    HeldRecords held(3);
    std::vector<PropertySet*> list = held.all;
    list.insert(list.begin() + 1, nullptr);
    EXPECT_FALSE(ReleaseRecordsAside(list, 8));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(held.eachHeldOnce());
}

TEST(RecordRelease, ALongListIsLetGoOfOnAWorkerHoldingTheModule) {
    const LONG locksBefore = lumivel::com::ThisModule().locks.load();
    HeldRecords held(40);
    std::vector<PropertySet*> list = held.all;
    list.push_back(nullptr);
    EXPECT_TRUE(ReleaseRecordsAside(list, 8));
    EXPECT_TRUE(list.empty()) << "the caller's list is emptied at once";
    ASSERT_TRUE(WorkerEnded(locksBefore));
    EXPECT_TRUE(held.eachHeldOnce());
}

TEST(RecordRelease, AnObjectListIsEmptiedAndItsRecordsLetGoOf) {
    const LONG locksBefore = lumivel::com::ThisModule().locks.load();
    for (size_t count : {size_t(3), size_t(40)}) {
        HeldRecords held(count);
        VARIANT list;
        VariantInit(&list);
        ASSERT_EQ(lumivel::shared::BuildObjectList(held.all, &list), S_OK);
        EXPECT_EQ(lumivel::shared::ReleaseObjectListAside(&list, 8), count >= 8);
        EXPECT_EQ(list.vt, VT_EMPTY);
        ASSERT_TRUE(WorkerEnded(locksBefore));
        EXPECT_TRUE(held.eachHeldOnce()) << count;
    }
    EXPECT_FALSE(lumivel::shared::ReleaseObjectListAside(nullptr));
}

TEST(RecordRelease, RecordsWhoseLastReferenceGoesAreFreedByTheWorker) {
    // Under the sanitizers' leak check, a record the worker did not free fails the run.
    const LONG locksBefore = lumivel::com::ThisModule().locks.load();
    std::vector<PropertySet*> list;
    for (int i = 0; i < 5000; ++i) {
        PropertySet* record = PropertySet::create();
        record->setInt(u"n", i);
        list.push_back(record);
    }
    EXPECT_TRUE(ReleaseRecordsAside(list));
    EXPECT_TRUE(WorkerEnded(locksBefore));
}

}  // namespace
