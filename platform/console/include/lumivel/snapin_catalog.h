// The stand-alone snap-ins registered on this machine, and what the console remembers per
// user: the snap-in it showed last and its window layout.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/types.h"

namespace lumivel::console {

struct RegisteredSnapin {
    CLSID clsid{};
    std::u16string clsidText;
    std::u16string name;  // "NameString", else the key's default value, else the CLSID
};

// Snap-ins under HKLM\Software\Microsoft\MMC\Snapins that have a "Standalone" subkey, in
// key order. Keys that are no CLSID are skipped.
LUMIVEL_EXPORT std::vector<RegisteredSnapin> StandaloneSnapins();

// The snap-in the console showed last for this user, when one is remembered.
LUMIVEL_EXPORT std::optional<CLSID> RememberedSnapin();
LUMIVEL_EXPORT void RememberSnapin(const CLSID& clsid);

// The window layout as the window saved it (opaque bytes), empty when none is kept.
LUMIVEL_EXPORT std::string RememberedLayout();
LUMIVEL_EXPORT void RememberLayout(const std::string& layout);

}  // namespace lumivel::console
