// What every program of the product answers to --help and --version, alone on its command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel {

// "regsvr (Tarvo Lumivel) 1.0.2" and a line feed.
LUMIVEL_EXPORT std::string ProgramVersionText(std::string_view program);

// When the one argument is --help (-h) or --version: prints the usage or the version on
// standard output and gives the exit status (1 when it could not be written); otherwise
// nothing, and the program reads its arguments as it always has.
LUMIVEL_EXPORT std::optional<int> AnswerHelpOrVersion(int argc, char** argv, std::string_view program,
                                                      std::string_view usage);

}  // namespace lumivel
