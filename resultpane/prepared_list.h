// A large list handed to the control is ordered and indexed for the filter on a worker, so
// that the console's thread does per record no more than count references and swap the
// finished order in. Listed records are not changed once handed out, so the worker only reads
// them while the console's thread may read them too.
#pragma once

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

    void prepare() {
        order.assign(records, key);
        filter.setRecords(order.all());
        filter.setCriteria(criteria);
    }
};

// Lists of at least this many records are prepared on a worker; shorter ones take less than
// starting a thread.
inline constexpr size_t kPrepareOnWorkerFrom = 4096;

}  // namespace panorel
