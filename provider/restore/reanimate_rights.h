// Whether the caller may bring tombstones back: the domain's own access control list, read
// from the directory and weighed against the caller's security identifiers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win/types.h"

namespace revivo {

// {45EC5156-DB7E-47BB-B53F-DBEB2D03C40F}: the right a directory asks of whoever reanimates.
extern const GUID kReanimateTombstonesRight;

enum class AccessVerdict { Granted, Denied, NotGranted };

using SidBytes = std::vector<uint8_t>;

// The control-access verdict of a self-relative security descriptor's DACL for one extended
// right and a token's SIDs, in the DACL's order: the first ACE that applies to one of the SIDs
// decides. Inherit-only ACEs and object ACEs for other rights do not apply. A descriptor
// without a DACL grants everything; one that cannot be parsed grants nothing.
AccessVerdict ControlAccessOf(const std::vector<uint8_t>& securityDescriptor, const std::vector<SidBytes>& token,
                              const GUID& right);

struct ReanimateRights {
    std::optional<bool> mayReanimate;  // nothing when the directory would not tell
    std::u16string note;               // why, for the administrator
};

// Reads the caller's SIDs (the rootDSE's tokenGroups) and the naming context's DACL from the
// server (empty: any of the domain) and weighs them.
ReanimateRights CheckReanimateRights(std::u16string_view server, std::u16string_view namingContext);

}  // namespace revivo
