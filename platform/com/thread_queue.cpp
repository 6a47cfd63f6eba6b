// The per-thread work queue behind cross-thread COM calls and posted window messages.
#include "lumivel/thread_queue.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace lumivel {

class ThreadQueue {
public:
    explicit ThreadQueue(DWORD owner) : m_owner(owner) {}

    struct Work {
        std::function<void()> run;
        std::function<void()> abandon;
    };

    DWORD owner() const { return m_owner; }

    bool post(Work work) {
        std::function<void()> hook;
        {
            std::lock_guard lock(m_mutex);
            if (m_closed) return false;
            m_work.push_back(std::move(work));
            ++m_signals;
            hook = m_wakeUp;
        }
        m_arrived.notify_all();
        if (hook) hook();
        return true;
    }

    void wake() {
        {
            std::lock_guard lock(m_mutex);
            ++m_signals;
        }
        m_arrived.notify_all();
    }

    // Takes out what was queued when the drain started.
    std::deque<Work> takeAll() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_work, {});
    }

    bool hasWork() {
        std::lock_guard lock(m_mutex);
        return !m_work.empty();
    }

    uint64_t signals() {
        std::lock_guard lock(m_mutex);
        return m_signals;
    }

    // Sleeps until the signal count moves past `seen` or the deadline passes.
    void waitForSignal(uint64_t seen, std::chrono::steady_clock::time_point deadline, bool forever) {
        std::unique_lock lock(m_mutex);
        auto moved = [&] { return m_signals != seen; };
        if (forever)
            m_arrived.wait(lock, moved);
        else
            m_arrived.wait_until(lock, deadline, moved);
    }

    void setWakeUp(std::function<void()> hook) {
        std::lock_guard lock(m_mutex);
        m_wakeUp = std::move(hook);
    }

    // Refuses further work and hands back what never ran.
    std::deque<Work> close() {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_wakeUp = nullptr;
        return std::exchange(m_work, {});
    }

private:
    const DWORD m_owner;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<Work> m_work;
    uint64_t m_signals = 0;
    bool m_closed = false;
    std::function<void()> m_wakeUp;
};

namespace {

// Thread ids are the kernel's, the same values GetCurrentThreadId returns.
DWORD CurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

struct QueueDirectory {
    std::mutex mutex;
    std::unordered_map<DWORD, std::weak_ptr<ThreadQueue>> byThread;
};

QueueDirectory& Directory() {
    // Never destroyed: threads may still end after static destructors ran.
    static auto* directory = new QueueDirectory;
    return *directory;
}

// Closes the thread's queue when the thread ends.
struct ThreadQueueHolder {
    ThreadQueuePtr queue;
    ~ThreadQueueHolder() {
        if (!queue) return;
        {
            QueueDirectory& directory = Directory();
            std::lock_guard lock(directory.mutex);
            directory.byThread.erase(queue->owner());
        }
        for (ThreadQueue::Work& work : queue->close())
            if (work.abandon) work.abandon();
    }
};

thread_local ThreadQueueHolder t_holder;

}  // namespace

ThreadQueuePtr CurrentThreadQueue() {
    if (!t_holder.queue) {
        auto queue = std::make_shared<ThreadQueue>(CurrentThreadId());
        QueueDirectory& directory = Directory();
        std::lock_guard lock(directory.mutex);
        directory.byThread[queue->owner()] = queue;
        t_holder.queue = std::move(queue);
    }
    return t_holder.queue;
}

ThreadQueuePtr FindThreadQueue(DWORD threadId) {
    QueueDirectory& directory = Directory();
    std::lock_guard lock(directory.mutex);
    auto found = directory.byThread.find(threadId);
    return found == directory.byThread.end() ? nullptr : found->second.lock();
}

DWORD ThreadQueueOwner(const ThreadQueue& queue) { return queue.owner(); }

bool PostThreadWork(ThreadQueue& queue, std::function<void()> run, std::function<void()> abandon) {
    return queue.post({std::move(run), std::move(abandon)});
}

size_t RunPendingThreadWork() {
    if (!t_holder.queue) return 0;
    // Hold the queue: work may end the thread's COM use but the queue lives with the thread.
    ThreadQueuePtr queue = t_holder.queue;
    std::deque<ThreadQueue::Work> batch = queue->takeAll();
    size_t count = 0;
    while (!batch.empty()) {
        // Pop before running, so that work which pumps again (a nested wait) does not see
        // itself a second time.
        ThreadQueue::Work work = std::move(batch.front());
        batch.pop_front();
        if (work.run) work.run();
        ++count;
    }
    return count;
}

bool HasPendingThreadWork() { return t_holder.queue && t_holder.queue->hasWork(); }

void SetThreadWakeUpHook(std::function<void()> hook) { CurrentThreadQueue()->setWakeUp(std::move(hook)); }

bool PumpThreadWorkUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    ThreadQueuePtr queue = CurrentThreadQueue();
    bool forever = timeoutMs == INFINITE;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    for (;;) {
        // Read the signal count before draining, so a post that lands after the drain is not
        // slept through.
        uint64_t seen = queue->signals();
        RunPendingThreadWork();
        if (done()) return true;
        if (!forever && std::chrono::steady_clock::now() >= deadline) return false;
        queue->waitForSignal(seen, deadline, forever);
    }
}

void WakeThreadQueue(ThreadQueue& queue) { queue.wake(); }

}  // namespace lumivel
