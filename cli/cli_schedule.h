// `lumivel schedule`: the "Perform Backup" dialog's "&Schedule" with the schedule form's answers
// given as the keys of command 310's record, checked as the form checks its fields.
#pragma once

#include <optional>
#include <string>

#include "cli/cli_arguments.h"
#include "shared/property_set.h"
#include "shared/schedule_check.h"

namespace lumivel_cli {

// What the form's fields would hold for the request; the views point into the arguments.
lumivel::shared::ScheduleEntries ScheduleEntriesFor(const ScheduleRequest& request, const std::u16string& account,
                                                    const std::u16string& password);

// The form's answers for the request as the keys the provider takes (kScheduleKey ...
// kPasswordKey) on the record; the start time is today at --at. False when memory runs out.
bool PutScheduleAnswers(const ScheduleRequest& request, const std::u16string& password, PropertySet* record);

// The password for the account: the first line of the file, else asked twice on the
// terminal without echo. False with a message when there is none to be had.
bool ReadPassword(const ScheduleRequest& request, std::u16string* password, std::string* problem);

// Overwrites a password before its memory goes back.
void Forget(std::u16string& password);

}  // namespace lumivel_cli
