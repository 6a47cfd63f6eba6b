// The shell runner: what goes in and out of the child arrives whole and apart when asked, the
// environment changes reach it, and a child that does not end is ended at the limit.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/child_process.h"

namespace {

using lumivel::testing::ErrorStream;
using lumivel::testing::RunShell;
using lumivel::testing::ShellOptions;
using namespace std::chrono_literals;

TEST(ChildProcessTest, StreamsTogetherOrApartAndInputWhole) {
    auto together = RunShell("echo out; echo err >&2; exit 3");
    EXPECT_EQ(together.exitCode, 3u);
    EXPECT_EQ(together.output, "out\nerr\n");
    EXPECT_TRUE(together.errors.empty());

    ShellOptions apart;
    apart.errors = ErrorStream::Apart;
    auto split = RunShell("echo out; echo err >&2", apart);
    EXPECT_EQ(split.exitCode, 0u);
    EXPECT_EQ(split.output, "out\n");
    EXPECT_EQ(split.errors, "err\n");

    // Without input the child reads an empty /dev/null, never the test's own standard input.
    EXPECT_EQ(RunShell("cat; test -c /dev/stdin && echo device").output, "device\n");

    // More input and output than a pipe holds, both ways at once: nothing stalls or is lost.
    ShellOptions fed = apart;
    fed.input = std::string(3 << 20, 'x') + "end";
    auto echoed = RunShell("tee /dev/stderr", fed);
    EXPECT_FALSE(echoed.timedOut);
    EXPECT_EQ(echoed.output, *fed.input);
    EXPECT_EQ(echoed.errors, *fed.input);

    // A child that stops reading early fails its writer, not the test.
    fed.input = std::string(1 << 20, 'y');
    auto early = RunShell("head -c 3", fed);
    EXPECT_EQ(early.exitCode, 0u);
    EXPECT_EQ(early.output, "yyy");
}

TEST(ChildProcessTest, EnvironmentChangesReachOnlyTheChild) {
    setenv("LUMIVEL_RUNNER_KEPT", "kept", 1);
    setenv("LUMIVEL_RUNNER_GONE", "there", 1);
    ShellOptions options;
    options.environment = {{"LUMIVEL_RUNNER_NEW", "a b'c"}, {"LUMIVEL_RUNNER_GONE", std::nullopt}};
    auto run = RunShell("echo \"$LUMIVEL_RUNNER_KEPT|$LUMIVEL_RUNNER_NEW|${LUMIVEL_RUNNER_GONE-unset}\"", options);
    EXPECT_EQ(run.output, "kept|a b'c|unset\n");
    EXPECT_STREQ(std::getenv("LUMIVEL_RUNNER_GONE"), "there");
    EXPECT_EQ(std::getenv("LUMIVEL_RUNNER_NEW"), nullptr);
    unsetenv("LUMIVEL_RUNNER_KEPT");
    unsetenv("LUMIVEL_RUNNER_GONE");
}

TEST(ChildProcessTest, TheLimitEndsTheChildAndWhatItStarted) {
    ShellOptions options;
    options.limit = 500ms;
    const auto started = std::chrono::steady_clock::now();
    auto run = RunShell("echo begun; sleep 30 & sleep 30", options);
    EXPECT_TRUE(run.timedOut);
    EXPECT_EQ(run.exitCode, 128u + SIGKILL);
    EXPECT_EQ(run.output.rfind("begun\n", 0), 0u) << run.output;
    EXPECT_NE(run.output.find("killed after 500 ms"), std::string::npos) << run.output;
    // The shell is gone, but what it left in the background holds the output open.
    auto left = RunShell("sleep 30 &", options);
    EXPECT_TRUE(left.timedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);

    auto crashed = RunShell("kill -SEGV $$");
    EXPECT_FALSE(crashed.timedOut);
    EXPECT_EQ(crashed.exitCode, 128u + SIGSEGV);
}

}  // namespace
