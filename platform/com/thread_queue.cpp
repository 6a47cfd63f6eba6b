// The per-thread work queue behind cross-thread COM calls and posted window messages.
#include "lumivel/thread_queue.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
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

// Refuses further work and abandons what never ran. A kernel thread id may already belong
// to a newer thread, whose entry stays.
void CloseQueue(ThreadQueue& queue) {
    {
        QueueDirectory& directory = Directory();
        std::lock_guard lock(directory.mutex);
        auto found = directory.byThread.find(queue.owner());
        if (found != directory.byThread.end() && found->second.lock().get() == &queue) directory.byThread.erase(found);
    }
    for (ThreadQueue::Work& work : queue.close())
        if (work.abandon) work.abandon();
}

// A thread's queue must stay usable while the thread ends: destructors of other thread-local
// objects (windows, apartments) still post to it and drain it, in an order nobody controls.
// So the queue is owned through a pthread key, whose destructor runs only after every
// thread_local destructor; the thread_local pointer below is trivially destructible and
// stays readable until then. The queue closes with the thread's thread_local destructors
// (t_closer), so that a caller waiting for work the thread will never run learns of it while
// the thread ends, on the main thread too, whose key destructors never run.
thread_local ThreadQueue* t_queue = nullptr;
thread_local bool t_closed = false;

struct ThreadQueueCloser {
    bool armed = false;
    ~ThreadQueueCloser() {
        t_closed = true;
        if (armed && t_queue) CloseQueue(*t_queue);
    }
};
thread_local ThreadQueueCloser t_closer;

void ReleaseQueue(void* slot) {
    auto* owned = static_cast<ThreadQueuePtr*>(slot);
    if (t_queue == owned->get()) t_queue = nullptr;
    CloseQueue(**owned);
    delete owned;
}

pthread_key_t QueueKey() {
    static const pthread_key_t key = [] {
        pthread_key_t created;
        if (pthread_key_create(&created, ReleaseQueue) != 0) std::abort();
        return created;
    }();
    return key;
}

ThreadQueuePtr* OwnedQueue() { return static_cast<ThreadQueuePtr*>(pthread_getspecific(QueueKey())); }

}  // namespace

ThreadQueuePtr CurrentThreadQueue() {
    if (ThreadQueuePtr* owned = OwnedQueue()) return *owned;
    auto* owned = new ThreadQueuePtr(std::make_shared<ThreadQueue>(CurrentThreadId()));
    if (pthread_setspecific(QueueKey(), owned) != 0) std::abort();
    t_queue = owned->get();
    if (t_closed) {
        // Made while the thread ends: it takes no work, like the queue it replaces.
        CloseQueue(**owned);
    } else {
        QueueDirectory& directory = Directory();
        {
            std::lock_guard lock(directory.mutex);
            directory.byThread[t_queue->owner()] = *owned;
        }
        t_closer.armed = true;
    }
    return *owned;
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
    ThreadQueuePtr* owned = OwnedQueue();
    if (!owned) return 0;
    // Hold the queue: work may end the thread's COM use but the queue lives with the thread.
    ThreadQueuePtr queue = *owned;
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

bool HasPendingThreadWork() {
    ThreadQueuePtr* owned = OwnedQueue();
    return owned && (*owned)->hasWork();
}

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
