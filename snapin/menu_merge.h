// Merging a provider's menu into the console's context menu. Command ids carry the
// provider's own id in bits 0-11 and the provider's index in the node's cache in bits 12-15.
#pragma once

#include "win/mmc.h"
#include "win/user.h"

namespace snapin {

class ScopeNode;

inline constexpr LONG kCommandMask = 0xFFF;
inline constexpr int kProviderShift = 12;
inline constexpr LONG kMaxProviders = 16;

// Ids at or above this are submenus, never commands.
inline constexpr LONG kFirstSubmenuId = 0x10000;

inline LONG MenuCommandId(UINT providerCommand, LONG providerIndex) {
    return LONG(providerCommand & kCommandMask) | ((providerIndex & 0xF) << kProviderShift);
}

// Adds the string items of `menu` (and its submenus beneath popup items) at the insertion
// point; separators, other kinds and commands with ids that do not fit in 12 bits are
// skipped. Returns the last AddItem result.
HRESULT MergeProviderMenu(ScopeNode* node, HMENU menu, HINSTANCE module, LPCONTEXTMENUCALLBACK callback,
                          LONG insertionPoint, LONG providerIndex);

}  // namespace snapin
