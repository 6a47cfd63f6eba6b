// NodeWorker: fetches a domain node's deleted objects on a thread of its own while the
// node's scope item shows the busy icon.
//
// The worker calls only the provider. Everything else (the node's list, its icon, the status
// text) is updated on the console's thread, where the result is posted. The worker holds its
// own references to the provider and the node's record, so a node destroyed during a long
// fetch (the console closing) returns at once: the fetch is abandoned, and what it brings
// back is freed.
#pragma once

#include <ctime>
#include <memory>
#include <string>

#include "lumivel/com_ptr.h"
#include "lumivel/thread_queue.h"
#include "shared/provider_interfaces.h"
#include "snapin/scope_node.h"

namespace snapin {

// Where a node's listing stands, as the provider's answer to command 322 gave it: a refresh
// then asks only for what changed since.
struct ListingSyncPoint {
    std::u16string server, invocationId, usn, cookie;
    // When everything was last read, for the tombstones removed before their time.
    std::time_t wholeReadAt = 0;
};

// What a fetch reads: the provider's list as it may keep it, a fresh one, or what changed
// since the node's sync point (everything when there is none, or the provider has no such
// command).
enum class FetchKind { Listing, FreshListing, Changes };

struct NodeFetch {
    // Read and written on the console's thread only.
    ScopeNode* node = nullptr;
    lumivel::ComPtr<IConsoleNameSpace2> names;
    LONG savedImage = 0;
    FetchKind kind = FetchKind::Listing;
    ListingSyncPoint* syncPoint = nullptr;  // the node's, for a fetch of the changes
    // Handed to the worker.
    lumivel::ComPtr<IRevivo> provider;
    PropertySet* record = nullptr;  // one reference of its own
    PropertySet* request = nullptr;  // the node's record asking for the changes, the fetch's own
    lumivel::ThreadQueuePtr consoleThread;

    // A fetch holds the module while it lives: its result may wait in the console thread's
    // queue after the worker has ended.
    NodeFetch();
    ~NodeFetch();
    // The node goes away: nothing will be applied to it.
    void abandon() {
        node = nullptr;
        syncPoint = nullptr;
        names.reset();
    }
};

// Starts a fetch for the domain node unless one runs already (S_OK then, nothing done).
// Without a default provider nothing happens (S_OK); a provider without IRevivo gives
// E_NOINTERFACE. A fetch of the changes brings the node's list and `syncPoint` up to date.
HRESULT StartNodeFetch(ScopeNode* node, IConsoleNameSpace2* names, FetchKind kind,
                       ListingSyncPoint* syncPoint = nullptr);

// Whether the sync point can be gone on from at `now`: it names a cookie, and its whole read
// is recent enough for the tombstones removed before their time.
bool SyncPointUsable(const ListingSyncPoint& point, std::time_t now);

}  // namespace snapin
