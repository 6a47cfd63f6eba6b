// A KDC that takes the connection and never answers: a bind, through ADSI or the LDAP API,
// gives up within the connect time-out, Kerberos included. No test domain needed: a made-up realm, a ticket cache with a
// made-up ticket-granting ticket, and two listening sockets that never answer.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <krb5.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include "lumivel/text.h"
#include "win/adsi.h"
#include "win/com.h"
#include "win/errors.h"
#include "win/winldap.h"

namespace {

// The TCP handshake completes in the kernel; nothing is ever read or answered.
class SilentListener {
public:
    SilentListener() {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(m_socket, 8) == 0 &&
            ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(m_socket); }
    uint16_t port() const { return m_port; }

private:
    int m_socket = -1;
    uint16_t m_port = 0;
};

class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (m_old.empty()) unsetenv(m_name);
        else setenv(m_name, m_old.c_str(), 1);
    }

private:
    const char* m_name;
    std::string m_old;
};

// DER: a tag, a short or long length, the contents.
std::string Der(unsigned char tag, const std::string& contents) {
    std::string out(1, static_cast<char>(tag));
    if (contents.size() < 0x80) {
        out += static_cast<char>(contents.size());
    } else {
        out += static_cast<char>(0x82);
        out += static_cast<char>(contents.size() >> 8);
        out += static_cast<char>(contents.size() & 0xFF);
    }
    return out + contents;
}

std::string DerInteger(int value) { return Der(0x02, std::string(1, static_cast<char>(value))); }

// A well-formed Ticket for krbtgt/SILENT.TEST whose encrypted part is noise: the client only
// passes it on, so it serves to ask the KDC.
std::string MadeUpTicket() {
    std::string name = Der(0x30, Der(0xA0, DerInteger(2)) +
                                     Der(0xA1, Der(0x30, Der(0x1B, "krbtgt") + Der(0x1B, "SILENT.TEST"))));
    std::string encrypted =
        Der(0x30, Der(0xA0, DerInteger(18)) + Der(0xA1, DerInteger(1)) + Der(0xA2, Der(0x04, std::string(64, '\x5a'))));
    return Der(0x61, Der(0x30, Der(0xA0, DerInteger(5)) + Der(0xA1, Der(0x1B, "SILENT.TEST")) + Der(0xA2, name) +
                                   Der(0xA3, encrypted)));
}

// A ticket-granting ticket nobody issued: enough for the client to go and ask the KDC.
bool StoreMadeUpTicket(const std::string& cache) {
    krb5_context context = nullptr;
    if (krb5_init_context(&context) != 0) return false;
    krb5_ccache ccache = nullptr;
    krb5_creds creds{};
    bool stored = false;
    unsigned char key[32] = {1, 2, 3};
    std::string ticket = MadeUpTicket();
    if (krb5_cc_resolve(context, ("FILE:" + cache).c_str(), &ccache) == 0 &&
        krb5_parse_name(context, "nobody@SILENT.TEST", &creds.client) == 0 &&
        krb5_build_principal(context, &creds.server, 11, "SILENT.TEST", "krbtgt", "SILENT.TEST", nullptr) == 0 &&
        krb5_cc_initialize(context, ccache, creds.client) == 0) {
        krb5_timestamp now = static_cast<krb5_timestamp>(std::time(nullptr));
        creds.times.authtime = creds.times.starttime = now;
        creds.times.endtime = now + 3600;
        creds.keyblock.enctype = ENCTYPE_AES256_CTS_HMAC_SHA1_96;
        creds.keyblock.length = sizeof key;
        creds.keyblock.contents = key;
        creds.ticket.data = ticket.data();
        creds.ticket.length = static_cast<unsigned>(ticket.size());
        stored = krb5_cc_store_cred(context, ccache, &creds) == 0;
        creds.keyblock.contents = nullptr;
        creds.ticket.data = nullptr;
    }
    krb5_free_principal(context, creds.client);
    krb5_free_principal(context, creds.server);
    if (ccache) krb5_cc_close(context, ccache);
    krb5_free_context(context);
    return stored;
}

TEST(KerberosWait, ASilentKdcFailsTheBindWithinTheConnectTimeOut) {
    SilentListener kdc, ldap;
    ASSERT_NE(kdc.port(), 0);
    ASSERT_NE(ldap.port(), 0);
    char folder[] = "/tmp/lumivel-kdc-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    std::string root = folder;
    std::ofstream(root + "/krb5.conf") << "[libdefaults]\n default_realm = SILENT.TEST\n dns_lookup_kdc = false\n"
                                          " dns_lookup_realm = false\n rdns = false\n dns_canonicalize_hostname = false\n"
                                          " udp_preference_limit = 1\n"
                                          "[realms]\n SILENT.TEST = {\n  kdc = 127.0.0.1:"
                                       << kdc.port() << "\n }\n";
    ScopedVariable config("KRB5_CONFIG", root + "/krb5.conf");
    ScopedVariable cache("KRB5CCNAME", "FILE:" + root + "/ccache");
    ScopedVariable timeout("LUMIVEL_LDAP_CONNECT_TIMEOUT", "2");
    ScopedVariable machine("LUMIVEL_MACHINE_HIVE", root + "/machine.hive");
    ScopedVariable user("LUMIVEL_USER_HIVE", root + "/user.hive");
    ASSERT_TRUE(StoreMadeUpTicket(root + "/ccache"));
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));

    std::u16string path = u"LDAP://127.0.0.1:" + lumivel::FromUtf8(std::to_string(ldap.port())) + u"/DC=silent,DC=test";
    for (int attempt = 0; attempt < 2; ++attempt) {  // the second finds no half-made connection
        auto start = std::chrono::steady_clock::now();
        IADs* object = nullptr;
        HRESULT result = ADsGetObject(path.c_str(), IID_IADs, reinterpret_cast<void**>(&object));
        auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result, HRESULT_FROM_WIN32(ERROR_TIMEOUT)) << std::hex << result;
        EXPECT_LT(took, std::chrono::milliseconds(4500));
        EXPECT_GT(took, std::chrono::milliseconds(1500)) << "the time-out is what ended the wait";
        if (object) object->Release();
    }
    // The same through the LDAP API, whose negotiated bind asks the KDC as well.
    LDAP* ld = ldap_initW(u"127.0.0.1", ldap.port());
    ASSERT_NE(ld, nullptr);
    ULONG version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ldap_bind_sW(ld, nullptr, nullptr, LDAP_AUTH_NEGOTIATE), static_cast<ULONG>(LDAP_TIMEOUT));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(4500));
    EXPECT_GT(took, std::chrono::milliseconds(1500)) << "the time-out is what ended the wait";
    ldap_unbind(ld);
    CoUninitialize();
    std::system(("rm -rf '" + root + "'").c_str());
}

}  // namespace
