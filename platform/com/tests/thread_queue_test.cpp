#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "lumivel/thread_queue.h"

namespace {

using lumivel::ThreadQueuePtr;

TEST(ThreadQueue, RunsPostedWorkInOrderOnTheOwner) {
    ThreadQueuePtr queue = lumivel::CurrentThreadQueue();
    EXPECT_EQ(lumivel::FindThreadQueue(lumivel::ThreadQueueOwner(*queue)), queue);
    std::vector<int> order;
    std::thread::id ranOn;
    std::thread poster([&] {
        for (int i = 0; i < 3; ++i) lumivel::PostThreadWork(*queue, [&, i] {
            order.push_back(i);
            ranOn = std::this_thread::get_id();
        });
    });
    poster.join();
    EXPECT_TRUE(lumivel::HasPendingThreadWork());
    EXPECT_EQ(lumivel::RunPendingThreadWork(), 3u);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(lumivel::RunPendingThreadWork(), 0u);
}

TEST(ThreadQueue, WorkPostedWhileDrainingWaitsForTheNextDrain) {
    ThreadQueuePtr queue = lumivel::CurrentThreadQueue();
    int runs = 0;
    std::function<void()> again = [&] {
        if (++runs < 3) lumivel::PostThreadWork(*queue, again);
    };
    lumivel::PostThreadWork(*queue, again);
    EXPECT_EQ(lumivel::RunPendingThreadWork(), 1u) << "a self-reposting item cannot starve the loop";
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(lumivel::RunPendingThreadWork(), 1u);
    EXPECT_EQ(lumivel::RunPendingThreadWork(), 1u);
    EXPECT_EQ(runs, 3);
    EXPECT_FALSE(lumivel::HasPendingThreadWork());
}

TEST(ThreadQueue, WakeUpHookRunsOnThePoster) {
    std::promise<ThreadQueuePtr> ready;
    std::atomic<int> wakeUps{0};
    std::atomic<bool> stop{false};
    std::thread owner([&] {
        lumivel::SetThreadWakeUpHook([&] { ++wakeUps; });
        ready.set_value(lumivel::CurrentThreadQueue());
        lumivel::PumpThreadWorkUntil([&] { return stop.load(); }, 5000);
    });
    ThreadQueuePtr queue = ready.get_future().get();
    EXPECT_TRUE(lumivel::PostThreadWork(*queue, [&] { stop = true; }));
    owner.join();
    EXPECT_EQ(wakeUps, 1);
    EXPECT_TRUE(stop);
}

TEST(ThreadQueue, EndedThreadsAbandonTheirWork) {
    std::promise<ThreadQueuePtr> ready;
    std::promise<void> posted;
    std::thread owner([&] {
        ready.set_value(lumivel::CurrentThreadQueue());
        posted.get_future().wait();
        // Ends without draining.
    });
    ThreadQueuePtr queue = ready.get_future().get();
    DWORD ownerId = lumivel::ThreadQueueOwner(*queue);
    bool ran = false, abandoned = false;
    lumivel::PostThreadWork(*queue, [&] { ran = true; }, [&] { abandoned = true; });
    posted.set_value();
    owner.join();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(abandoned);
    EXPECT_FALSE(lumivel::PostThreadWork(*queue, [] {})) << "a closed queue refuses work";
    EXPECT_EQ(lumivel::FindThreadQueue(ownerId), nullptr);
}

// Runs g_lateAction from the destructor of a thread_local object made before the thread's
// queue, so that it runs after the queue's own end-of-thread work.
std::function<void()> g_lateAction;
struct LateUser {
    bool armed = false;
    ~LateUser() {
        if (armed && g_lateAction) g_lateAction();
    }
};
thread_local LateUser t_lateUser;

TEST(ThreadQueue, StaysUsableForDestructorsThatRunWhileTheThreadEnds) {
    std::atomic<bool> ran{false}, posted{true}, pending{true}, pumped{false}, found{true};
    g_lateAction = [&] {
        lumivel::ThreadQueuePtr queue = lumivel::CurrentThreadQueue();
        posted = lumivel::PostThreadWork(*queue, [] {});
        lumivel::RunPendingThreadWork();
        pending = lumivel::HasPendingThreadWork();
        pumped = lumivel::PumpThreadWorkUntil([] { return true; }, 1000);
        found = lumivel::FindThreadQueue(lumivel::ThreadQueueOwner(*queue)) != nullptr;
        ran = true;
    };
    bool abandoned = false;
    std::thread owner([&] {
        t_lateUser.armed = true;
        // Only the thread itself holds its queue.
        lumivel::PostThreadWork(*lumivel::CurrentThreadQueue(), [] {}, [&] { abandoned = true; });
    });
    owner.join();
    g_lateAction = nullptr;
    EXPECT_TRUE(ran);
    EXPECT_TRUE(abandoned) << "work left behind is abandoned before later destructors run";
    EXPECT_FALSE(posted) << "an ending thread takes no new work";
    EXPECT_FALSE(pending);
    EXPECT_TRUE(pumped);
    EXPECT_FALSE(found);
}

TEST(ThreadQueue, AQueueFirstMadeWhileTheThreadEndsClosesWithIt) {
    std::atomic<bool> ran{false}, abandoned{false}, executed{false};
    std::atomic<DWORD> id{0};
    g_lateAction = [&] {
        lumivel::ThreadQueuePtr queue = lumivel::CurrentThreadQueue();
        id = lumivel::ThreadQueueOwner(*queue);
        lumivel::PostThreadWork(*queue, [&] { executed = true; }, [&] { abandoned = true; });
        ran = true;
    };
    std::thread owner([] { t_lateUser.armed = true; });
    owner.join();
    g_lateAction = nullptr;
    EXPECT_TRUE(ran);
    EXPECT_FALSE(executed);
    EXPECT_TRUE(abandoned);
    EXPECT_EQ(lumivel::FindThreadQueue(id), nullptr);
}

TEST(ThreadQueue, PumpTimesOutAndWakesWithoutWork) {
    EXPECT_FALSE(lumivel::PumpThreadWorkUntil([] { return false; }, 20));
    ThreadQueuePtr queue = lumivel::CurrentThreadQueue();
    std::atomic<bool> flag{false};
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        flag = true;
        lumivel::WakeThreadQueue(*queue);
    });
    EXPECT_TRUE(lumivel::PumpThreadWorkUntil([&] { return flag.load(); }, 5000));
    setter.join();
}

}  // namespace
