// Listing a domain's tombstones.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "shared/property_set.h"
#include "shared/schema_cache_interface.h"
#include "win/adsi.h"

namespace revivo {

// A UTC time as the "Date Deleted" column shows it: local time, "MM/DD/YYYY - hh:mm".
std::u16string FormatDeletionDate(const SYSTEMTIME& utc);
// The same time as ISO 8601 UTC to the second, "YYYY-MM-DDThh:mm:ssZ" (kDateDeletedUtcKey).
std::u16string FormatUtcTime(const SYSTEMTIME& utc);

// The tombstone search on a Deleted Objects container's search interface: one level, deleted
// objects shown, pages of 1000, the six listed attributes; a non-empty filter is completed
// with "*". Appends one record per named tombstone, in server order. With a lifetime in days
// each record also gets its purge time (kExpiresKey, kExpiresUtcKey). A search whose options
// are refused, that cannot start or that breaks off fails with that HRESULT and appends
// nothing.
HRESULT SearchDeletedObjects(IDirectorySearch* search, BSTR filter, std::u16string_view focusedDc,
                             ISchemaCache* schemaCache, std::vector<PropertySet*>* records, LONG lifetimeDays = 0);
// Takes each record a search makes, as its row arrives; a failure it returns stops the search.
using DeletedObjectReceiver = std::function<HRESULT(PropertySet* record)>;
// The search above, handing each record over as it is made: a search that breaks off fails
// after handing over the records before the break.
HRESULT SearchDeletedObjectsEach(IDirectorySearch* search, BSTR filter, std::u16string_view focusedDc,
                                 ISchemaCache* schemaCache, LONG lifetimeDays, const DeletedObjectReceiver& receive);
// The same search with a whole LDAP filter of the caller's (empty: every tombstone).
HRESULT SearchDeletedObjectsMatching(IDirectorySearch* search, std::u16string filter, std::u16string_view focusedDc,
                                     ISchemaCache* schemaCache, std::vector<PropertySet*>* records,
                                     LONG lifetimeDays = 0);

}  // namespace revivo
