// The netlogon ping: the request's bytes, the reply's reading (hostile input included), and a
// ping over real UDP sockets to DCs that answer late, wrongly or not at all.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "../netlogon_ping.h"

using namespace lumivel::directory;

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

TEST(NetlogonPing, RequestIsTheRootDseSearchForNetlogon) {
    const std::string expected =
        Bytes({0x30, 0x4F, 0x02, 0x02, 0x01, 0x2C,  // message 300
               0x63, 0x49,                          // search request
               0x04, 0x00, 0x0A, 0x01, 0x00, 0x0A, 0x01, 0x00, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x01, 0x01, 0x00,
               0xA0, 0x2A,                          // and
               0xA3, 0x19, 0x04, 0x09}) +
        "DnsDomain" + Bytes({0x04, 0x0C}) + "lumivel.test" +
        Bytes({0xA3, 0x0D, 0x04, 0x05}) + "NtVer" + Bytes({0x04, 0x04, 0x06, 0x00, 0x00, 0x00}) +
        Bytes({0x30, 0x0A, 0x04, 0x08}) + "Netlogon";
    EXPECT_EQ(NetlogonPingRequest(300, "lumivel.test"), expected);
    // Negative and large ids keep the shortest two's complement; long contents the long form.
    EXPECT_EQ(NetlogonPingRequest(-1, "x").substr(2, 3), Bytes({0x02, 0x01, 0xFF}));
    EXPECT_EQ(NetlogonPingRequest(128, "x").substr(2, 4), Bytes({0x02, 0x02, 0x00, 0x80}));
    EXPECT_EQ(BerElement(0x04, std::string(200, 'a')).substr(0, 3), Bytes({0x04, 0x81, 200}));
    EXPECT_EQ(BerElement(0x04, std::string(300, 'a')).substr(0, 4), Bytes({0x04, 0x82, 0x01, 0x2C}));
}

// A name's labels, ended by a zero or by a pointer to an offset.
std::string Name(std::initializer_list<std::string> labels, int pointer = -1) {
    std::string out;
    for (const auto& l : labels) out += static_cast<char>(l.size()) + l;
    if (pointer >= 0) return out + Bytes({0xC0 | (pointer >> 8), pointer & 0xFF});
    return out + std::string(1, '\0');
}

// A reply of dc2.lumivel.test in site Second-Site to a client in Branch-7; names compressed as
// DCs compress them (the domain points at the forest, the host's tail too).
std::string ResponseEx(uint16_t opcode = kLogonSamLogonResponseEx) {
    std::string v = Bytes({opcode & 0xFF, opcode >> 8, 0, 0, 0xFD, 0x03, 0, 0});
    for (int i = 0; i < 16; ++i) v.push_back(static_cast<char>(i + 1));
    v += Name({"lumivel", "test"});                       // forest, at 24
    v += Name({}, 24);                                     // domain
    v += Name({"dc2"}, 24);                                // host
    v += Name({"LUMIVEL"}) + Name({"DC2"}) + Name({});     // NetBIOS domain, computer, user
    v += Name({"Second-Site"});                           // the DC's site
    v += Name({"Branch-7"});                              // the client's
    return v + Bytes({0x06, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
}

// A message id of four bytes, as some servers send them (BER allows the leading zeros).
std::string MessageId(int32_t id) {
    return BerElement(0x02, Bytes({(id >> 24) & 0xFF, (id >> 16) & 0xFF, (id >> 8) & 0xFF, id & 0xFF}));
}

std::string Entry(int32_t id, const std::string& attribute, const std::string& value) {
    const std::string attributes =
        BerElement(0x30, BerElement(0x30, BerElement(0x04, attribute) + BerElement(0x31, BerElement(0x04, value))));
    return BerElement(0x30, MessageId(id) + BerElement(0x64, BerElement(0x04, "") + attributes));
}

std::string Done(int32_t id) {
    return BerElement(0x30, MessageId(id) + BerElement(0x65, Bytes({0x0A, 0x01, 0x00, 0x04, 0x00, 0x04, 0x00})));
}

TEST(NetlogonPing, ReplyYieldsTheSitesAndNames) {
    const std::string datagram = Entry(0x1234, "netlogon", ResponseEx()) + Done(0x1234);
    auto value = NetlogonValueOfReply(datagram, 0x1234);
    ASSERT_TRUE(value);
    auto reply = ParseNetlogonResponseEx(*value);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->opcode, kLogonSamLogonResponseEx);
    EXPECT_EQ(reply->flags, 0x3FDu);
    EXPECT_EQ(reply->domainGuid[0], 1);
    EXPECT_EQ(reply->domainGuid[15], 16);
    EXPECT_EQ(reply->dnsForestName, "lumivel.test");
    EXPECT_EQ(reply->dnsDomainName, "lumivel.test");
    EXPECT_EQ(reply->dnsHostName, "dc2.lumivel.test");
    EXPECT_EQ(reply->netbiosDomainName, "LUMIVEL");
    EXPECT_EQ(reply->netbiosComputerName, "DC2");
    EXPECT_EQ(reply->userName, "");
    EXPECT_EQ(reply->dcSiteName, "Second-Site");
    EXPECT_EQ(reply->clientSiteName, "Branch-7");
    // The "user unknown" form carries the same record.
    EXPECT_TRUE(ParseNetlogonResponseEx(ResponseEx(kLogonSamUserUnknownEx)));
    // The attribute's name in any case; the search's end alone, or another message, is no answer.
    EXPECT_TRUE(NetlogonValueOfReply(Entry(7, "Netlogon", "x"), 7));
    EXPECT_FALSE(NetlogonValueOfReply(Done(7), 7));
    EXPECT_FALSE(NetlogonValueOfReply(Entry(8, "netlogon", "x") + Done(8), 7));
    EXPECT_FALSE(NetlogonValueOfReply(Entry(7, "dnsHostName", "x"), 7));
}

TEST(NetlogonPing, HostileRepliesAreRefused) {
    const std::string good = ResponseEx();
    struct Case {
        const char* what;
        std::string value;
    };
    std::string loop = good.substr(0, 24) + Bytes({0xC0, 24});  // a pointer to itself
    std::string forward = good.substr(0, 24) + Bytes({0xC0, 40}) + std::string(20, '\0');
    std::string pastEnd = good.substr(0, 24) + Bytes({0x3F}) + "abc";
    std::string reserved = good.substr(0, 24) + Bytes({0x40, 'a', 0});
    std::string hanging = good.substr(0, 24) + Bytes({0xC0});
    std::string longName = good.substr(0, 24);
    for (int i = 0; i < 5; ++i) longName += Bytes({63}) + std::string(63, 'a');
    longName += std::string(1, '\0');
    const Case cases[] = {
        {"short fixed part", good.substr(0, 23)},
        {"another opcode", Bytes({19, 0}) + good.substr(2)},
        {"cut in a name", good.substr(0, 30)},
        {"pointer loop", loop},
        {"forward pointer", forward},
        {"label past the end", pastEnd},
        {"reserved label kind", reserved},
        {"pointer cut short", hanging},
        {"name over 255", longName},
    };
    for (const auto& c : cases) EXPECT_FALSE(ParseNetlogonResponseEx(c.value)) << c.what;

    // BER that lies about its lengths, or uses forms LDAP does not.
    const std::string entry = Entry(7, "netlogon", good);
    for (size_t cut = 0; cut < entry.size(); ++cut) EXPECT_FALSE(NetlogonValueOfReply(entry.substr(0, cut), 7)) << cut;
    EXPECT_FALSE(NetlogonValueOfReply(Bytes({0x30, 0x80, 0x02, 0x01, 0x07, 0x00, 0x00}), 7));  // indefinite
    EXPECT_FALSE(NetlogonValueOfReply(Bytes({0x30, 0x85, 1, 0, 0, 0, 0}), 7));                 // 5 length bytes
    EXPECT_FALSE(NetlogonValueOfReply(Bytes({0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}), 7));        // past the end
}

TEST(NetlogonPing, SiteNamesMustBeDnsLabels) {
    for (const char* good : {"Default-First-Site-Name", "Branch_7", "x"}) EXPECT_TRUE(IsUsableSiteName(good)) << good;
    for (const std::string& bad : {std::string(), std::string("a.b"), std::string("a b"), std::string("a\x1b[31m"),
                                   std::string(64, 'a')})
        EXPECT_FALSE(IsUsableSiteName(bad)) << bad;
}

// A DC on a loopback address and a port of the test's choice: it answers each ping with a
// datagram that is no LDAP, then the reply to another message, then the right reply.
class FakeDc {
public:
    explicit FakeDc(const char* address, uint16_t port, bool answers) : m_answers(answers) {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, address, &a.sin_addr);
        m_bound = bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        socklen_t length = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &length);
        m_port = ntohs(a.sin_port);
        if (m_bound) m_thread = std::thread([this] { Serve(); });
    }
    ~FakeDc() {
        shutdown(m_fd, SHUT_RDWR);
        close(m_fd);
        if (m_thread.joinable()) m_thread.join();
    }
    bool bound() const { return m_bound; }
    uint16_t port() const { return m_port; }

private:
    void Serve() {
        char buffer[2048];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t got = recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 6 || !m_answers) return;
        // The request starts 30 LL 02 NN and the id's NN bytes.
        int32_t id = 0;
        for (int i = 0; i < static_cast<uint8_t>(buffer[3]); ++i) id = (id << 8) | static_cast<uint8_t>(buffer[4 + i]);
        for (const std::string& datagram :
             {std::string("not ldap"), Entry(id + 1, "netlogon", ResponseEx()), Entry(id, "netlogon", ResponseEx()) + Done(id)}) {
            sendto(m_fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    int m_fd = -1;
    bool m_bound = false;
    bool m_answers;
    uint16_t m_port = 0;
    std::thread m_thread;
};

TEST(NetlogonPing, FirstAnswerOverUdpAndABoundedWaitForTheSilent) {
    FakeDc answering("127.0.0.1", 0, true);
    ASSERT_TRUE(answering.bound());
    FakeDc silent("127.0.0.2", answering.port(), false);
    if (!silent.bound()) GTEST_SKIP() << "127.0.0.2 cannot be bound here";

    auto started = std::chrono::steady_clock::now();
    auto answers = PingDomainControllers("lumivel.test", {"127.0.0.2", "127.0.0.1"}, 600, false, answering.port());
    auto took = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].host, "127.0.0.1");
    EXPECT_EQ(answers[0].address, "127.0.0.1");
    EXPECT_EQ(answers[0].reply.clientSiteName, "Branch-7");
    // The silent DC held the wait to its bound, and no longer.
    EXPECT_GE(took, std::chrono::milliseconds(550));
    EXPECT_LT(took, std::chrono::milliseconds(3000));
}

TEST(NetlogonPing, NobodyListeningIsNoAnswerAtOnce) {
    uint16_t port = 0;
    {
        FakeDc probe("127.0.0.1", 0, false);  // takes a free port, and gives it back
        port = probe.port();
    }
    auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(PingDomainControllers("lumivel.test", {"127.0.0.1"}, 2000, false, port).empty());
    // A refused port is known at once; nothing waits for the time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1500));
}

}  // namespace
