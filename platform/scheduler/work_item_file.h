// The contents of a work item file and their text form (scheduler area only).
//
// A work item file is UTF-8 text, one "Key=value" per line after the first line
// "LumivelWorkItem=1". Values escape backslash, control characters and line ends ("\\", "\n",
// "\xHH"), so any text survives. Each trigger is one line of named fields:
//     Trigger=type=weekly begin=2026-03-10 start=09:00 weeks=2 days=0x03
// The run state (last run, exit code, start failure, run requests) is kept by the service in
// the same file. Unknown keys are skipped, so that a file from a newer version still loads; a
// file that is not a work item, or a trigger that SetTrigger would refuse, is invalid whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win/mstask.h"

namespace lumivel::scheduler {

inline constexpr DWORD kDefaultMaxRunTime = 72 * 60 * 60 * 1000;

struct WorkItemRecord {
    std::u16string applicationName;
    std::u16string parameters;
    std::u16string workingDirectory;
    std::u16string comment;
    std::u16string creator;
    // As given to SetAccountInformation; principal is the Kerberos name its keytab holds, empty
    // for the service's own account.
    bool accountSet = false;
    std::u16string account;
    std::string principal;
    std::vector<uint8_t> keytab;  // the account's key (account_keys.h), never its password
    DWORD flags = 0;
    DWORD taskFlags = 0;
    DWORD priority = 0x20;  // NORMAL_PRIORITY_CLASS
    DWORD maxRunTime = kDefaultMaxRunTime;
    WORD idleMinutes = 10;
    WORD idleDeadline = 60;
    WORD retryCount = 0;
    WORD retryInterval = 0;
    std::vector<BYTE> data;
    std::vector<TASK_TRIGGER> triggers;
    // The registry hives of the user who saved the item, which its job runs with.
    std::string userHive;
    std::string machineHive;

    // Run state.
    std::optional<SYSTEMTIME> mostRecentRun;  // local time of the last start
    bool running = false;
    bool hasRun = false;
    DWORD exitCode = 0;
    HRESULT startError = S_OK;  // why the last run did not start, S_OK when it did
    bool terminated = false;    // the last run was stopped before it ended
    // Run() adds one to runRequest; the service runs the item when it differs from runHandled.
    uint64_t runRequest = 0;
    uint64_t runHandled = 0;
    // Terminate() likewise.
    uint64_t terminateRequest = 0;
    uint64_t terminateHandled = 0;
};

std::string EncodeWorkItem(const WorkItemRecord& record);
// nullopt with SCHED_E_INVALID_TASK or SCHED_E_UNKNOWN_OBJECT_VERSION in *error.
std::optional<WorkItemRecord> DecodeWorkItem(std::string_view text, HRESULT* error);

}  // namespace lumivel::scheduler
