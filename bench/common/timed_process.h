// Timing programs that benchmarks hold the product against.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// Runs the program (found on PATH) with its output thrown away and returns the seconds it
// took; negative when it could not run or did not exit with 0.
double TimeProcess(const std::vector<std::string>& words);

struct ProcessRun {
    double seconds = -1;      // negative: it could not run or did not exit with 0
    long peakKilobytes = 0;   // its peak resident memory
};
ProcessRun RunProcess(const std::vector<std::string>& words);

// The 1-, 5- and 15-minute load averages; nothing when they cannot be read.
std::optional<std::array<double, 3>> LoadAverages();

// The load averages and the number of cores, for beside the figures: others share the machine.
std::string MachineLoad();

// ldapsearch doing the Deleted Objects listing of the domain: one level, the show-deleted
// control, pages of 1000, the six attributes of the listing; on the server given.
std::vector<std::string> TombstoneLdapsearch(const std::string& server, const std::string& baseDn);

}  // namespace bench
