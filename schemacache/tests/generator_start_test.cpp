#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "schemacache/generator_start.h"
#include "schemacache/tests/index_test_support.h"

namespace glossar {
namespace {

using testing::TemporaryDirectory;

struct CountingWatch : GeneratorWatch {
    int started = 0, waiting = 0, ended = 0;
    bool loaded = false;
    void Started() override { ++started; }
    void Waiting(int, int) override { ++waiting; }
    void Ended(bool result) override {
        ++ended;
        loaded = result;
    }
};

// A stand-in generator beside a module: a script that runs for a while and leaves a mark in
// its own directory.
std::u16string InstallGenerator(const TemporaryDirectory& folder, const std::string& subfolder, double seconds) {
    const std::string directory = folder.path() + "/" + subfolder + "/";
    std::filesystem::create_directories(directory);
    testing::WriteBytes(directory + "Taxonis", {});
    std::ofstream(directory + "Taxonis") << "#!/bin/sh\nsleep " << seconds << "\necho ran > \"$(dirname \"$0\")/ran\"\n";
    chmod((directory + "Taxonis").c_str(), 0755);
    return lumivel::FromUtf8(directory);
}

TEST(GeneratorStart, CommandLineNamesTheProgramBesideTheModule) {
    EXPECT_EQ(GeneratorCommandLine(u"/opt/lumivel/"), u"\"/opt/lumivel/Taxonis\"");
}

TEST(GeneratorStart, LoadsAgainOnceTheGeneratorHasEnded) {
    TemporaryDirectory folder;
    // A blank in the directory: the command line's quotes keep it one program name.
    const std::u16string module = InstallGenerator(folder, "with blank", 0.3);
    CountingWatch watch;
    int loads = 0;
    bool sawMark = false;
    const bool loaded = StartGeneratorAndLoad(module, [&] {
        ++loads;
        sawMark = std::filesystem::exists(folder.path() + "/with blank/ran");
        return true;
    }, &watch);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(loads, 1);
    EXPECT_TRUE(sawMark);
    EXPECT_EQ(watch.started, 1);
    EXPECT_GT(watch.waiting, 0);
    EXPECT_EQ(watch.ended, 1);
    EXPECT_TRUE(watch.loaded);
}

TEST(GeneratorStart, AGeneratorThatCannotStartMeansLoadingAtOnce) {
    TemporaryDirectory folder;
    CountingWatch watch;
    int loads = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(StartGeneratorAndLoad(folder.wide() + u"/", [&] { return ++loads, false; }, &watch));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(watch.waiting, 0);
    EXPECT_EQ(watch.ended, 1);
    EXPECT_FALSE(watch.loaded);
}

TEST(GeneratorStart, TheWaitIsBoundedByItsPolls) {
    TemporaryDirectory folder;
    const std::u16string module = InstallGenerator(folder, "slow", 1.5);
    CountingWatch watch;
    int loads = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(StartGeneratorAndLoad(module, [&] { return ++loads, true; }, &watch, GeneratorTiming{3, 100}));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_LT(waited, std::chrono::milliseconds(1200));
    EXPECT_EQ(loads, 0);
    EXPECT_EQ(watch.ended, 1);
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "/slow/ran"));
}

}  // namespace
}  // namespace glossar
