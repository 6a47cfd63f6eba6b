// A listing of tombstones brought up to date by an incremental one (command 322), the same
// way for the command line and the console.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "shared/property_set.h"
#include "win/types.h"

// Command 322, offered by no menu: what changed among a domain's tombstones since the sync
// point the record carries, so that a refresh reads only that. The record is the domain node's
// ("NamingContext", "FocusedDC") with the sync point a previous answer gave (kSyncServerKey,
// kSyncInvocationKey, kSyncUsnKey, kSyncCookieKey; none: read everything) and in
// kSyncRecheckKey (a text list) the GUIDs of listed tombstones to read again, those past their
// purge time. The result is a header record with the new sync point (kSyncCookieKey empty when
// the server offers none) and, when everything was read again, kSyncWholeKey (int 1) and
// kSyncWhyWholeKey (why: no sync point, another server or database, a cookie refused); then the
// tombstones, as EnumDeletedObjects lists them: all of them after a whole read, else those new
// or changed, and for each object that is no longer a listed tombstone (restored, purged) a
// record with kSyncLeftKey (int 1) and "guid". S_OK, or the failure of the listing.
inline constexpr LONG kCommandListChanges = 322;
inline constexpr char16_t kSyncServerKey[] = u"SyncServer";
inline constexpr char16_t kSyncInvocationKey[] = u"SyncInvocationId";
inline constexpr char16_t kSyncUsnKey[] = u"SyncUsn";
inline constexpr char16_t kSyncCookieKey[] = u"SyncCookie";
inline constexpr char16_t kSyncRecheckKey[] = u"SyncRecheck";
inline constexpr char16_t kSyncWholeKey[] = u"SyncWhole";
inline constexpr char16_t kSyncWhyWholeKey[] = u"SyncWhyWhole";
inline constexpr char16_t kSyncLeftKey[] = u"SyncLeft";

namespace lumivel::shared {

// A tombstone removed before its purge time is reported by no change: a listing whose last
// whole read is older than this is read whole again.
inline constexpr std::time_t kWholeListingReadEvery = 12 * 60 * 60;

// The changes' tombstone records replace those of the same GUID in the listing, or join it
// at its end; a change record with kSyncLeftKey takes the listed tombstone of its "guid" out.
// The listing owns its records: those replaced or taken out are released, and the changes'
// records are taken over (the left records released).
void ApplyListingChanges(std::vector<PropertySet*>* listing, const std::vector<PropertySet*>& changes);

// The GUIDs of the listed tombstones whose purge time (kExpiresUtcKey) is `now` or earlier: a
// garbage collection removes those without a change to report, so a refresh reads them again
// (kSyncRecheckKey). A record without a well-formed purge time is never overdue.
std::vector<std::u16string> OverdueTombstoneGuids(const std::vector<PropertySet*>& listing, std::time_t now);

// The earliest well-formed purge time among the records, empty when none has one: a listing
// kept with it needs looking through for overdue tombstones only once that time has come.
std::u16string EarliestPurgeTime(const std::vector<PropertySet*>& records);
// The earlier of two such times (empty: none).
std::u16string EarlierPurgeTime(const std::u16string& left, const std::u16string& right);
// Whether a listing whose earliest purge time is `earliest` may hold a tombstone overdue at
// `now`: the same answer as OverdueTombstoneGuids being non-empty, without reading a record.
bool MayHoldOverdue(std::u16string_view earliest, std::time_t now);

}  // namespace lumivel::shared
