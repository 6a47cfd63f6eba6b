// `lumivel jobs`: the work items of the task scheduler, through its COM interfaces.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/record_output.h"
#include "win/types.h"

namespace lumivel_cli {

// As the task folder has it, in UTF-8; whoever prints it makes it harmless.
struct JobRow {
    std::string name;
    std::string object;    // the DN its backup script names, else its program and parameters
    std::string schedule;  // its triggers in words
    std::string nextRun;       // local time, or why there is none ("disabled", "none" ...)
    std::string nextRunUtc;    // ISO 8601 UTC; empty when there is no next run
    std::string nextRunState;  // "scheduled", or nextRun's reason
    std::string lastRun;       // local time, or "never"
    std::string lastRunUtc;
    std::string result;
};

// The job as `jobs` and `schedule` print it.
Record JobRecord(const JobRow& row);

// Every work item of the task folder; an HRESULT failure when the folder cannot be read.
HRESULT ListJobs(std::vector<JobRow>* rows);

// One work item, as ListJobs describes it.
HRESULT DescribeJob(const std::u16string& name, JobRow* row);

HRESULT DeleteJob(const std::u16string& name);
// Asks the scheduler service to run the job now.
HRESULT RunJob(const std::u16string& name);

}  // namespace lumivel_cli
