// The pseudo-terminal runner: a program sees a terminal, gets what is typed, and one that
// waits for input is stopped at the limit instead of hanging the test.
#include <gtest/gtest.h>

#include "tests/support/pseudo_terminal.h"

namespace {

using lumivel::testing::RunOnTerminal;
using namespace std::chrono_literals;

TEST(PseudoTerminalTest, TheProgramSeesATerminalAndWhatIsTyped) {
    auto typed = RunOnTerminal({"/bin/sh", "-c", "test -t 0 && test -t 2 && read line && echo \"got $line\"; exit 3"},
                               10s, "hello\n");
    EXPECT_FALSE(typed.timedOut);
    EXPECT_EQ(typed.exitCode, 3);
    EXPECT_NE(typed.output.find("got hello"), std::string::npos) << typed.output;

    auto waiting = RunOnTerminal({"/bin/sh", "-c", "read line; echo never"}, 500ms);
    EXPECT_TRUE(waiting.timedOut);
    EXPECT_EQ(waiting.output.find("never"), std::string::npos);

    EXPECT_EQ(RunOnTerminal({"/nonexistent/program"}, 10s).exitCode, 127);
}

}  // namespace
