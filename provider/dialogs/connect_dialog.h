// Dialog 201 "Connect to": asks for a domain and checks that it binds.
#pragma once

#include <string>

#include "win/types.h"

namespace revivo {

// Maximum characters read from the domain field.
inline constexpr int kDomainTextLimit = 4096;

// IDOK with the entered text, IDCANCEL, or 0 when the window was closed.
INT_PTR ShowConnectDialog(HWND parent, std::u16string* entered);

// The domain-tree browser: true with the chosen domain's name.
bool BrowseForDomain(HWND owner, std::u16string* domain);

}  // namespace revivo
