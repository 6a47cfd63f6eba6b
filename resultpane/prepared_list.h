// A large list handed to the control is ordered and indexed for the filter on a worker, so
// that the console's thread does per record no more than count references and swap the
// finished order in. The worker only reads the records, as the console's thread may; but a
// record is no safe read while it is written (a new value frees the old, a new name moves the
// entries), and a command may write the records it is given, which the list being ordered may
// share with the one shown. So no command starts while a worker reads (Panorel::CommandScope
// waits for it) and no worker starts while a command runs.
#pragma once

#include <atomic>
#include <vector>

#include "resultpane/record_filter.h"
#include "resultpane/record_order.h"

namespace panorel {

struct PreparedList {
    // The list as handed over, one reference held for each record until it is shown or dropped.
    std::vector<PropertySet*> records;
    // The sort column and the filter's criteria when the work began.
    std::u16string key;
    FilterCriteria criteria;
    // Made on the worker.
    TopRecords order;
    RecordFilter filter;

    // Set once the worker has done with the records, whether it ordered them or failed.
    std::atomic<bool> prepared{false};
    // Whether the order and the filter's index were made; a worker that could not make them
    // (out of memory) leaves the list to be ordered on the console's thread.
    bool ordered = false;

    void prepare() {
        // Done whatever happens: a command waits for this before it starts.
        struct Done {
            PreparedList& list;
            ~Done() {
                list.prepared.store(true, std::memory_order_release);
                list.prepared.notify_all();
            }
        } done{*this};
        order.assign(records, key);
        filter.setRecords(order.all());
        filter.setCriteria(criteria);
        ordered = true;
    }
    // Until the worker has done with the records: it only orders them in memory, so this ends
    // within the time the ordering takes.
    void awaitPrepared() const { prepared.wait(false, std::memory_order_acquire); }
};

// Lists of at least this many records are prepared on a worker; shorter ones take less than
// starting a thread.
inline constexpr size_t kPrepareOnWorkerFrom = 4096;

}  // namespace panorel
