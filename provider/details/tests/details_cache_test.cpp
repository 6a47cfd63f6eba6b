// The details pane's answers never wait on a reading: the pane says the details are being
// read, one reading runs at a time, a selection that moved on is read next (only the last
// one), and the control is told when what it asked for last is there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "lumivel/com_object.h"
#include "lumivel/thread_queue.h"
#include "provider/details/details_cache.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"
#include "tests/support/posted_work.h"

namespace revivo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A reader that holds each reading until the test lets it go.
class HeldReader {
public:
    DetailsCache::Reader reader() {
        return [this](const DetailsRequest& request) {
            std::unique_lock<std::mutex> lock(m_lock);
            m_asked.push_back(request.name);
            m_changed.notify_all();
            m_changed.wait(lock, [&] { return m_released > 0; });
            --m_released;
            TombstoneDetails details;
            details.name = u"read " + request.name;
            return details;
        };
    }
    void release() {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_released;
        m_changed.notify_all();
    }
    std::vector<std::u16string> asked() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_asked;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::u16string> m_asked;
    int m_released = 0;
};

PropertySet* Tombstone(const std::u16string& name) {
    PropertySet* record = PropertySet::create();
    const std::u16string guid = u"2b7e1f30-7a47-4b0a-9d49-1c1c2b6a3e0" + name.substr(name.size() - 1);
    record->setText(u"name", name + u"\nDEL:" + guid);
    record->setText(u"distinguishedName", u"CN=" + name + u"\\0ADEL:" + guid + u",CN=Deleted Objects,DC=lumivel,DC=test");
    record->setText(u"class", u"user");
    return record;
}

class DetailsCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        cache.SetReady([this] { ++ready; });
        for (const char16_t* name : {u"Tomb A", u"Tomb B", u"Tomb C"}) records.push_back(Tombstone(name));
    }
    void TearDown() override {
        for (PropertySet* record : records) record->release();
    }
    std::string textOf(std::vector<PropertySet*> selection) {
        return lumivel::shared::NarrowText(cache.TextFor(selection));
    }
    // The completions come back through this thread's queue, as to the console's.
    bool pumpUntil(const std::function<bool()>& done) { return lumivel::PumpThreadWorkUntil(done, 10000); }

    HeldReader held;
    DetailsCache cache{held.reader()};
    int ready = 0;
    std::vector<PropertySet*> records;
};

TEST_F(DetailsCacheTest, AnswersAtOnceThenTellsTheControlWhenTheReadingCame) {
    EXPECT_THAT(textOf({records[0]}), HasSubstr("Reading what the directory kept"));
    EXPECT_THAT(textOf({records[0]}), HasSubstr("Reading")) << "asked again while it is read: no second reading";
    held.release();
    ASSERT_TRUE(pumpUntil([&] { return ready == 1; }));
    EXPECT_THAT(textOf({records[0]}), HasSubstr("read Tomb A"));
    EXPECT_EQ(cache.ReadingsStarted(), 1u);
    EXPECT_THAT(held.asked(), ElementsAre(u"Tomb A"));

    cache.Forget();
    EXPECT_THAT(textOf({records[0]}), HasSubstr("Reading")) << "a new listing reads it again";
    held.release();
    ASSERT_TRUE(pumpUntil([&] { return ready == 2; }));
    EXPECT_EQ(cache.ReadingsStarted(), 2u);
}

TEST_F(DetailsCacheTest, ASelectionThatMovesOnReadsOnlyWhereItStopped) {
    textOf({records[0]});
    textOf({records[1]});
    textOf({records[2]});
    held.release();
    ASSERT_TRUE(pumpUntil([&] { return cache.ReadingsStarted() == 2; }));
    EXPECT_EQ(ready, 0) << "A was not asked for last: the control is not bothered";
    held.release();
    ASSERT_TRUE(pumpUntil([&] { return ready == 1; }));
    EXPECT_THAT(held.asked(), ElementsAre(u"Tomb A", u"Tomb C"));
    EXPECT_THAT(textOf({records[2]}), HasSubstr("read Tomb C"));
    EXPECT_THAT(textOf({records[0]}), HasSubstr("read Tomb A")) << "kept, too";
}

TEST_F(DetailsCacheTest, SeveralRecordsTheNodeAndOtherRecordsNeedNoReading) {
    std::string several = textOf({records[0], nullptr, records[1]});
    EXPECT_THAT(several, HasSubstr("2 deleted objects selected: Tomb A, Tomb B."));
    PropertySet* node = PropertySet::create();
    node->IsNode = TRUE;
    EXPECT_THAT(textOf({node}), HasSubstr("Select a deleted object"));
    node->IsNode = FALSE;
    node->setText(u"distinguishedName", u"CN=Live,DC=lumivel,DC=test");
    EXPECT_EQ(textOf({node}), "") << "not a tombstone: the pane is left as it is";
    EXPECT_EQ(textOf({}), "");
    node->release();
    EXPECT_EQ(cache.ReadingsStarted(), 0u);
}

TEST(DetailsCacheLifetime, AReadingThatEndsAfterTheCacheIsGoneChangesNothing) {
    HeldReader held;
    int ready = 0;
    PropertySet* record = Tombstone(u"Tomb A");
    {
        DetailsCache cache(held.reader());
        cache.SetReady([&] { ++ready; });
        cache.TextFor({record});
        ASSERT_TRUE(lumivel::PumpThreadWorkUntil([&] { return !held.asked().empty(); }, 10000));
    }
    held.release();
    // The worker posts its completion to this thread, which still finds the cache closed; the
    // module stays locked until that has run, though the worker has ended long before.
    ASSERT_TRUE(lumivel::testing::PostedWorkSettled());
    EXPECT_EQ(lumivel::com::ThisModule().locks.load(), 1);
    lumivel::RunPendingThreadWork();
    EXPECT_EQ(lumivel::com::ThisModule().locks.load(), 0);
    EXPECT_EQ(ready, 0);
    record->release();
}

}  // namespace
}  // namespace revivo
