// The top list's large hand-overs: ordered on a worker, swapped in on the console's thread
// when done. The rows shown meanwhile stay as they were; a list handed over before the work
// ends replaces it, and the unfinished one is let go when its worker is done.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>

#include "lumivel/thread_queue.h"
#include "resultpane/panorel.h"
#include "resultpane/prepared_list.h"

namespace panorel {

namespace {

void ReleaseAll(std::vector<PropertySet*>& records) {
    for (PropertySet* record : records)
        if (record) record->release();
    records.clear();
}

void NoteUnordered(size_t records, const char* why) {
    std::fprintf(stderr, "lumivel: the result pane could not order a list of %zu records on a worker (%s); "
                 "it is ordered on the console's thread\n", records, why);
}

}  // namespace

bool Panorel::startPreparing(std::vector<PropertySet*>& records) {
    // A command under way may write the records it was given (a restore notes the parent it
    // found, the domain controller it used), which this list may share: it is ordered here.
    if (!m_topList || records.size() < m_prepareOnWorkerFrom || m_commandsRunning > 0) return false;
    lumivel::ThreadQueuePtr console = lumivel::CurrentThreadQueue();
    if (!console) return false;
    auto prepared = std::make_shared<PreparedList>();
    prepared->records = std::move(records);
    prepared->key = sortKey();
    prepared->criteria = m_filter.criteria();
    std::weak_ptr<void> alive = m_alive;
    // The module stays loaded while its code runs on the worker and until the closure posted
    // back has run or been discarded.
    auto moduleLock = std::make_shared<lumivel::com::ModuleLock>();
    try {
        std::thread([prepared, console, alive, self = this, moduleLock]() mutable {
            // An exception leaving the thread would end the process.
            try {
                prepared->prepare();
            } catch (const std::exception& error) {
                NoteUnordered(prepared->records.size(), error.what());
            } catch (...) {
                NoteUnordered(prepared->records.size(), "unknown exception");
            }
            const bool posted = lumivel::PostThreadWork(
                *console,
                [prepared, alive, self, moduleLock] {
                    if (alive.expired()) {
                        ReleaseAll(prepared->records);
                        return;
                    }
                    self->showPrepared(prepared);
                },
                [prepared, moduleLock] { ReleaseAll(prepared->records); });
            if (!posted) ReleaseAll(prepared->records);
            // The lock goes last: what the captures free is this module's code.
            prepared.reset();
            console.reset();
            alive.reset();
            moduleLock.reset();
        }).detach();
    } catch (const std::system_error&) {
        records = std::move(prepared->records);
        return false;
    }
    m_preparing = prepared;
    std::erase_if(m_workersReading, [](const std::weak_ptr<PreparedList>& each) {
        const std::shared_ptr<PreparedList> list = each.lock();
        return !list || list->prepared.load(std::memory_order_acquire);
    });
    m_workersReading.push_back(prepared);
    return true;
}

void Panorel::awaitWorkerReads() {
    for (const std::weak_ptr<PreparedList>& each : m_workersReading)
        if (const std::shared_ptr<PreparedList> list = each.lock()) list->awaitPrepared();
    m_workersReading.clear();
}

void Panorel::showPrepared(const std::shared_ptr<PreparedList>& prepared) {
    // Overtaken by a later list, or the records were let go meanwhile.
    if (prepared != m_preparing) {
        ReleaseAll(prepared->records);
        return;
    }
    m_preparing.reset();
    KeptView kept = keptView();
    if (m_topList) SendMessageW(m_topList, LVM_SETITEMCOUNT, 0, 0);
    std::vector<PropertySet*> old = m_records.all();
    forgetListedTombstones();
    if (prepared->ordered) {
        // The filter's criteria and the sort may have changed while the worker ran.
        const FilterCriteria criteria = m_filter.criteria();
        const bool ascending = m_records.ascending();
        m_filter = std::move(prepared->filter);
        m_filter.setCriteria(criteria);
        m_records = std::move(prepared->order);
        m_records.setAscending(ascending);
        m_records.setFilter(&m_filter);
        if (prepared->key != sortKey()) m_records.sortBy(sortKey());
    } else {
        orderAtOnce(prepared->records);
    }
    m_topInput = std::move(prepared->records);
    finishHandOver(kept, old, true);
}

bool Panorel::handOverPending() const { return m_preparing != nullptr; }

bool Panorel::workerReadsRecords() const {
    return std::any_of(m_workersReading.begin(), m_workersReading.end(), [](const std::weak_ptr<PreparedList>& each) {
        const std::shared_ptr<PreparedList> list = each.lock();
        return list && !list->prepared.load(std::memory_order_acquire);
    });
}

}  // namespace panorel
