#include "resultpane/menu_ids.h"

namespace panorel {

namespace {

constexpr UINT kCommandMask = 0xFFF;
constexpr int kProviderShift = 12;

bool BuiltIn(UINT id) { return id >= kMenuDelete && id <= kMenuProperties; }

}  // namespace

UINT ProviderMenuId(size_t provider, UINT command, bool fromNew) {
    if (provider >= kMaxMenuProviders || command == 0 || command > kCommandMask) return 0;
    UINT id = (UINT(provider) << kProviderShift) | command | (fromNew ? kMenuNewFlag : 0);
    return BuiltIn(id) ? 0 : id;
}

std::optional<MenuCommand> DecodeMenuId(UINT id) {
    if (id == 0 || BuiltIn(id) || (id & ~(kMenuNewFlag | 0xFFFFu)) != 0) return std::nullopt;
    MenuCommand decoded;
    decoded.provider = (id >> kProviderShift) & 0xF;
    decoded.command = LONG(id & kCommandMask);
    decoded.fromNew = (id & kMenuNewFlag) != 0;
    if (decoded.command == 0) return std::nullopt;
    return decoded;
}

}  // namespace panorel
