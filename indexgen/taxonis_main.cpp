// Taxonis: writes the schema index files when they are missing, empty or older than the
// schema's last change. It shows nothing and always exits with 0; whoever started it learns
// the outcome from the files.
#include "indexgen/output_directory.h"
#include "indexgen/schema_walk.h"
#include "schemacache/index_format.h"
#include "schemacache/index_freshness.h"
#include "schemacache/index_location.h"
#include "schemacache/index_writer.h"
#include "win/com.h"

int main(int argc, char** argv) {
    CoInitialize(nullptr);
    const std::u16string directory =
        taxonis::OutputDirectory(taxonis::CommandTail(argc, argv), glossar::DirectoryOf(glossar::ModuleFileName(nullptr)));
    if (glossar::IndexNeedsRebuild(directory, glossar::SchemaChangeTime())) {
        taxonis::IndexLists lists;
        if (taxonis::WalkSchema(&lists)) {
            glossar::IndexFileWriter writer(directory);
            if (writer.stage(glossar::kClassIndexFile, lists.classes) &&
                writer.stage(glossar::kAttributeIndexFile, lists.attributes))
                writer.commit();
        }
    }
    CoUninitialize();
    return 0;
}
