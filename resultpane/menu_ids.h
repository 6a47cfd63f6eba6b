// Command ids of the control's context menu. A provider's item carries the provider's index in
// bits 12-15 and its own command in bits 0-11; items of a "&New" submenu add bit 16, which no
// provider index reaches. The built-in items keep 5000-5002; the one provider item that would
// land on them (provider 1, commands 904-906) is left out rather than mistaken for them. The
// control's own view item lies above every merged id.
#pragma once

#include <cstddef>
#include <optional>

#include "win/types.h"

namespace panorel {

inline constexpr UINT kMenuDelete = 5000;
inline constexpr UINT kMenuReserved = 5001;
inline constexpr UINT kMenuProperties = 5002;
inline constexpr UINT kMenuNewFlag = 0x10000;
inline constexpr UINT kMenuShowExpires = 0x20000;
inline constexpr UINT kMenuShowRestoresInto = 0x40000;
inline constexpr size_t kMaxMenuProviders = 16;

struct MenuCommand {
    size_t provider = 0;
    LONG command = 0;
    bool fromNew = false;
};

// The merged id of a provider's command; 0 when the command cannot be carried without
// colliding (provider index 16 or more, command 0 or above 0xFFF, or a built-in id).
UINT ProviderMenuId(size_t provider, UINT command, bool fromNew);

// The provider command a merged id stands for; nothing for built-in ids and ids no
// provider item can have.
std::optional<MenuCommand> DecodeMenuId(UINT id);

}  // namespace panorel
