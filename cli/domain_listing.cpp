#include "cli/domain_listing.h"

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
    lumivel::shared::SetTextList(node, kSyncRecheckKey, lumivel::shared::OverdueTombstoneGuids(state.tombstones.records(), now));
}

}  // namespace

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
                             const std::optional<std::string>& server, Listing* listing, std::string* error,
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
    std::vector<PropertySet*>& tombstones = listing->tombstones.owned();
    tombstones.clear();
    if (whole) {
        for (PropertySet* change : changes) {
            if (change->getRaw(kSyncLeftKey) != 0) change->release();
            else tombstones.push_back(change);
        }
        if (usable) why = NarrowText(header->getText(kSyncWhyWholeKey));
    } else {
        tombstones.swap(saved.tombstones.owned());
        lumivel::shared::ApplyListingChanges(&tombstones, changes);
    }
    // Taken over above: the header alone is left to free.
    answer.owned().resize(1);
    for (PropertySet* record : tombstones) record->setInt(u"FromRevivoProvider", 1);
    *note = whole ? "read every tombstone: " + why
                  : "read " + std::to_string(changes.size()) + " changes since the last listing";
    if (!WriteListingState(path, key, next, tombstones))
        *note += "; the listing could not be saved in " + path + ", so the next one reads everything";
    return true;
}


std::string EmptyListingAdvice(const std::string& domain) {
    return "no deleted objects are visible in " + domain + ": either none are left, or this account may not see them; " +
           kRightsAdvice;
}

}  // namespace lumivel_cli
