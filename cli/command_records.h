// The records of `domains`, `backup` and `backups`, by the keys of their schemas.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_session.h"
#include "cli/domain_sites.h"
#include "cli/record_output.h"
#include "shared/property_set.h"

namespace lumivel_cli {

// A stored domain node, with where its controller stands.
Record DomainRecord(const PropertySet* node, const DomainSites& sites);

// The archive a backup stored, the controller it read from and the objects it was asked for.
Record BackupRecord(const std::u16string& archive, const std::u16string& server, const std::vector<std::string>& objects);

Record BackupArchiveRecord(const BackupArchive& archive);

// What `backups` prints besides its records: the folder, and the object asked about.
Json BackupListingFields(const BackupListing& listing, const std::optional<std::string>& object);

}  // namespace lumivel_cli
