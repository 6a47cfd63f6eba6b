#include "cli/output_schemas.h"

namespace lumivel_cli {

namespace {

using K = FieldKind;

const std::vector<Column> kJobColumns = {
    {"name", K::Text},      {"object", K::Text}, {"schedule", K::Text}, {"nextRun", K::Time},
    {"nextRunState", K::Text}, {"lastRun", K::Time}, {"result", K::Text},
};
const std::vector<TableColumn> kJobTable = {{"name", "Name"},         {"object", "Object"},     {"schedule", "Schedule"},
                                            {"nextRun", "Next run"}, {"lastRun", "Last run"}, {"result", "Result"}};

}  // namespace

const RecordSchema kDomainsSchema = {
    "domains", 1, "domains",
    {{"name", K::Text}, {"domain", K::Text}, {"domainController", K::Text}, {"namingContext", K::Text},
     {"controllerSite", K::Text}, {"clientSite", K::Text}},
    {{"name", "Name"}, {"domain", "Domain"}, {"domainController", "Domain controller"}, {"controllerSite", "DC site"},
     {"clientSite", "Client site"}}};

// The first eight keys are those of the listings scripts have cut by field number; new keys
// go after them.
const RecordSchema kListSchema = {
    "list", 1, "tombstones",
    {{"name", K::Text}, {"lastKnownParent", K::Text}, {"class", K::Text}, {"dateDeleted", K::Time},
     {"deletedUtc", K::Time}, {"guid", K::Text}, {"tombstoneName", K::Text}, {"tombstone", K::Text},
     {"expires", K::Time}, {"expiresUtc", K::Time}},
    {{"name", "Name"}, {"lastKnownParent", "Last Known Parent"}, {"class", "Class"}, {"dateDeleted", "Date Deleted"},
     {"expires", "Expires"}, {"guid", "GUID"}, {"tombstone", "Tombstone"}}};

const RecordSchema kRestoreSchema = {
    "restore", 1, "results",
    {{"requested", K::Text}, {"outcome", K::Text}, {"name", K::Text}, {"guid", K::Text}, {"tombstone", K::Text},
     {"dn", K::Text}, {"parent", K::Text}, {"renamedFrom", K::Text}, {"reason", K::Text}, {"reapplied", K::List}},
    {{"outcome", "Outcome"}, {"name", "Name"}, {"dn", "DN"}, {"reason", "Reason"}}};

const RecordSchema kDryRunSchema = {
    "restore", 1, "plans",
    {{"requested", K::Text}, {"found", K::Flag}, {"mayReanimate", K::Flag}, {"rights", K::Text},
     {"missingParent", K::Text}, {"objects", K::List}},
    {}};

const RecordSchema kDryRunStepSchema = {
    "restore", 1, "steps",
    {{"requested", K::Text}, {"found", K::Flag}, {"mayReanimate", K::Flag}, {"missingParent", K::Text},
     {"name", K::Text}, {"class", K::Text}, {"tombstone", K::Text}, {"target", K::Text}, {"deletedParent", K::Flag},
     {"nameTaken", K::Flag}, {"mayCreate", K::Flag}, {"expiresUtc", K::Time}},
    {}};

const RecordSchema kBackupSchema = {"backup", 1, "archives",
                                    {{"path", K::Text}, {"server", K::Text}, {"objects", K::List}},
                                    {{"path", "Archive"}, {"server", "Domain controller"}}};

const RecordSchema kBackupsSchema = {
    "backups", 1, "archives",
    {{"name", K::Text}, {"path", K::Text}, {"date", K::Time}, {"origin", K::Text}, {"objects", K::Count},
     {"holdsObject", K::Flag}, {"trusted", K::Flag}, {"distrust", K::Text}},
    {{"name", "File"}, {"date", "Date"}, {"origin", "Origin"}, {"objects", "Objects"}, {"holdsObject", "Holds object"},
     {"distrust", "Not trusted because"}}};

const RecordSchema kScheduleSchema = {"schedule", 1, "jobs", kJobColumns, kJobTable};
const RecordSchema kJobsSchema = {"jobs", 1, "jobs", kJobColumns, kJobTable};

const RecordSchema kLogSchema = {
    "log", 1, "entries",
    {{"time", K::Time}, {"principal", K::Text}, {"command", K::Text}, {"object", K::Text}, {"guid", K::Text},
     {"dc", K::Text}, {"result", K::Text}, {"error", K::Text}},
    {{"time", "Time"}, {"principal", "Principal"}, {"command", "Command"}, {"object", "Object"},
     {"dc", "Domain controller"}, {"result", "Result"}, {"error", "Error"}}};

const RecordSchema kConfigSchema = {"config", 1, "settings",
                                    {{"setting", K::Text}, {"value", K::Text}, {"origin", K::Text}},
                                    {{"setting", "Setting"}, {"value", "Value"}, {"origin", "From"}}};

const std::vector<const RecordSchema*>& AllSchemas() {
    static const std::vector<const RecordSchema*> all = {&kDomainsSchema, &kListSchema,    &kRestoreSchema,
                                                         &kDryRunSchema,  &kDryRunStepSchema, &kBackupSchema,
                                                         &kBackupsSchema, &kScheduleSchema, &kJobsSchema,
                                                         &kLogSchema,     &kConfigSchema};
    return all;
}

}  // namespace lumivel_cli
