// `lumivel schedule`: the "Perform Backup" dialog's "&Schedule" and its form, answered from the
// command line, so that the settings and their checks are the form's own.
#pragma once

#include <string>

#include "cli/cli_arguments.h"
#include "win/user.h"

namespace lumivel_cli {

// Works the schedule form (a property sheet on page 1014) with the request and confirms it.
void FillScheduleForm(HWND sheet, const ScheduleRequest& request, const std::u16string& password);

// The password for the account: the first line of the file, else asked twice on the
// terminal without echo. False with a message when there is none to be had.
bool ReadPassword(const ScheduleRequest& request, std::u16string* password, std::string* problem);

// Overwrites a password before its memory goes back.
void Forget(std::u16string& password);

}  // namespace lumivel_cli
