// The domain tree browser's parts (internal to the UI area and its tests).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/user.h"

namespace lumivel::ui {

struct ForestDomain {
    std::u16string dnsName;
    std::u16string trustParentDn;
};

// The forest's domains through ADSI, parents before children; `server` empty for the logged-on
// user's default domain.
HRESULT ReadForestDomains(const std::u16string& server, std::vector<ForestDomain>& domains);
LUMIVEL_EXPORT void SortForTree(std::vector<ForestDomain>& domains);

// The browser's dialog over a list of domains: the DNS name chosen, or nothing when cancelled
// (`failed` is set when the dialog could not be shown).
LUMIVEL_EXPORT std::optional<std::u16string> ChooseDomain(HWND owner, const std::vector<std::u16string>& domains,
                                                           bool* failed = nullptr);

// The dialog's template number and control ids in libplatform's resources.
inline constexpr int kBrowseDomainDialog = 30001;
inline constexpr int kBrowseDomainList = 1001;

}  // namespace lumivel::ui
