// `lumivel config`: the settings in effect for this user on this machine, and where each
// comes from.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_arguments.h"
#include "cli/record_output.h"

namespace lumivel_cli {

struct EffectiveSetting {
    std::string setting;
    std::string value;
    std::string origin;
};

// The settings as the provider and the platform take them, in the order lumivel.conf(5)
// lists them, with the restricted attributes' file last.
std::vector<EffectiveSetting> EffectiveSettings();

int RunConfig(const Arguments& arguments);

}  // namespace lumivel_cli
