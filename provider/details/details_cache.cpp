#include "provider/details/details_cache.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <thread>

#include "lumivel/com_object.h"
#include "lumivel/thread_queue.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"
#include "win/com.h"

namespace revivo {

namespace {

// Details kept at most, and for how long: archives come and go with backups and restores.
constexpr size_t kMostKept = 64;
constexpr std::chrono::minutes kKeptFor{2};

}  // namespace

struct DetailsCache::State : std::enable_shared_from_this<DetailsCache::State> {
    struct Kept {
        std::u16string text;
        uint64_t generation = 0;
        std::chrono::steady_clock::time_point read;
    };

    Reader reader;
    Ready ready;
    std::atomic<uint64_t> generation{0};
    std::atomic<bool> closed{false};
    lumivel::ThreadQueuePtr consoleThread;
    // The rest belongs to the console's thread.
    std::map<std::u16string, Kept> kept;
    std::deque<std::u16string> keptOrder;
    bool reading = false;
    std::u16string readingKey;
    std::optional<DetailsRequest> next;
    std::u16string lastAsked;
    size_t started = 0;

    static std::u16string keyOf(const DetailsRequest& request) { return lumivel::FoldCase(request.distinguishedName); }

    const Kept* fresh(const std::u16string& key) const {
        auto found = kept.find(key);
        if (found == kept.end() || found->second.generation != generation ||
            std::chrono::steady_clock::now() - found->second.read > kKeptFor)
            return nullptr;
        return &found->second;
    }

    void keep(const std::u16string& key, std::u16string text, uint64_t readGeneration) {
        if (!kept.count(key)) keptOrder.push_back(key);
        kept[key] = Kept{std::move(text), readGeneration, std::chrono::steady_clock::now()};
        while (keptOrder.size() > kMostKept) {
            kept.erase(keptOrder.front());
            keptOrder.pop_front();
        }
    }

    // One reading at a time: a selection that moves on while one runs waits as the next,
    // replacing whichever waited before, so a run of arrow keys reads two objects, not all.
    void start(const DetailsRequest& request) {
        if (!consoleThread) return;
        reading = true;
        readingKey = keyOf(request);
        ++started;
        uint64_t readGeneration = generation;
        // The module stays loaded while its code runs on the worker and until the closure
        // posted back has run or been discarded.
        auto moduleLock = std::make_shared<lumivel::com::ModuleLock>();
        try {
            std::thread([self = shared_from_this(), request = DetailsRequest(request), readGeneration,
                         moduleLock]() mutable {
                CoInitialize(nullptr);
                std::u16string text = DetailsText(self->reader(request));
                CoUninitialize();
                lumivel::ThreadQueuePtr console = self->consoleThread;
                std::u16string key = keyOf(request);
                lumivel::PostThreadWork(*console, [self, key, text = std::move(text), readGeneration, moduleLock]() mutable {
                    self->finished(key, std::move(text), readGeneration);
                });
                // The lock goes last: what the captures free is this module's code.
                self.reset();
                request = DetailsRequest{};
                moduleLock.reset();
            }).detach();
        } catch (const std::system_error&) {
            reading = false;
            readingKey.clear();
        }
    }

    void finished(const std::u16string& key, std::u16string text, uint64_t readGeneration) {
        reading = false;
        readingKey.clear();
        if (closed) return;
        keep(key, std::move(text), readGeneration);
        if (next) {
            DetailsRequest waiting = std::move(*next);
            next.reset();
            if (!fresh(keyOf(waiting))) start(waiting);
        }
        if (key == lastAsked && ready) ready();
    }
};

DetailsCache::DetailsCache(Reader reader) : m_state(std::make_shared<State>()) { m_state->reader = std::move(reader); }

DetailsCache::~DetailsCache() { m_state->closed = true; }

void DetailsCache::SetReady(Ready ready) { m_state->ready = std::move(ready); }

void DetailsCache::Forget() { ++m_state->generation; }

size_t DetailsCache::ReadingsStarted() const { return m_state->started; }

std::u16string DetailsCache::TextFor(const std::vector<PropertySet*>& selection) {
    std::vector<PropertySet*> records;
    for (PropertySet* record : selection)
        if (record) records.push_back(record);
    if (records.empty()) return {};
    if (records.size() > 1) {
        std::vector<std::u16string> names;
        for (const PropertySet* record : records)
            names.push_back(lumivel::shared::PlainTombstoneName(record->getText(u"name")));
        return SelectionDetailsText(names);
    }
    if (records.front()->IsNode) return NodeDetailsText();
    DetailsRequest request;
    if (!DetailsRequestOf(records.front(), &request)) return {};
    State& state = *m_state;
    if (!state.consoleThread) state.consoleThread = lumivel::CurrentThreadQueue();
    std::u16string key = State::keyOf(request);
    state.lastAsked = key;
    if (const State::Kept* kept = state.fresh(key)) return kept->text;
    if (!state.reading)
        state.start(request);
    else if (state.readingKey != key)
        state.next = request;
    else
        state.next.reset();
    return ReadingDetailsText(request.name);
}

}  // namespace revivo
