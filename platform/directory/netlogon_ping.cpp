// The netlogon ping over UDP, with its own small BER coder: the request is a handful of fixed
// elements, and the reply comes from the network, so every length in it is checked against
// what is left before anything is read.
#include "netlogon_ping.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

#include "dn.h"
#include "lumivel/dns_name.h"

namespace lumivel::directory {

namespace {

// ------------------------------------------------------------------ BER out

void AppendLength(std::string& out, size_t length) {
    if (length < 0x80) {
        out.push_back(static_cast<char>(length));
        return;
    }
    char bytes[sizeof(size_t)];
    int count = 0;
    for (size_t rest = length; rest; rest >>= 8) bytes[count++] = static_cast<char>(rest & 0xFF);
    out.push_back(static_cast<char>(0x80 | count));
    while (count) out.push_back(bytes[--count]);
}

std::string Integer(uint8_t tag, int32_t value) {
    // Two's complement, shortest form: leading bytes that only repeat the sign go.
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
    while (bytes.size() > 1 && ((bytes[0] == 0 && !(bytes[1] & 0x80)) ||
                                (bytes[0] == static_cast<char>(0xFF) && (bytes[1] & 0x80))))
        bytes.erase(0, 1);
    return BerElement(tag, bytes);
}

constexpr uint8_t kBoolean = 0x01, kInteger = 0x02, kOctetString = 0x04, kEnumerated = 0x0A, kSequence = 0x30,
                  kSet = 0x31, kSearchRequest = 0x63, kSearchResultEntry = 0x64, kFilterAnd = 0xA0,
                  kFilterEquality = 0xA3;

std::string Equality(std::string_view attribute, std::string_view value) {
    return BerElement(kFilterEquality, BerElement(kOctetString, attribute) + BerElement(kOctetString, value));
}

// ------------------------------------------------------------------ BER in

// A reader over one element's content; a failed read leaves it failed for good.
class BerReader {
public:
    explicit BerReader(std::string_view data) : m_data(data) {}
    bool AtEnd() const { return m_data.empty(); }
    bool Failed() const { return m_failed; }
    uint8_t PeekTag() const { return m_data.empty() ? 0 : static_cast<uint8_t>(m_data[0]); }

    // The next element's content when its tag is the one expected.
    std::optional<std::string_view> Take(uint8_t tag) {
        if (m_failed || m_data.size() < 2 || static_cast<uint8_t>(m_data[0]) != tag) return Fail();
        size_t at = 1;
        size_t length = static_cast<uint8_t>(m_data[at++]);
        if (length & 0x80) {
            const size_t count = length & 0x7F;
            // Indefinite lengths (count 0) are not BER that LDAP allows.
            if (count == 0 || count > 4 || m_data.size() < at + count) return Fail();
            length = 0;
            for (size_t i = 0; i < count; ++i) length = (length << 8) | static_cast<uint8_t>(m_data[at++]);
        }
        if (length > m_data.size() - at) return Fail();
        std::string_view content = m_data.substr(at, length);
        m_data.remove_prefix(at + length);
        return content;
    }

    std::optional<int32_t> TakeInteger() {
        auto content = Take(kInteger);
        if (!content || content->empty() || content->size() > 4) return Fail();
        int32_t value = static_cast<int8_t>((*content)[0]);
        for (size_t i = 1; i < content->size(); ++i) value = static_cast<int32_t>((static_cast<uint32_t>(value) << 8) | static_cast<uint8_t>((*content)[i]));
        return value;
    }

private:
    std::nullopt_t Fail() {
        m_failed = true;
        return std::nullopt;
    }
    std::string_view m_data;
    bool m_failed = false;
};

// The "Netlogon" value of one SearchResultEntry's content.
std::optional<std::string> NetlogonValueOfEntry(std::string_view entry) {
    BerReader reader(entry);
    if (!reader.Take(kOctetString)) return std::nullopt;  // the object's name: the rootDSE's ""
    auto attributes = reader.Take(kSequence);
    if (!attributes) return std::nullopt;
    BerReader list(*attributes);
    while (!list.AtEnd()) {
        auto attribute = list.Take(kSequence);
        if (!attribute) return std::nullopt;
        BerReader parts(*attribute);
        auto type = parts.Take(kOctetString);
        auto values = parts.Take(kSet);
        if (!type || !values) return std::nullopt;
        if (LowerAsciiUtf8(*type) != "netlogon") continue;
        BerReader valueList(*values);
        auto value = valueList.Take(kOctetString);
        if (!value) return std::nullopt;
        return std::string(*value);
    }
    return std::nullopt;
}

// ------------------------------------------------------------------ the reply's names

// A name in the compressed form of RFC 1035: labels, each behind its length, ended by an empty
// one or by a pointer to an earlier name (offsets count from the start of the value).
class NameReader {
public:
    explicit NameReader(std::string_view value) : m_value(value) {}

    std::optional<std::string> Read(size_t* offset) const {
        std::string name;
        size_t at = *offset;
        bool jumped = false;
        // A pointer may only lead back, before the name that holds it, so a chain ends; the
        // count bounds it all the same.
        size_t limit = at;
        for (int hops = 0;;) {
            if (at >= m_value.size()) return std::nullopt;
            const uint8_t length = static_cast<uint8_t>(m_value[at]);
            if (length == 0) {
                if (!jumped) *offset = at + 1;
                return name;
            }
            if ((length & 0xC0) == 0xC0) {
                if (at + 1 >= m_value.size()) return std::nullopt;
                const size_t target = (static_cast<size_t>(length & 0x3F) << 8) | static_cast<uint8_t>(m_value[at + 1]);
                if (!jumped) *offset = at + 2;
                jumped = true;
                if (target >= limit || ++hops > 32) return std::nullopt;
                limit = target;
                at = target;
                continue;
            }
            if (length & 0xC0) return std::nullopt;  // the two reserved label kinds
            if (length > m_value.size() - at - 1) return std::nullopt;
            if (!name.empty()) name.push_back('.');
            name.append(m_value.substr(at + 1, length));
            if (name.size() > 255) return std::nullopt;
            at += 1 + length;
        }
    }

private:
    std::string_view m_value;
};

uint32_t LittleEndian(std::string_view bytes) {
    uint32_t value = 0;
    for (size_t i = bytes.size(); i > 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[i - 1]);
    return value;
}

// ------------------------------------------------------------------ UDP

struct PingSocket {
    int fd = -1;
    int32_t messageId = 0;
    bool answered = false;
    std::string address;
    ~PingSocket() {
        if (fd >= 0) close(fd);
    }
};

int OpenConnectedSocket(const std::string& host, uint16_t port, std::string* address) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_family = AF_UNSPEC;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            close(fd);
            fd = -1;
        }
        char text[NI_MAXHOST] = {};
        if (fd >= 0 && getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) == 0)
            *address = text;
    }
    freeaddrinfo(found);
    return fd;
}

constexpr size_t kMostHostsPinged = 8;

}  // namespace

std::string BerElement(uint8_t tag, std::string_view content) {
    std::string out(1, static_cast<char>(tag));
    AppendLength(out, content.size());
    out.append(content);
    return out;
}

std::string NetlogonPingRequest(int32_t messageId, std::string_view dnsDomain, uint32_t ntVersion) {
    std::string version;
    for (int i = 0; i < 4; ++i) version.push_back(static_cast<char>((ntVersion >> (8 * i)) & 0xFF));
    std::string search = BerElement(kOctetString, "");
    search += BerElement(kEnumerated, std::string(1, '\0'));  // scope: base
    search += BerElement(kEnumerated, std::string(1, '\0'));  // never dereference aliases
    search += Integer(kInteger, 0);                        // no size limit
    search += Integer(kInteger, 0);                        // no time limit
    search += BerElement(kBoolean, std::string(1, '\0'));     // values, not types only
    search += BerElement(kFilterAnd, Equality("DnsDomain", dnsDomain) + Equality("NtVer", version));
    search += BerElement(kSequence, BerElement(kOctetString, "Netlogon"));
    return BerElement(kSequence, Integer(kInteger, messageId) + BerElement(kSearchRequest, search));
}

std::optional<std::string> NetlogonValueOfReply(std::string_view datagram, int32_t messageId) {
    BerReader messages(datagram);
    while (!messages.AtEnd()) {
        auto message = messages.Take(kSequence);
        if (!message) return std::nullopt;
        BerReader parts(*message);
        auto id = parts.TakeInteger();
        if (!id) return std::nullopt;
        if (*id != messageId || parts.PeekTag() != kSearchResultEntry) continue;
        auto entry = parts.Take(kSearchResultEntry);
        if (!entry) return std::nullopt;
        return NetlogonValueOfEntry(*entry);
    }
    return std::nullopt;
}

std::optional<NetlogonReply> ParseNetlogonResponseEx(std::string_view value) {
    // Opcode, Sbz, Flags and DomainGuid come first: 24 bytes.
    if (value.size() < 24) return std::nullopt;
    NetlogonReply reply;
    reply.opcode = static_cast<uint16_t>(LittleEndian(value.substr(0, 2)));
    if (reply.opcode != kLogonSamLogonResponseEx && reply.opcode != kLogonSamUserUnknownEx) return std::nullopt;
    reply.flags = LittleEndian(value.substr(4, 4));
    std::memcpy(reply.domainGuid, value.data() + 8, 16);
    const NameReader names(value);
    size_t offset = 24;
    for (std::string* field : {&reply.dnsForestName, &reply.dnsDomainName, &reply.dnsHostName, &reply.netbiosDomainName,
                               &reply.netbiosComputerName, &reply.userName, &reply.dcSiteName, &reply.clientSiteName}) {
        auto name = names.Read(&offset);
        if (!name) return std::nullopt;
        *field = std::move(*name);
    }
    return reply;
}

bool IsUsableSiteName(std::string_view site) { return site.size() <= 63 && IsDnsNameText(site, false); }

std::vector<PingAnswer> PingDomainControllers(const std::string& dnsDomain, const std::vector<std::string>& hosts,
                                              int timeoutMilliseconds, bool firstAnswerIsEnough, uint16_t port) {
    const size_t count = std::min(hosts.size(), kMostHostsPinged);
    std::vector<PingSocket> sockets(count);
    std::vector<std::optional<NetlogonReply>> replies(count);
    // Message ids of their own per run, so that a late answer to an earlier ping is not taken.
    thread_local std::mt19937 generator{std::random_device{}()};
    const int32_t firstId = static_cast<int32_t>(generator() & 0x3FFFFFFF) + 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    size_t waiting = 0;
    for (size_t i = 0; i < count; ++i) {
        PingSocket& s = sockets[i];
        s.messageId = firstId + static_cast<int32_t>(i);
        s.fd = OpenConnectedSocket(hosts[i], port, &s.address);
        if (s.fd < 0) continue;
        const std::string request = NetlogonPingRequest(s.messageId, dnsDomain);
        if (send(s.fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) continue;
        ++waiting;
    }
    std::vector<char> buffer(65536);
    while (waiting > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        std::vector<pollfd> polled;
        std::vector<size_t> owners;
        for (size_t i = 0; i < count; ++i) {
            if (sockets[i].fd < 0 || sockets[i].answered) continue;
            polled.push_back(pollfd{sockets[i].fd, POLLIN, 0});
            owners.push_back(i);
        }
        if (polled.empty()) break;
        const int ready = poll(polled.data(), polled.size(), static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        for (size_t p = 0; p < polled.size(); ++p) {
            if (!(polled[p].revents & (POLLIN | POLLERR | POLLHUP))) continue;
            PingSocket& s = sockets[owners[p]];
            const ssize_t got = recv(s.fd, buffer.data(), buffer.size(), 0);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            // A refused port (an ICMP answer) or a datagram that is not the reply ends this
            // host's part; anything but the reply to our message is ignored.
            if (got < 0) {
                s.answered = true;
                --waiting;
                continue;
            }
            auto value = NetlogonValueOfReply(std::string_view(buffer.data(), static_cast<size_t>(got)), s.messageId);
            if (!value) continue;
            s.answered = true;
            --waiting;
            replies[owners[p]] = ParseNetlogonResponseEx(*value);
        }
        if (firstAnswerIsEnough) {
            bool any = false;
            for (const auto& r : replies) any = any || r.has_value();
            if (any) break;
        }
    }
    std::vector<PingAnswer> answers;
    for (size_t i = 0; i < count; ++i)
        if (replies[i]) answers.push_back(PingAnswer{hosts[i], sockets[i].address, std::move(*replies[i])});
    return answers;
}

}  // namespace lumivel::directory
