// `lumivel jobs`: the work items of the task scheduler, through its COM interfaces.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/types.h"

namespace lumivel_cli {

struct JobRow {
    std::string name;
    std::string object;    // the DN its backup script names, else its program and parameters
    std::string schedule;  // its triggers in words
    std::string nextRun;
    std::string lastRun;
    std::string result;
};

// Every work item of the task folder; an HRESULT failure when the folder cannot be read.
HRESULT ListJobs(std::vector<JobRow>* rows);

// One work item, as ListJobs describes it.
HRESULT DescribeJob(const std::u16string& name, JobRow* row);

HRESULT DeleteJob(const std::u16string& name);
// Asks the scheduler service to run the job now.
HRESULT RunJob(const std::u16string& name);

}  // namespace lumivel_cli
