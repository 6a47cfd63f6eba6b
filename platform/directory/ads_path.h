// The ADsPath grammar: "LDAP://" or "GC://", an optional server (DNS name, optionally
// ":port") and "/", then a DN, "<GUID=...>", "<WKGUID=guid,DN>", "rootDSE", or
// "<class>,schema" / "schema/<class>". A path of a server or domain name alone binds that
// domain's default naming context.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel::directory {

enum class Provider { Ldap, GlobalCatalog };
enum class ObjectForm { DistinguishedName, Guid, WellKnownGuid, RootDse, SchemaClass, DefaultNamingContext };

struct AdsPath {
    Provider provider = Provider::Ldap;
    std::u16string server;  // host name without the port; empty for serverless paths
    uint16_t port = 0;      // 0: the provider's default (389, or 3268 for GC)
    ObjectForm form = ObjectForm::DistinguishedName;
    // DistinguishedName: the DN in ADsPath form (with "\/"); Guid and WellKnownGuid: the
    // "<...>" text the server resolves; SchemaClass: the class name.
    std::u16string object;
};

// S_OK, MK_E_SYNTAX for an unknown provider (names are case-sensitive, as on Windows), or
// E_ADS_BAD_PATHNAME for a malformed remainder.
HRESULT ParseAdsPath(std::u16string_view path, AdsPath* parsed);

uint16_t EffectivePort(const AdsPath& path);
std::u16string ProviderPrefix(Provider provider);  // "LDAP://" or "GC://"
// provider + (server[:port] + "/" when a server is given) + DN in ADsPath form.
std::u16string FormatAdsPath(Provider provider, std::u16string_view server, uint16_t port,
                             std::u16string_view adsDn);

}  // namespace lumivel::directory
