// The details pane's answers for the provider's GetDetails, which the control calls on the
// console's thread at every selection change. What a tombstone's details need (a directory
// search, the backup folder, an archive) may wait on the network, so they are read on a
// worker and kept; until they are there the pane says they are being read, and when they
// come the control is told to ask again (kPanorelDetailsReadyMessage).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "provider/details/details_reader.h"
#include "shared/property_set.h"

namespace revivo {

class DetailsCache {
public:
    using Reader = std::function<TombstoneDetails(const DetailsRequest&)>;
    // Run on the console's thread when the details asked for last have been read.
    using Ready = std::function<void()>;

    explicit DetailsCache(Reader reader = ReadTombstoneDetails);
    ~DetailsCache();
    DetailsCache(const DetailsCache&) = delete;
    DetailsCache& operator=(const DetailsCache&) = delete;

    void SetReady(Ready ready);

    // On the console's thread: the pane's text for the selection, never waiting on the worker;
    // empty when the selection names nothing to say anything of.
    std::u16string TextFor(const std::vector<PropertySet*>& selection);

    // Any thread: details read so far are read again when next asked for (a new listing).
    void Forget();

    // How many readings were started (for the tests).
    size_t ReadingsStarted() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace revivo
