// The first step of `list` and `restore`: the domain named on the command line, and its
// deleted objects, or a message that names what went wrong.
#pragma once

#include <ctime>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/cli_session.h"

namespace lumivel_cli {

struct Listing {
    RecordList keep;  // the node record
    DomainNode domain;
    RecordList tombstones;
};

// Resolves the domain and lists its deleted objects (filtered when a prefix is given), through
// the server when one is named (restores of its tombstones then go there too). False with a
// message naming the cause when the domain cannot be found, reached or listed.
bool ListDomain(ProviderSession& session, const std::string& domain, const std::optional<std::string>& server,
                const std::optional<std::string>& filter, Listing* listing, std::string* error);

// The same, handing each tombstone to take as the listing reads it, so that none has to wait
// for the rest: take owns the record, and a failure it returns stops the listing (with its
// own message in *error when it set one). A listing that breaks off part-way fails after
// some records were taken.
enum class ListingProgress { Shown, Hidden };
bool ListDomainEach(ProviderSession& session, const std::string& domain, const std::optional<std::string>& server,
                    const std::optional<std::string>& filter, Listing* listing,
                    const std::function<HRESULT(PropertySet* record)>& take, ListingProgress progress,
                    std::string* error);

// The same for the whole domain, reading only what changed since the state saved by the last
// such listing (of the domain through the same server), and saving this one; everything when
// there is no usable state. Each tombstone goes to take, in the listing's order; one that
// returns false stops it (the caller says why). note says what it read, and why, for -v.
bool ListDomainIncrementally(ProviderSession& session, const std::string& domain,
                             const std::optional<std::string>& server, Listing* listing,
                             const std::function<bool(const TombstoneFields& tombstone)>& take, std::string* error,
                             std::string* note);

// The changes of command 322 laid over a saved listing, as the console's listing takes them
// (lumivel::shared::ApplyListingChanges): a change replaces the listed tombstone of its GUID
// or joins the end, and one that left takes it out. The changes' fields go into owned, which
// the listing's views then point into.
void ApplyTombstoneChanges(std::vector<TombstoneFields>* listing, std::deque<OwnedTombstoneFields>* owned,
                           const std::vector<PropertySet*>& changes);

// The GUIDs of the listed tombstones whose purge time has come by now: a garbage collection
// removes those without a change to report, so the provider reads them again.
std::vector<std::u16string> OverdueTombstones(const std::vector<TombstoneFields>& tombstones, std::time_t now);

// The domain as `connect` names it to the provider: through the server, when one is named.
std::string DomainThrough(const std::string& domain, const std::optional<std::string>& server);

// Said after a listing that shows nothing: why that may be, when it may be rights.
std::string EmptyListingAdvice(const std::string& domain);

}  // namespace lumivel_cli
