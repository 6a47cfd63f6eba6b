// Starting the schema index generator from the schema cache when the index files cannot be
// loaded, and waiting for it with a bound.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "win/types.h"

namespace glossar {

// The generator's program file, beside the schema cache's module.
inline constexpr char16_t kGeneratorProgram[] = u"Taxonis";
inline constexpr int kGeneratorPolls = 250;
inline constexpr DWORD kGeneratorPollMilliseconds = 500;

// Told what happens while a caller waits for the generator, so that a console can show that
// the schema index is being built instead of looking frozen.
class GeneratorWatch {
public:
    virtual ~GeneratorWatch() = default;
    // The generator runs (or could not be started: then Ended follows at once).
    virtual void Started() {}
    // Called many times a second while the generator runs; the place to keep a window alive.
    virtual void Waiting(int poll, int polls) { (void)poll, (void)polls; }
    // The wait is over: the load after the generator succeeded or not.
    virtual void Ended(bool loaded) { (void)loaded; }
};

struct GeneratorTiming {
    int polls = kGeneratorPolls;
    DWORD pollMilliseconds = kGeneratorPollMilliseconds;
};

// A double quote, the module directory, the program name, a double quote: no arguments, so
// the generator writes where the cache reads.
std::u16string GeneratorCommandLine(std::u16string_view moduleDirectory);

// Starts the generator beside the module and polls, at most timing.polls times and
// timing.pollMilliseconds apart, whether it has ended; once it has, runs load once and returns
// its answer. A generator that could not be started counts as ended at once. One still running
// after the last poll is left running and false is returned. The generator's exit code is not
// looked at: the load tells whether it did its work.
bool StartGeneratorAndLoad(std::u16string_view moduleDirectory, const std::function<bool()>& load,
                           GeneratorWatch* watch = nullptr, GeneratorTiming timing = {});

// Keeps the calling thread's windows and posted work alive: what a waiting console thread
// must do between polls.
void PumpThreadMessages();

}  // namespace glossar
