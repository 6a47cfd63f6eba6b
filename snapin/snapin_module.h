// State of the loaded RevivoSnapin module: the schema cache it shares with every node, the
// default provider's CLSID string, the console's clipboard formats and the module's strings.
#pragma once

#include <optional>
#include <string>

#include "lumivel/com_ptr.h"
#include "shared/schema_cache_interface.h"
#include "win/mmc.h"

EXTERN_GUID(CLSID_RevivoSnapin);

namespace snapin {

// The first class-object request loads the default provider's CLSID string and creates the
// schema cache (registering the node icon with it). Later calls do nothing; a cache that
// could not be created is tried again on the next request.
void StartModule();
// Added to a class name, the icon a domain node shows while its listing failed.
inline constexpr char16_t kListingFailedIconSuffix[] = u"Error";
// DllCanUnloadNow agreed: the schema cache and the string go.
void StopModule();

// The schema cache, or null when none could be created.
lumivel::ComPtr<ISchemaCache> SchemaCache();
// The default provider's CLSID string (string 32771).
std::u16string DefaultProviderClsid();

// A string of the module's table in COM task memory; null when it is missing or empty.
LPOLESTR LoadTaskString(UINT id);
// The same as text; empty when missing.
std::u16string LoadText(UINT id);

enum class ClipboardFormat { DisplayName, NodeType, NodeTypeText, SnapinClassId, DataObjectAddress };
UINT ClipboardFormatNumber(ClipboardFormat format);

// The icon index of a class in the schema cache and how the cache answered; without a
// cache, index 0 and S_FALSE.
struct IconLookup {
    HRESULT hr = S_FALSE;
    LONG index = 0;
};
IconLookup IconIndexOf(std::u16string_view className);

// The full path of this module, however long; none when it cannot be read.
std::optional<std::u16string> ModulePath();

// Running node workers hold the module, so it is not unloaded under them.
void HoldModule();
void ReleaseModule();

}  // namespace snapin
