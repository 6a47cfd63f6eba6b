// `lumivel` alone, with --help, and with mistakes in its command line.
#include "cli/tests/cli_directory_fixture.h"

#include <optional>

namespace lumivel_cli::tests {
namespace {

TEST_F(CommandLineTest, UsageAndMistakes) {
    Outcome help = lumivel({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: lumivel"), std::string::npos);
    for (const char* command : {"domains", "connect", "list", "restore", "backup", "backups"}) {
        Outcome usage = lumivel({command, "--help"});
        EXPECT_EQ(usage.exitCode, 0) << command;
        EXPECT_EQ(usage.out.rfind(std::string("usage: lumivel ") + command, 0), 0u) << command << usage.out;
        EXPECT_TRUE(usage.err.empty()) << command;
    }
    // Alone and without a display (where it would open the console) it is a mistake too: the
    // commands on stderr, nothing a script would take as output.
    Outcome alone = lumivelWith({{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}, {"QT_QPA_PLATFORM", std::nullopt}}, {});
    EXPECT_EQ(alone.exitCode, 2);
    EXPECT_TRUE(alone.out.empty());
    EXPECT_NE(alone.err.find("usage: lumivel"), std::string::npos) << alone.err;
    Outcome missing = lumivel({"list"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_NE(missing.err.find("list takes one DOMAIN"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("usage: lumivel list"), std::string::npos) << missing.err;
    Outcome wrong = lumivel({"purge", m_domain});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("unknown command"), std::string::npos);
    EXPECT_TRUE(wrong.out.empty());
    // Help that cannot be written is no success.
    Outcome full = run(binaryFolder() + "/lumivel --help >/dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("could not be written"), std::string::npos) << full.err;
}

}  // namespace
}  // namespace lumivel_cli::tests
