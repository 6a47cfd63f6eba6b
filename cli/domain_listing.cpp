#include "cli/domain_listing.h"

#include <unordered_map>

#include "cli/cli_errors.h"
#include "cli/cli_output.h"
#include "cli/listing_state.h"
#include "cli/progress.h"
#include "shared/directory_operations.h"
#include "shared/listing_changes.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"
#include "shared/text_list.h"

namespace lumivel_cli {

namespace {

using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;

bool listResolved(ProviderSession& session, const std::string& domain, const std::optional<std::string>& filter,
                  Listing* listing, std::string* error) {
    listing->tombstones.clear();
    HRESULT result;
    {
        Progress progress("Listing deleted objects");
        result = session.list(listing->domain.node, filter ? FilterPrefixFor(WidenText(*filter)) : std::u16string(),
                              &listing->tombstones);
    }
    if (FAILED(result)) {
        *error = "cannot list the deleted objects of " + domain + ": " + ExplainedError(result);
        return false;
    }
    return true;
}

// The node's naming context bound on that server, and the server its focused DC.
void pointAt(PropertySet* node, const std::string& server) {
    std::u16string context(node->getText(u"NamingContext"));
    if (std::optional<lumivel::shared::LdapPath> path = lumivel::shared::SplitLdapPath(context)) context = path->object;
    node->setText(u"NamingContext", lumivel::shared::LdapPathOfDn(WidenText(server), context));
    node->setText(u"FocusedDC", WidenText(server));
}

bool resolve(ProviderSession& session, const std::string& domain, const std::optional<std::string>& server,
             Listing* listing, std::string* error) {
    HRESULT result = session.resolveDomain(WidenText(domain), &listing->keep, &listing->domain);
    if (FAILED(result)) {
        *error = IsStoredDomain(WidenText(domain))
                     ? domain + " is a stored domain but cannot be bound now: " + ExplainedError(result)
                     : domain + " is not a stored domain (lumivel domains lists them), and binding it as one failed: " +
                           ExplainedError(result);
        return false;
    }
    if (server) pointAt(listing->domain.node, *server);
    return true;
}

// What the saved state asks of the provider: its sync point, and the tombstones past their
// purge time read again (a garbage collection removes those without a change to report).
void askForChanges(PropertySet* node, const ListingState& state, std::time_t now) {
    node->setText(kSyncServerKey, state.server);
    node->setText(kSyncInvocationKey, state.invocationId);
    node->setText(kSyncUsnKey, state.usn);
    node->setText(kSyncCookieKey, state.cookie);
    lumivel::shared::SetTextList(node, kSyncRecheckKey, OverdueTombstones(state.tombstones, now));
}

// GUIDs as the listing matches them: without regard to case.
struct FoldedHash {
    size_t operator()(std::string_view guid) const {
        size_t hash = 1469598103934665603ULL;
        for (char c : guid) hash = (hash ^ static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c)) * 1099511628211ULL;
        return hash;
    }
};
struct FoldedEqual {
    bool operator()(std::string_view left, std::string_view right) const {
        if (left.size() != right.size()) return false;
        for (size_t i = 0; i < left.size(); ++i) {
            const char l = left[i] >= 'A' && left[i] <= 'Z' ? left[i] + 32 : left[i];
            const char r = right[i] >= 'A' && right[i] <= 'Z' ? right[i] + 32 : right[i];
            if (l != r) return false;
        }
        return true;
    }
};

}  // namespace

void ApplyTombstoneChanges(std::vector<TombstoneFields>* listing, std::deque<OwnedTombstoneFields>* owned,
                           const std::vector<PropertySet*>& changes) {
    // As lumivel::shared::ApplyListingChanges does for records: a change replaces the listed
    // tombstone of its GUID in place or joins the end, and one that left takes it out.
    if (changes.empty()) return;
    // The changes' own fields first; a deque keeps them where they are as it grows.
    const size_t ownedBefore = owned->size();
    for (const PropertySet* change : changes) {
        if (!change) continue;
        if (change->getRaw(kSyncLeftKey) != 0) {
            owned->emplace_back();
            owned->back()[kFieldGuid] = NarrowText(change->getText(u"guid"));
        } else {
            owned->push_back(TombstoneFieldsOf(change));
        }
    }
    // Only the changes' GUIDs are looked up, so the listing is matched against a map of those
    // rather than put in a map of its own: a few changes then cost one pass and no allocation
    // per listed tombstone. A GUID the listing does not hold maps to kNone.
    constexpr size_t kNone = static_cast<size_t>(-1);
    std::unordered_map<std::string_view, size_t, FoldedHash, FoldedEqual> at;
    at.reserve(2 * (owned->size() - ownedBefore));
    for (size_t i = ownedBefore; i < owned->size(); ++i)
        if (!(*owned)[i][kFieldGuid].empty()) at.emplace((*owned)[i][kFieldGuid], kNone);
    // The first listed tombstone of a GUID is the one a change finds.
    for (size_t i = 0; i < listing->size(); ++i) {
        auto found = at.find((*listing)[i][kFieldGuid]);
        if (found != at.end() && found->second == kNone) found->second = i;
    }
    std::vector<bool> gone(listing->size(), false);
    bool anyLeft = false;
    size_t next = ownedBefore;
    for (const PropertySet* change : changes) {
        if (!change) continue;
        const bool left = change->getRaw(kSyncLeftKey) != 0;
        const OwnedTombstoneFields& fields = (*owned)[next++];
        const std::string_view guid = fields[kFieldGuid];
        auto found = guid.empty() ? at.end() : at.find(guid);
        if (found != at.end() && found->second == kNone) found = at.end();
        if (found != at.end() && !gone[found->second]) {
            if (left) {
                gone[found->second] = true;
                anyLeft = true;
            } else {
                (*listing)[found->second] = ViewsOf(fields);
            }
        } else if (!left) {
            if (!guid.empty()) at[guid] = listing->size();
            listing->push_back(ViewsOf(fields));
            gone.push_back(false);
        }
    }
    if (!anyLeft) return;
    size_t kept = 0;
    for (size_t i = 0; i < listing->size(); ++i)
        if (!gone[i]) (*listing)[kept++] = (*listing)[i];
    listing->resize(kept);
}

std::vector<std::u16string> OverdueTombstones(const std::vector<TombstoneFields>& tombstones, std::time_t now) {
    std::vector<std::u16string> overdue;
    // One buffer for every time read: a text per tombstone would be 100,000 allocations.
    std::string expires;
    for (const TombstoneFields& tombstone : tombstones) {
        // Only a time of the form the provider writes, as for the console's listing.
        if (tombstone[kFieldExpiresUtc].size() != 20 || tombstone[kFieldExpiresUtc].back() != 'Z') continue;
        expires.assign(tombstone[kFieldExpiresUtc]);
        std::optional<long long> at = SecondsOfIsoUtc(expires);
        if (at && *at <= now) overdue.push_back(WidenText(tombstone[kFieldGuid]));
    }
    return overdue;
}

std::string DomainThrough(const std::string& domain, const std::optional<std::string>& server) {
    if (!server) return domain;
    return lumivel::shared::NarrowText(
        lumivel::shared::LdapPathOfDn(WidenText(*server), NamingContextOfDomain(WidenText(domain))));
}

bool ListDomain(ProviderSession& session, const std::string& domain, const std::optional<std::string>& server,
                const std::optional<std::string>& filter, Listing* listing, std::string* error) {
    return resolve(session, domain, server, listing, error) && listResolved(session, domain, filter, listing, error);
}

bool ListDomainEach(ProviderSession& session, const std::string& domain, const std::optional<std::string>& server,
                    const std::optional<std::string>& filter, Listing* listing,
                    const std::function<HRESULT(PropertySet* record)>& take, ListingProgress progress,
                    std::string* error) {
    if (!resolve(session, domain, server, listing, error)) return false;
    error->clear();
    HRESULT result;
    {
        std::optional<Progress> shown;
        if (progress == ListingProgress::Shown) shown.emplace("Listing deleted objects");
        result = session.listEach(listing->domain.node,
                                  filter ? FilterPrefixFor(WidenText(*filter)) : std::u16string(), take);
    }
    if (FAILED(result)) {
        if (error->empty()) *error = "cannot list the deleted objects of " + domain + ": " + ExplainedError(result);
        return false;
    }
    return true;
}

bool ListDomainIncrementally(ProviderSession& session, const std::string& domain,
                             const std::optional<std::string>& server, Listing* listing,
                             const std::function<bool(const TombstoneFields& tombstone)>& take, std::string* error,
                             std::string* note) {
    if (!resolve(session, domain, server, listing, error)) return false;
    const std::string path = ListingStatePath(domain, server);
    const std::string key = lumivel::shared::NarrowText(lumivel::FoldCase(WidenText(DomainThrough(domain, server))));
    const std::time_t now = std::time(nullptr);
    ListingState saved;
    std::string why;
    bool usable = ReadListingState(path, key, &saved, &why);
    if (usable && (now < saved.wholeReadAt || now - saved.wholeReadAt > lumivel::shared::kWholeListingReadEvery)) {
        usable = false;
        why = "the last whole read is older than 12 hours";
    }
    if (usable) askForChanges(listing->domain.node, saved, now);

    RecordList answer;
    HRESULT result;
    {
        Progress progress(usable ? "Reading the changes" : "Listing deleted objects");
        result = session.listChanges(listing->domain.node, &answer);
    }
    if (FAILED(result)) {
        *error = "cannot list the deleted objects of " + domain + ": " + ExplainedError(result);
        return false;
    }
    // The header is the command's: the list frees it with the rest.
    const PropertySet* header = answer.records().front();
    const bool whole = !usable || header->getRaw(kSyncWholeKey) != 0;
    std::vector<PropertySet*> changes(answer.records().begin() + 1, answer.records().end());
    ListingState next;
    next.server = header->getText(kSyncServerKey);
    next.invocationId = header->getText(kSyncInvocationKey);
    next.usn = header->getText(kSyncUsnKey);
    next.cookie = header->getText(kSyncCookieKey);
    next.wholeReadAt = whole ? now : saved.wholeReadAt;
    std::vector<TombstoneFields> tombstones;
    if (whole) {
        tombstones.reserve(changes.size());
        for (PropertySet* change : changes) {
            if (change->getRaw(kSyncLeftKey) != 0) continue;
            saved.owned.push_back(TombstoneFieldsOf(change));
            tombstones.push_back(ViewsOf(saved.owned.back()));
        }
        if (usable) why = NarrowText(header->getText(kSyncWhyWholeKey));
    } else {
        tombstones.swap(saved.tombstones);
        ApplyTombstoneChanges(&tombstones, &saved.owned, changes);
    }
    *note = whole ? "read every tombstone: " + why
                  : "read " + std::to_string(changes.size()) + " changes since the last listing";
    // A file read in its current form with nothing changed already says all of this.
    const bool unchanged = !whole && changes.empty() && saved.owned.empty() && next.server == saved.server &&
                           next.invocationId == saved.invocationId && next.usn == saved.usn &&
                           next.cookie == saved.cookie;
    if (!unchanged && !WriteListingState(path, key, next, tombstones))
        *note += "; the listing could not be saved in " + path + ", so the next one reads everything";
    for (const TombstoneFields& tombstone : tombstones)
        if (!take(tombstone)) return false;
    return true;
}


std::string EmptyListingAdvice(const std::string& domain) {
    return "no deleted objects are visible in " + domain + ": either none are left, or this account may not see them; " +
           kRightsAdvice;
}

}  // namespace lumivel_cli
