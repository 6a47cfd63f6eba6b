// The directory-service operations every module calls the same way: binding an object by
// server and DN or GUID, searching with deleted objects shown, and the rules of a tombstone's
// mangled name. Compiled into each module; the platform is reached through its ADSI only.
//
// A tombstone is named "<name>\nDEL:<guid>" (its RDN value), and its DN carries that line
// feed escaped: "CN=<name>\0ADEL:<guid>,CN=Deleted Objects,<naming context>". The name before
// the mangling may itself hold "DEL:", escaped commas and backslashes, and (some directories
// allow it) line feeds of its own; every rule below reads the first relative name with its
// escape pairs stepped over whole and takes the last marker for the mangling.
#pragma once

#include <initializer_list>
#include <optional>

#include "shared/text_helpers.h"
#include "win/adsi.h"

namespace lumivel::shared {

// ---- Paths and binding --------------------------------------------------------------------

// Well-known GUID of a domain's Deleted Objects container.
inline constexpr char16_t kDeletedObjectsWellKnownGuid[] = u"18e2ea80684f11d2b9aa00c04f79f805";

// "LDAP://", or "LDAP://server/" when a server is named: the head of every path below.
WideString LdapPathPrefix(WideView server);
// An object by DN; "/" in the DN is escaped, so that a DN never names a server of its own.
WideString LdapPathOfDn(WideView server, WideView dn);
// An object by GUID, in any form the directory takes between "<GUID=" and ">".
WideString LdapPathOfGuid(WideView server, WideView guid);
WideString LdapPathOfRootDse(WideView server);
// The Deleted Objects container of a naming context, by its well-known GUID.
WideString DeletedObjectsPath(WideView server, WideView namingContext);
// A class of the schema ("LDAP://user,schema"), for its containment and the like.
WideString SchemaClassPath(WideView className);
// The forest-wide copy of an object, through the global catalog.
WideString GlobalCatalogPathOfDn(WideView dn);
// What a person typed for a domain: an LDAP path as it is, a DN (it holds "=") as an object,
// anything else (a DNS name of a domain or a server) as the server to bind.
WideString LdapPathOfDomain(WideView text);

// An "LDAP://" path taken apart the way the binding reads it: the head before the first
// unescaped "/" is the server when it holds neither "=" nor "<"; a path of a server name alone
// has no object. Null for text that is no LDAP path (the prefix is case-sensitive, as ADSI's).
struct LdapPath {
    WideString server;
    WideString object;
};
std::optional<LdapPath> SplitLdapPath(WideView path);

// How much a bind asks for: Fast leaves out the read of the object's class (ADS_FAST_BIND),
// for an object that is only searched below or whose class is known.
enum class BindSpeed { Full, Fast };

// The logged-on user's bind of a path (secure authentication): the bind's HRESULT.
HRESULT BindPath(WideView path, REFIID iid, void** object, BindSpeed speed = BindSpeed::Full);
HRESULT BindByDn(WideView server, WideView dn, REFIID iid, void** object, BindSpeed speed = BindSpeed::Full);
HRESULT BindByGuid(WideView server, WideView guid, REFIID iid, void** object, BindSpeed speed = BindSpeed::Full);

// The DNS name of the domain controller that answered a binding (ADS_OPTION_SERVERNAME);
// empty when the object cannot tell.
WideString ServerOfBinding(IUnknown* object);

// ---- Searching ----------------------------------------------------------------------------

// One search preference with a number or a yes/no as its value; which of the two a preference
// takes is the preference's own (ADS_SEARCHPREF_TOMBSTONE, _ASYNCHRONOUS, _CACHE_RESULTS and
// _ATTRIBTYPES_ONLY are yes/no).
struct SearchPreference {
    ADS_SEARCHPREF_ENUM preference;
    DWORD value;
};
HRESULT SetSearchPreferences(IDirectorySearch* search, std::initializer_list<SearchPreference> preferences);

// Scope and the show-deleted control, then pages of pageSize rows (none when 0).
HRESULT SetShowDeletedSearch(IDirectorySearch* search, ADS_SCOPEENUM scope, DWORD pageSize);

// ---- Distinguished names ------------------------------------------------------------------

// A DN's first relative name ("CN=x", escaped as stored) and its parent, through the
// platform's DN parser; false for a DN of fewer than two parts or one it cannot read.
bool SplitDistinguishedName(WideView dn, WideString* relativeName, WideString* parent);
// The DNS name its DC= parts spell ("DC=lumivel,DC=test": "lumivel.test"); empty without any
// or when the DN cannot be read.
WideString DnsNameOfDn(WideView dn);

// ---- Tombstone names ----------------------------------------------------------------------

// "8-4-4-4-12" hexadecimal digits, either case.
bool IsGuidText(WideView text);

// A DN's first relative name, escaped as stored ("CN=Smith\, John"); the whole text when it
// is one.
WideView FirstRelativeName(WideView dn);

// The GUID of a tombstone's name ("<name>\nDEL:<guid>"): the GUID text after the last
// "\nDEL:" when it ends the name; empty for a name that is not mangled for deletion.
WideString TombstoneGuid(WideView name);
// The same, from a tombstone's DN: the GUID its first relative name ends with after an
// escaped line feed; empty for any other DN (a live one, one whose mangled parent comes later).
WideString TombstoneGuidOfDn(WideView dn);

// The name a person knows the object by: the tombstone's name before its last "\nDEL:"; any
// other name as it is.
WideString PlainTombstoneName(WideView name);

// The naming context a tombstone lies in: what follows its Deleted Objects container, the last
// one in the DN (the name before it may spell one too); empty when it names none.
WideString NamingContextOfTombstone(WideView tombstoneDn);

// The DN a tombstone gets back under a parent: its first relative name before the last escaped
// line feed that "DEL:" follows, ",", the parent. Empty when there is no such line feed.
WideString ReanimatedDn(WideView tombstoneDn, WideView parent);

}  // namespace lumivel::shared
