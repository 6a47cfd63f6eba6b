// `lumivel domains` and `-v` in a domain of two sites (testdc second-site on): the stored
// domain's focused DC is the branch site's dc2, its site and this machine's are shown, and the
// trace says how the locator came to it. Needs testdc up --dcs 2.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "tests/support/child_process.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"
#include "tests/support/temporary_directory.h"

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

using lumivel::testing::ShellQuote;

std::string BinaryFolder() {
    const char* folder = std::getenv("LUMIVEL_BIN_DIR");
    return folder ? folder : ".";
}

struct Outcome {
    int exitCode;
    std::string out, err;
};

Outcome Lumivel(const std::string& arguments) {
    lumivel::testing::TemporaryDirectory scratch;
    const std::string out = scratch.path() + "/out", err = scratch.path() + "/err";
    const auto child = lumivel::testing::RunShell(ShellQuote(BinaryFolder() + "/lumivel") + " " + arguments + " >" +
                                                  ShellQuote(out) + " 2>" + ShellQuote(err));
    return Outcome{static_cast<int>(child.exitCode), lumivel::testing::ReadText(out), lumivel::testing::ReadText(err)};
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');) out.push_back(field);
    return out;
}

std::string Lower(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class DomainSitesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (lumivel::testing::TestDirectory().server.empty()) return;
        const auto registered = lumivel::testing::RunShell(ShellQuote(BinaryFolder() + "/regsvr") + " /s " +
                                                           ShellQuote(BinaryFolder() + "/RevivoProvider.so"));
        ASSERT_EQ(registered.exitCode, 0u) << registered.output;
        lumivel::testing::SecondSiteForSuite::Split();
    }
    static void TearDownTestSuite() { lumivel::testing::SecondSiteForSuite::Join(); }
    void SetUp() override { lumivel::testing::SecondSiteForSuite::Require(); }
};

TEST_F(DomainSitesTest, DomainsShowsTheSitesDcAndTheTraceSaysWhy) {
    const std::string domain = lumivel::testing::TestDirectory().domain;
    const std::string dc2 = Lower(lumivel::testing::SecondDc());
    Outcome connected = Lumivel("connect " + ShellQuote(domain));
    ASSERT_EQ(connected.exitCode, 0) << connected.err;

    Outcome quiet = Lumivel("domains");
    ASSERT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_EQ(quiet.err.find("trace:"), std::string::npos) << quiet.err;
    const auto fields = Fields(quiet.out.substr(0, quiet.out.find('\n')));
    ASSERT_EQ(fields.size(), 5u) << quiet.out;
    EXPECT_EQ(Lower(fields[1]), domain);
    EXPECT_EQ(Lower(fields[2]), dc2);
    EXPECT_EQ(fields[3], "Second-Site");
    EXPECT_EQ(fields[4], "Second-Site");

    // Before the command or among its options alike.
    for (const char* words : {"-v domains", "domains -v"}) {
        Outcome traced = Lumivel(words);
        EXPECT_EQ(traced.exitCode, 0) << traced.err;
        EXPECT_EQ(traced.out, quiet.out);
        EXPECT_NE(traced.err.find("trace: locator: " + domain + ": "), std::string::npos) << traced.err;
        EXPECT_NE(traced.err.find("puts this machine in site Second-Site"), std::string::npos) << traced.err;
        EXPECT_NE(traced.err.find("site Second-Site has " + dc2), std::string::npos) << traced.err;
        EXPECT_NE(Lower(traced.err).find("trace: ldap: bound to " + dc2 + ":389"), std::string::npos) << traced.err;
    }
}

}  // namespace
