// The domain tree browser's dialog (internal to the directory area and its tests).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/com.h"
#include "win/user.h"

namespace lumivel::directory {

// The class behind CLSID_DsDomainTreeBrowser.
HRESULT CreateDomainTreeBrowserInstance(IUnknown* outer, REFIID riid, void** object);

// The browser's dialog over a list of domains: the DNS name chosen, or nothing when cancelled
// (`failed` is set when the dialog could not be shown).
LUMIVEL_EXPORT std::optional<std::u16string> ChooseDomain(HWND owner, const std::vector<std::u16string>& domains,
                                                           bool* failed = nullptr);

// The dialog's template number and control ids in libplatform's resources.
inline constexpr int kBrowseDomainDialog = 30001;
inline constexpr int kBrowseDomainList = 1001;

}  // namespace lumivel::directory
