#include "bench/common/run_cost.h"

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// A DC's stat line as Linux writes it: utime 1234 and stime 566 ticks.
constexpr char kStat[] =
    "31600 (samba) S 1 31600 31600 0 -1 4194560 90172 0 0 0 1234 566 0 0 20 0 1 0 1000 999424 100 18446744073709551615";

TEST(RunCostTest, ProcessorTimeIsUserAndSystemTicks) {
    EXPECT_DOUBLE_EQ(*bench::CpuSecondsOfStatLine(kStat, 100), 18.0);
    // The name is the program's to choose: spaces and parentheses in it move no field.
    std::string odd = kStat;
    odd.replace(odd.find("(samba)"), 7, "(sa) S 9 9 (mba)");
    EXPECT_DOUBLE_EQ(*bench::CpuSecondsOfStatLine(odd, 100), 18.0);
}

TEST(RunCostTest, UnreadableLinesGiveNothing) {
    EXPECT_FALSE(bench::CpuSecondsOfStatLine("", 100));
    EXPECT_FALSE(bench::CpuSecondsOfStatLine("31600 samba S 1", 100));
    EXPECT_FALSE(bench::CpuSecondsOfStatLine("31600 (samba) S 1 2 3", 100));
    std::string garbled = kStat;
    garbled.replace(garbled.find("1234"), 4, "12x4");
    EXPECT_FALSE(bench::CpuSecondsOfStatLine(garbled, 100));
    EXPECT_FALSE(bench::CpuSecondsOfStatLine(kStat, 0));
}

TEST(RunCostTest, AProcessThatIsGoneHasNoProcessorTime) {
    EXPECT_TRUE(bench::ProcessCpuSeconds(getpid()));
    EXPECT_FALSE(bench::ProcessCpuSeconds(0));
    // A run measured against no DC still has its own figures, and says the DC's are unknown.
    bench::RunCost cost(0);
    bench::RunFigures figures = cost.stop();
    EXPECT_FALSE(figures.dcCpu);
    EXPECT_NE(bench::DescribeCost(figures).find("DC CPU unknown"), std::string::npos);
}

}  // namespace
