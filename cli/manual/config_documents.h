// The machine's configuration file as the package ships it (every key commented out at its
// default, documented in place) and its manual page lumivel.conf(5), both made from the
// platform's table of keys.
#pragma once

#include <string>

namespace lumivel_cli {

std::string ShippedConfigFile();
std::string ConfigManualPage();

}  // namespace lumivel_cli
