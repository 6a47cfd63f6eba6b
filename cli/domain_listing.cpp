#include "cli/domain_listing.h"

#include "cli/cli_errors.h"
#include "cli/progress.h"
#include "shared/text_helpers.h"

namespace lumivel_cli {

namespace {

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

}  // namespace

bool ListDomain(ProviderSession& session, const std::string& domain, const std::optional<std::string>& filter,
                Listing* listing, std::string* error) {
    HRESULT result = session.resolveDomain(WidenText(domain), &listing->keep, &listing->domain);
    if (FAILED(result)) {
        *error = IsStoredDomain(WidenText(domain))
                     ? domain + " is a stored domain but cannot be bound now: " + ExplainedError(result)
                     : domain + " is not a stored domain (lumivel domains lists them), and binding it as one failed: " +
                           ExplainedError(result);
        return false;
    }
    return listResolved(session, domain, filter, listing, error);
}

std::string EmptyListingAdvice(const std::string& domain) {
    return "no deleted objects are visible in " + domain + ": either none are left, or this account may not see them; " +
           kRightsAdvice;
}

}  // namespace lumivel_cli
