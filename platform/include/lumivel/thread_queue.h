// Per-thread queue of posted work (internal platform interface, not a Windows API).
//
// Every thread may own one queue. Other threads post work to it; the owner runs the work when
// it drains its queue: from its message loop (the UI backend registers a wake-up hook that is
// called whenever work arrives, and then drains on its own loop), or while it blocks in
// PumpThreadWorkUntil waiting for a cross-thread call to finish. COM's cross-thread proxies and
// PostMessageW both travel this way.
#pragma once

#include <functional>
#include <memory>

#include "win/types.h"

namespace lumivel {

class ThreadQueue;
using ThreadQueuePtr = std::shared_ptr<ThreadQueue>;

// The calling thread's queue, created on first use and closed when the thread ends.
LUMIVEL_EXPORT ThreadQueuePtr CurrentThreadQueue();

// The queue of the thread with this id (GetCurrentThreadId), or null when that thread has none
// or has ended.
LUMIVEL_EXPORT ThreadQueuePtr FindThreadQueue(DWORD threadId);

// The id of the thread that owns the queue.
LUMIVEL_EXPORT DWORD ThreadQueueOwner(const ThreadQueue& queue);

// Appends work to the queue and wakes its owner. `abandon`, when given, runs instead of `run`
// if the owner ends before it ran the work (on the ending thread), so that a waiting caller
// learns of it. False when the queue is already closed; nothing runs then.
LUMIVEL_EXPORT bool PostThreadWork(ThreadQueue& queue, std::function<void()> run,
                                   std::function<void()> abandon = {});

// Runs the work posted to the calling thread so far, in order, and returns how many items ran.
// Work posted meanwhile waits for the next drain, so a busy poster cannot starve the caller.
LUMIVEL_EXPORT size_t RunPendingThreadWork();

// Whether work waits in the calling thread's queue.
LUMIVEL_EXPORT bool HasPendingThreadWork();

// Installs the calling thread's wake-up hook (an empty function removes it). The hook is called
// on the posting thread right after work was queued, so it must only schedule a drain on the
// owner's loop, never run the work itself.
LUMIVEL_EXPORT void SetThreadWakeUpHook(std::function<void()> hook);

// Runs the calling thread's posted work until `done` returns true, sleeping while the queue is
// empty. `done` is checked after each drain; whoever makes it true must post to this thread
// (or call WakeThreadQueue) so that the sleep ends. False when timeoutMs (or INFINITE) passed.
LUMIVEL_EXPORT bool PumpThreadWorkUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Wakes the owner of the queue from PumpThreadWorkUntil without posting work.
LUMIVEL_EXPORT void WakeThreadQueue(ThreadQueue& queue);

}  // namespace lumivel
