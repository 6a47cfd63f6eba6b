// One run of the generator over an output directory: the freshness rule, the walk, the write.
#pragma once

#include <functional>
#include <string>

#include "indexgen/schema_walk.h"
#include "win/types.h"

namespace taxonis {

enum class UpdateResult { Current, Written, WalkFailed, WriteFailed };

// When the index files in the directory are missing, empty or older than schemaTime, runs the
// walk and, only when it completed, replaces both files with what it collected. Old files stay
// as they were whenever the walk or the write fails.
UpdateResult UpdateIndex(const std::u16string& directory, const FILETIME& schemaTime,
                         const std::function<bool(IndexLists*)>& walk);

}  // namespace taxonis
