// The netlogon ping: an LDAP search over UDP port 389 for the rootDSE's "Netlogon" attribute,
// which a domain controller answers with a NETLOGON_SAM_LOGON_RESPONSE_EX record: the DC's own
// names, its site, and the site the DC finds the asking client in (by the client's address and
// the forest's subnets). The locator asks it to learn the client's site.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivel::directory {

// The version bits of the request: the extended reply (V5EX) and, for older servers, V5.
inline constexpr uint32_t kNetlogonNtVersion5 = 0x00000002;
inline constexpr uint32_t kNetlogonNtVersion5Ex = 0x00000004;

// Opcodes of the extended reply: the logon response, and the same without a known user.
inline constexpr uint16_t kLogonSamLogonResponseEx = 23;
inline constexpr uint16_t kLogonSamUserUnknownEx = 25;

// Flags of the reply (DS_*_FLAG of DsGetDcName).
inline constexpr uint32_t kNetlogonPdcFlag = 0x00000001;
inline constexpr uint32_t kNetlogonGcFlag = 0x00000004;
inline constexpr uint32_t kNetlogonLdapFlag = 0x00000008;
inline constexpr uint32_t kNetlogonDsFlag = 0x00000010;
inline constexpr uint32_t kNetlogonKdcFlag = 0x00000020;
inline constexpr uint32_t kNetlogonClosestFlag = 0x00000080;
inline constexpr uint32_t kNetlogonWritableFlag = 0x00000100;

struct NetlogonReply {
    uint16_t opcode = 0;
    uint32_t flags = 0;
    uint8_t domainGuid[16] = {};
    std::string dnsForestName;
    std::string dnsDomainName;
    std::string dnsHostName;
    std::string netbiosDomainName;
    std::string netbiosComputerName;
    std::string userName;
    std::string dcSiteName;
    std::string clientSiteName;
};

// One BER element: the tag, its length in the shortest definite form, and the content.
std::string BerElement(uint8_t tag, std::string_view content);

// The LDAPMessage of a ping for a DNS domain: a base search of "" with the filter
// (&(DnsDomain=dnsDomain)(NtVer=<ntVersion, 4 bytes little-endian>)) asking for "Netlogon".
std::string NetlogonPingRequest(int32_t messageId, std::string_view dnsDomain,
                                uint32_t ntVersion = kNetlogonNtVersion5 | kNetlogonNtVersion5Ex);

// The "Netlogon" value of the search result entry for messageId in a reply datagram (which
// may hold the entry and the search's end); nothing when the datagram holds no such entry or
// is not well formed.
std::optional<std::string> NetlogonValueOfReply(std::string_view datagram, int32_t messageId);

// A NETLOGON_SAM_LOGON_RESPONSE_EX value read whole up to the client's site; nothing for
// another opcode, a name that runs past the value, or compression pointers that loop.
std::optional<NetlogonReply> ParseNetlogonResponseEx(std::string_view value);

// A site name the locator may put into a DNS name: one label of letters, digits, "-" and "_".
bool IsUsableSiteName(std::string_view site);

struct PingAnswer {
    std::string host;     // as it was asked, one of the hosts given
    std::string address;  // the address that answered, as text ("127.0.0.2", "::1")
    NetlogonReply reply;
};

// Pings the hosts (at most the first eight) at once and waits until every one has answered
// or the time is up. The answers come in the order of the hosts, not of their arrival, so
// that a caller can keep its own preference among those that answered.
// With firstAnswerIsEnough the wait ends at the first answer.
std::vector<PingAnswer> PingDomainControllers(const std::string& dnsDomain, const std::vector<std::string>& hosts,
                                              int timeoutMilliseconds, bool firstAnswerIsEnough, uint16_t port = 389);

}  // namespace lumivel::directory
