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
