#include "tests/support/directory_fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "tests/support/child_process.h"

namespace lumivel::testing {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string base64(const std::string& bytes) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned n = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[n >> 18];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += alphabet[n & 63];
    }
    if (i + 1 == bytes.size()) {
        unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
        out += alphabet[n >> 18];
        out += alphabet[(n >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        unsigned n = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out += alphabet[n >> 18];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += '=';
    }
    return out;
}

// Any value may hold characters LDIF cannot carry plainly: always base64.
std::string ldifLine(const std::string& attribute, const std::string& value) {
    return attribute + ":: " + base64(value) + "\n";
}

std::string ldapOptions(const std::string& server) { return "-Q -Y GSSAPI -N -O minssf=56 -H ldap://" + server; }
std::string ldapOptions() { return ldapOptions(TestDirectory().server); }

// The LDAP tools read their LDIF from standard input; whether they took it all is their exit code.
bool runWithInput(const std::string& command, const std::string& input) {
    ShellOptions options;
    options.input = input;
    return RunShell(command + " >/dev/null 2>&1", options).exitCode == 0;
}

}  // namespace

const Directory& TestDirectory() {
    static const Directory directory{environment("TESTDC_DC"), environment("TESTDC_DOMAIN"),
                                     environment("TESTDC_BASEDN"), environment("TESTDC_FACTS")};
    return directory;
}

std::string SecondDc() { return environment("TESTDC_DC2"); }

bool Harness(const std::string& arguments) {
    std::string control = environment("TESTDC_CONTROL");
    if (control.empty()) return false;
    return std::system((ShellQuote(control) + " " + arguments + " >/dev/null").c_str()) == 0;
}

bool SecondSiteForSuite::s_split = false;

void SecondSiteForSuite::Split() {
    if (TestDirectory().server.empty() || SecondDc().empty()) return;
    s_split = Harness("second-site on");
}

void SecondSiteForSuite::Join() {
    if (s_split) {
        EXPECT_TRUE(Harness("second-site off"));
    }
    s_split = false;
}

void SecondSiteForSuite::Require() {
    if (TestDirectory().server.empty()) GTEST_SKIP() << "not inside testdc exec";
    if (SecondDc().empty()) GTEST_SKIP() << "the test domain has one DC";
    ASSERT_TRUE(s_split) << "testdc second-site on failed";
}

bool WaitUntil(const std::function<bool()>& answer, int seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!answer()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return true;
}

std::string UniqueSuffix() {
    std::random_device device;
    std::string out;
    for (int i = 0; i < 8; ++i) out += "0123456789abcdef"[device() % 16];
    return out;
}

std::string EscapeRdnValue(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        bool special = c == ',' || c == '+' || c == '"' || c == '\\' || c == '<' || c == '>' || c == ';' || c == '=';
        bool edge = (i == 0 && (c == '#' || c == ' ')) || (i + 1 == value.size() && c == ' ');
        if (special || edge) out += '\\';
        out += c;
    }
    return out;
}

bool LdapModify(const std::string& ldif) { return runWithInput("ldapmodify " + ldapOptions(), ldif); }

bool LdapAdd(const std::string& dn, const std::vector<std::string>& attributeLines) {
    std::string ldif = ldifLine("dn", dn) + "changetype: add\n";
    for (const std::string& line : attributeLines) ldif += line;
    return LdapModify(ldif + "\n");
}

bool AddOrganizationalUnit(const std::string& dn) { return LdapAdd(dn, {"objectClass: organizationalUnit\n"}); }

bool AddUser(const std::string& dn, const std::string& cn) {
    std::string account = "t" + UniqueSuffix();
    return LdapAdd(dn, {"objectClass: user\n", ldifLine("cn", cn), "sAMAccountName: " + account + "\n"});
}

bool LdapDelete(const std::string& dn) { return LdapModify(ldifLine("dn", dn) + "changetype: delete\n\n"); }

void LdapDeleteTree(const std::string& dn) {
    // Children first: the deepest DNs are the longest ones below dn.
    std::string listing = ShellOutput("ldapsearch " + ldapOptions() + " -LLL -o ldif-wrap=no -b " + ShellQuote(dn) +
                                      " -s sub 1.1 2>/dev/null");
    std::vector<std::string> dns;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("dn: ", 0) == 0) dns.push_back(line.substr(4));
        if (line.rfind("dn:: ", 0) == 0) {
            std::string decoded = ShellOutput("printf %s " + ShellQuote(line.substr(5)) + " | base64 -d");
            dns.push_back(decoded);
        }
    }
    std::sort(dns.begin(), dns.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& child : dns) LdapDelete(child);
}

bool LdapExistsOn(const std::string& server, const std::string& dn) {
    std::string out = ShellOutput("ldapsearch " + ldapOptions(server) + " -LLL -b " + ShellQuote(dn) +
                                  " -s base 1.1 >/dev/null 2>&1; echo $?");
    return out.rfind("0", 0) == 0;
}

bool LdapExists(const std::string& dn) { return LdapExistsOn(TestDirectory().server, dn); }

std::vector<std::pair<std::string, std::string>> TombstoneTimes(const std::string& cnPrefix) {
    const Directory& directory = TestDirectory();
    std::string base = "<WKGUID=18e2ea80684f11d2b9aa00c04f79f805," + directory.baseDn + ">";
    std::string out = ShellOutput(
        "ldapsearch " + ldapOptions() + " -LLL -o ldif-wrap=no -E '!1.2.840.113556.1.4.417' -b " + ShellQuote(base) +
        " -s one " + ShellQuote("(cn=" + cnPrefix + "*)") + " distinguishedName whenChanged 2>/dev/null");
    std::vector<std::pair<std::string, std::string>> times;
    std::istringstream lines(out);
    std::string line, dn, when;
    // Attributes come in any order within an entry; an empty line ends the entry.
    auto endEntry = [&] {
        if (!dn.empty() && !when.empty()) times.emplace_back(dn, when);
        dn.clear();
        when.clear();
    };
    while (std::getline(lines, line)) {
        if (line.empty()) endEntry();
        if (line.rfind("distinguishedName: ", 0) == 0) dn = line.substr(19);
        if (line.rfind("distinguishedName:: ", 0) == 0)
            dn = ShellOutput("printf %s " + ShellQuote(line.substr(20)) + " | base64 -d");
        if (line.rfind("whenChanged: ", 0) == 0) when = line.substr(13, 14);
    }
    endEntry();
    return times;
}

namespace {

// The values of one attribute in LDIF output, base64 forms decoded.
std::vector<std::string> ldifValues(const std::string& ldif, const std::string& attribute) {
    std::vector<std::string> values;
    std::istringstream lines(ldif);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(attribute + ": ", 0) == 0) values.push_back(line.substr(attribute.size() + 2));
        if (line.rfind(attribute + ":: ", 0) == 0)
            values.push_back(
                ShellOutput("printf %s " + ShellQuote(line.substr(attribute.size() + 3)) + " | base64 -d"));
    }
    return values;
}

}  // namespace

std::vector<std::string> TombstoneDns(const std::string& namingContext, const std::string& filter) {
    return TombstoneDnsOn(TestDirectory().server, namingContext, filter);
}

std::vector<std::string> TombstoneDnsOn(const std::string& server, const std::string& namingContext,
                                        const std::string& filter) {
    std::string base = "<WKGUID=18e2ea80684f11d2b9aa00c04f79f805," + namingContext + ">";
    return ldifValues(
        ShellOutput("ldapsearch " + ldapOptions(server) + " -LLL -o ldif-wrap=no -E '!1.2.840.113556.1.4.417' -b " +
                    ShellQuote(base) + " -s one " + ShellQuote(filter) + " 1.1 2>/dev/null"),
        "dn");
}

std::vector<std::string> ObjectClasses(const std::string& dn) {
    return ldifValues(ShellOutput("ldapsearch " + ldapOptions() + " -LLL -o ldif-wrap=no -b " + ShellQuote(dn) +
                                  " -s base objectClass 2>/dev/null"),
                      "objectClass");
}

bool PurgeTombstone(const std::string& dn, bool forgetParent) {
    const char* source = std::getenv("LUMIVEL_SOURCE_DIR");
    std::string testdc = std::string(source ? source : ".") + "/tests/testdc/testdc";
    return std::system((ShellQuote(testdc) + " purge " + (forgetParent ? "--forget-parent " : "") + ShellQuote(dn) +
                        " >/dev/null 2>&1")
                           .c_str()) == 0;
}

std::string Fact::get(const std::string& column) const {
    for (const auto& [name, value] : fields)
        if (name == column) return value;
    return {};
}

std::vector<Fact> SeedFacts() {
    std::vector<Fact> facts;
    std::ifstream file(TestDirectory().facts);
    std::string line;
    std::vector<std::string> header;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells;
        std::istringstream row(line);
        std::string cell;
        while (std::getline(row, cell, '\t')) cells.push_back(cell);
        if (header.empty()) {
            header = cells;
            continue;
        }
        Fact fact;
        for (size_t i = 0; i < header.size() && i < cells.size(); ++i) fact.fields.emplace_back(header[i], cells[i]);
        facts.push_back(std::move(fact));
    }
    return facts;
}

}  // namespace lumivel::testing
