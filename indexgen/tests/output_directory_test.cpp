#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "indexgen/output_directory.h"
#include "tests/support/child_process.h"
#include "tests/support/temporary_directory.h"
#include "win/processes.h"

namespace taxonis {
namespace {

using lumivel::testing::TemporaryDirectory;

std::u16string Tail(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    return CommandTail(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, TheTailIsTheArgumentsAsTheyCame) {
    EXPECT_EQ(Tail({"Taxonis"}), u"");
    EXPECT_EQ(Tail({"Taxonis", "/srv/index/"}), u"/srv/index/");
    // A directory with a blank, quoted or not on the shell, and in the ANSI code page (UTF-8).
    EXPECT_EQ(Tail({"Taxonis", "/srv/my index/"}), u"/srv/my index/");
    EXPECT_EQ(Tail({"Taxonis", "/srv/my", "index/"}), u"/srv/my index/");
    EXPECT_EQ(Tail({"Taxonis", "/srv/r\xC3\xA9pertoire/"}), u"/srv/r\u00E9pertoire/");
}

TEST(CommandLine, OutputDirectoryIsTheTailVerbatimOrTheIndexDirectoryBesideTheProgram) {
    TemporaryDirectory folder;
    const std::u16string program = folder.wide() + u"/";
    EXPECT_EQ(OutputDirectory(u"", program), program);
    EXPECT_EQ(OutputDirectory(u"/srv/index/", program), u"/srv/index/");
    // Without its final separator the tail names a prefix of the file names, as written.
    EXPECT_EQ(OutputDirectory(u"/srv/index", program), u"/srv/index");
    EXPECT_EQ(OutputDirectory(u"\"/srv/index/\"", program), u"\"/srv/index/\"");
}

// Runs the generator on a folder with no domain to reach: no credential cache.
lumivel::testing::ChildResult RunWithoutADomain(const TemporaryDirectory& folder) {
    TemporaryDirectory home;
    setenv("KRB5CCNAME", ("FILE:" + home.path() + "/no-ticket").c_str(), 1);
    setenv("LUMIVEL_LDAP_CONNECT_TIMEOUT", "2", 1);
    const char* bin = std::getenv("LUMIVEL_BIN_DIR");
    if (!bin) {
        lumivel::testing::ChildResult unset;
        unset.exitCode = 0xFFFFFFFF;
        unset.output = "LUMIVEL_BIN_DIR is not set";
        return unset;
    }
    return lumivel::testing::RunChild(u"\"" + lumivel::FromUtf8(bin) + u"/Taxonis\" \"" + folder.wide() + u"/\"",
                                      120000);
}

TEST(Program, AFailedWalkExitsWithZeroAndWritesNothing) {
    TemporaryDirectory folder;
    const auto result = RunWithoutADomain(folder);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(result.output, "");
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

}  // namespace
}  // namespace taxonis
