// When the generator rewrites the schema index files: when one is missing or empty, or when
// the schema changed after the class index was last written.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace glossar {

// The schema container's whenChanged as a file time (UTC), through the rootDSE's
// configurationNamingContext; zero when any step fails, so the index is never stale by date.
FILETIME SchemaChangeTime();

// The class index is stale when it exists and was last written before the schema time, or is
// empty.
bool ClassIndexIsStale(std::u16string_view directory, const FILETIME& schemaTime);
// The file opens for reading and holds at least one byte.
bool IndexFilePresent(std::u16string_view directory, std::u16string_view fileName);
// Stale, or either file missing or empty: the walk must run and the files be rewritten.
bool IndexNeedsRebuild(std::u16string_view directory, const FILETIME& schemaTime);

}  // namespace glossar
