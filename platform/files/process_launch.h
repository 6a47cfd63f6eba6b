// A child process about to start, and its start under confinement (files area only).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "lumivel/confined_process.h"

namespace lumivel {

// What CreateProcessW has made of its arguments: the program found, argv and, when the caller
// gave one, the environment.
struct ProcessLaunch {
    std::string program;
    std::vector<std::string> arguments;
    std::optional<std::vector<std::string>> environment;
    std::optional<std::string> directory;
};

// Starts the launch as confinement says. 0 with *pid set, or the errno of the step that failed
// with the step's name in *failedStep; a child that failed has been waited for.
int SpawnConfined(const ProcessLaunch& launch, const ProcessConfinement& confinement, pid_t* pid,
                  std::string* failedStep);

}  // namespace lumivel
