#include "indexgen/index_update.h"

#include "schemacache/index_format.h"
#include "schemacache/index_freshness.h"
#include "schemacache/index_writer.h"

namespace taxonis {

UpdateResult UpdateIndex(const std::u16string& directory, const FILETIME& schemaTime,
                         const std::function<bool(IndexLists*)>& walk) {
    if (!glossar::IndexNeedsRebuild(directory, schemaTime)) return UpdateResult::Current;
    IndexLists lists;
    if (!walk(&lists)) return UpdateResult::WalkFailed;
    glossar::IndexFileWriter writer(directory);
    if (!writer.stage(glossar::kClassIndexFile, lists.classes) ||
        !writer.stage(glossar::kAttributeIndexFile, lists.attributes) || !writer.commit())
        return UpdateResult::WriteFailed;
    return UpdateResult::Written;
}

}  // namespace taxonis
