// What `list --incremental` keeps of a domain's last listing: the sync point the provider
// gave and the tombstones as they were then, in a file of the user's own.
#pragma once

#include <ctime>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/private_file.h"

namespace lumivel_cli {

struct ListingState {
    // The sync point, as command 322's header gave it (the cookie as its hexadecimal text).
    std::u16string server, invocationId, usn, cookie;
    // When everything was last read.
    std::time_t wholeReadAt = 0;
    // The tombstones read back: views into the file as mapped or into owned (fields that came
    // another way, as from a file of the former form).
    std::vector<TombstoneFields> tombstones;
    PrivateFileMap file;
    std::deque<OwnedTombstoneFields> owned;
};

// The state file of a domain as typed, through a server when one is named: under
// $XDG_STATE_HOME/lumivel/listings (else ~/.local/state/...); empty when there is no home.
std::string ListingStatePath(const std::string& domain, const std::optional<std::string>& server);

// The state in the file, when it is one this user wrote for this domain: a regular file (no
// link) owned by the user that nobody else may read or write, in a folder of the same kind,
// whole (its checksum holds) and of this domain. A file of the former, text form is read
// too. False otherwise (why says which, for -v): the caller then reads everything again.
bool ReadListingState(const std::string& path, const std::string& domainKey, ListingState* state, std::string* why);

// Replaces the file whole (mode 0600, created exclusively and renamed into place) with the
// state's sync point and the tombstones, making the private folders it lies in as needed;
// false when it cannot be written there safely.
bool WriteListingState(const std::string& path, const std::string& domainKey, const ListingState& state,
                       const std::vector<TombstoneFields>& tombstones);

}  // namespace lumivel_cli
