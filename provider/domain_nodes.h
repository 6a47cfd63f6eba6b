// Domain node records and their per-user registry store.
#pragma once

#include <string>

#include "shared/property_set.h"
#include "shared/provider_interfaces.h"
#include "shared/schema_cache_interface.h"
#include "win/adsi.h"

namespace revivo {

// HKEY_CURRENT_USER key that stores one REG_SZ value per domain node (with the provider's
// interfaces, as the command line reads which domains are stored).
using ::kLumivelKey;

// Builds a node record from a bound directory object; null when memory runs out.
PropertySet* BuildNodeRecord(IADs* object, ISchemaCache* schemaCache);

// The registry value name of a node: DomainName "/" guid, or the guid alone.
std::u16string RegistryEntryName(const PropertySet* node);

// Writes the node's registry value: named by its "RegEntry", holding its "name" without a
// terminating null. ERROR_SUCCESS, or the registry's error; a node without a "RegEntry" or a
// name value cannot be stored (ERROR_INVALID_DATA).
LONG StoreNode(const PropertySet* node);

// Splits a stored value name into the binding path "LDAP://[domain/]<GUID=...>".
std::u16string PathOfStoredNode(std::u16string_view valueName);

}  // namespace revivo
