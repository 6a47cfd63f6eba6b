// Every program of the product answers --help and --version alone, on standard output, with
// exit status 0, and a mistake on its command line fails.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/child_process.h"

namespace {

using lumivel::testing::RunShell;
using lumivel::testing::ShellOptions;
using lumivel::testing::ShellQuote;

std::string program(const char* name) {
    const char* folder = std::getenv("LUMIVEL_BIN_DIR");
    return ShellQuote(std::string(folder ? folder : ".") + "/" + name);
}

TEST(ProgramOptionsTest, EveryProgramAnswersHelpAndVersion) {
    struct Row {
        const char* path;
        const char* name;
        const char* usage;  // how its help begins
    } rows[] = {
        {"lumivel", "lumivel", "usage: lumivel"},
        {"lumivel-scheduler", "lumivel-scheduler", "usage: lumivel-scheduler"},
        {"regsvr", "regsvr", "Usage: regsvr"},
        {"reg", "reg", "Usage:"},
        {"System32/wscript", "wscript", "usage: wscript"},
        {"Taxonis", "Taxonis", "usage: Taxonis"},
    };
    ShellOptions apart;
    apart.errors = lumivel::testing::ErrorStream::Apart;
    for (const Row& row : rows) {
        auto version = RunShell(program(row.path) + " --version", apart);
        EXPECT_EQ(version.exitCode, 0u) << row.name << version.errors;
        EXPECT_EQ(version.output.rfind(std::string(row.name) + " (Tarvo Lumivel) ", 0), 0u) << version.output;
        EXPECT_EQ(version.output.find('\n'), version.output.size() - 1) << version.output;
        auto help = RunShell(program(row.path) + " --help", apart);
        EXPECT_EQ(help.exitCode, 0u) << row.name << help.errors;
        EXPECT_EQ(help.output.rfind(row.usage, 0), 0u) << row.name << ": " << help.output;
        EXPECT_TRUE(help.errors.empty()) << row.name << help.errors;
        // Help that cannot be written is no success.
        EXPECT_NE(RunShell(program(row.path) + " --help >/dev/full").exitCode, 0u) << row.name;
    }
    // An option none of them knows is a mistake, not a file or folder to work on.
    for (const char* path : {"lumivel-scheduler", "regsvr", "System32/wscript"}) {
        auto wrong = RunShell(program(path) + " --frobnicate", apart);
        EXPECT_NE(wrong.exitCode, 0u) << path;
        EXPECT_TRUE(wrong.output.empty()) << path << wrong.output;
    }
}

}  // namespace
