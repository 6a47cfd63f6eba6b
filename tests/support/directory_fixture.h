// Test objects in the test directory, made and removed with the LDAP command-line tools so
// that the set-up does not rest on the code under test. Each test works under its own
// uniquely named organizational unit and removes it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace lumivel::testing {

struct Directory {
    std::string server;  // TESTDC_DC
    std::string domain;  // TESTDC_DOMAIN
    std::string baseDn;  // TESTDC_BASEDN
    std::string facts;   // TESTDC_FACTS
};

// The test directory's facts; the test is skipped outside it.
const Directory& TestDirectory();
#define REQUIRE_TEST_DIRECTORY()                                                                  \
    do {                                                                                          \
        if (lumivel::testing::TestDirectory().server.empty()) GTEST_SKIP() << "not inside testdc exec"; \
    } while (0)

// The test domain's second DC (TESTDC_DC2), empty in a domain of one DC.
std::string SecondDc();
// Runs a test domain command ("stop-dc dc2", "replicate", ...) and tells whether it succeeded.
bool Harness(const std::string& arguments);
// A test suite's domain of two sites: dc2 in a site of its own whose subnet holds the test's
// address (testdc second-site on), put back when the suite ends. Nothing happens outside the
// test directory or in a domain of one DC.
class SecondSiteForSuite {
public:
    // In SetUpTestSuite and TearDownTestSuite.
    static void Split();
    static void Join();
    // In SetUp: skips the test where the domain cannot have two sites, fails it where the
    // split failed.
    static void Require();

private:
    static bool s_split;
};

// Asks until the answer is yes or the seconds are spent; the last answer.
bool WaitUntil(const std::function<bool()>& answer, int seconds);

// A short random suffix for names nobody else uses.
std::string UniqueSuffix();

// An RDN value escaped for a DN (RFC 4514), independently of the platform's helpers.
std::string EscapeRdnValue(const std::string& value);

// Runs ldapmodify with the LDIF text (entries with "changetype"); true on success.
bool LdapModify(const std::string& ldif);
bool LdapAdd(const std::string& dn, const std::vector<std::string>& attributeLines);
bool AddOrganizationalUnit(const std::string& dn);
bool AddUser(const std::string& dn, const std::string& cn);
bool LdapDelete(const std::string& dn);
// Deletes the subtree, children first; no failure when it is already gone.
void LdapDeleteTree(const std::string& dn);
// Whether a live object of that DN exists (on the first DC, or on the one named).
bool LdapExists(const std::string& dn);
bool LdapExistsOn(const std::string& server, const std::string& dn);
// The whenChanged values of tombstones by cn prefix, as "YYYYMMDDhhmmss" texts.
std::vector<std::pair<std::string, std::string>> TombstoneTimes(const std::string& cnPrefix);

// The distinguished names of the tombstones in a naming context's Deleted Objects container
// that match an LDAP filter.
std::vector<std::string> TombstoneDns(const std::string& namingContext, const std::string& filter);
std::vector<std::string> TombstoneDnsOn(const std::string& server, const std::string& namingContext,
                                        const std::string& filter);
// The objectClass values of a live object, most general first; empty when it does not exist.
std::vector<std::string> ObjectClasses(const std::string& dn);
// Removes a tombstone for good, as the end of its lifetime does (testdc purge); its children
// keep naming it as their last known parent, or with forgetParent have none, as Samba leaves them.
bool PurgeTombstone(const std::string& dn, bool forgetParent = false);

// The test seed's facts: one row per object, columns by their header names.
struct Fact {
    std::vector<std::pair<std::string, std::string>> fields;
    std::string get(const std::string& column) const;
};
std::vector<Fact> SeedFacts();

}  // namespace lumivel::testing
