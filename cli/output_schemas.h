// The records each sub-command prints, one schema each: the keys of its JSON and TSV, the
// columns of its table, and the version a script checks. cli/json_schemas.md documents them;
// a schema that changes what a key means gets a new version, one that only adds keys does not.
#pragma once

#include <vector>

#include "cli/record_output.h"

namespace lumivel_cli {

extern const RecordSchema kDomainsSchema;
extern const RecordSchema kListSchema;
extern const RecordSchema kRestoreSchema;
extern const RecordSchema kDryRunSchema;      // restore --dry-run: the plans
extern const RecordSchema kDryRunStepSchema;  // the same as TSV rows: one per object of a plan
extern const RecordSchema kBackupSchema;
extern const RecordSchema kBackupsSchema;
extern const RecordSchema kScheduleSchema;
extern const RecordSchema kJobsSchema;
extern const RecordSchema kLogSchema;
extern const RecordSchema kConfigSchema;

// Every schema above, for the documentation check.
const std::vector<const RecordSchema*>& AllSchemas();

}  // namespace lumivel_cli
