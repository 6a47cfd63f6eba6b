// NodeWorker: fetches a domain node's deleted objects on a thread of its own while the
// node's scope item shows the busy icon.
//
// The worker calls only the provider. Everything else (the node's list, its icon, the status
// text) is updated on the console's thread, where the result is posted. The worker holds its
// own references to the provider and the node's record, so a node destroyed during a long
// fetch (the console closing) returns at once: the fetch is abandoned, and what it brings
// back is freed.
#pragma once

#include <memory>

#include "lumivel/com_ptr.h"
#include "lumivel/thread_queue.h"
#include "shared/provider_interfaces.h"
#include "snapin/scope_node.h"

namespace snapin {

struct NodeFetch {
    // Read and written on the console's thread only.
    ScopeNode* node = nullptr;
    lumivel::ComPtr<IConsoleNameSpace2> names;
    LONG savedImage = 0;
    bool refreshing = false;
    // Handed to the worker.
    lumivel::ComPtr<IRevivo> provider;
    PropertySet* record = nullptr;  // one reference of its own
    lumivel::ThreadQueuePtr consoleThread;

    // A fetch holds the module while it lives: its result may wait in the console thread's
    // queue after the worker has ended.
    NodeFetch();
    ~NodeFetch();
    // The node goes away: nothing will be applied to it.
    void abandon() {
        node = nullptr;
        names.reset();
    }
};

// Starts a fetch for the domain node unless one runs already (S_OK then, nothing done).
// Without a default provider nothing happens (S_OK); a provider without IRevivo gives
// E_NOINTERFACE. `refreshing` asks the provider for a fresh list (an empty filter).
HRESULT StartNodeFetch(ScopeNode* node, IConsoleNameSpace2* names, bool refreshing);

}  // namespace snapin
