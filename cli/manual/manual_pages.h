// The manual pages of the command line and the scheduler, made from the tables and texts
// that also answer their --help, so that the two never tell different stories.
#pragma once

#include <string>

namespace lumivel_cli {

// lumivel(1): a section per sub-command with its synopsis, description and every option.
std::string LumivelManualPage();
// lumivel-scheduler(8).
std::string SchedulerManualPage();

// The product's version as --version names it ("1.0.2").
std::string ProductVersion();

}  // namespace lumivel_cli
