// Taxonis: writes the schema index files when they are missing, empty or older than the
// schema's last change. It shows nothing and always exits with 0; whoever started it learns
// the outcome from the files.
#include "indexgen/index_update.h"
#include "indexgen/output_directory.h"
#include "indexgen/schema_walk.h"
#include "schemacache/index_freshness.h"
#include "schemacache/index_location.h"
#include "win/com.h"

int main(int argc, char** argv) {
    CoInitialize(nullptr);
    const std::u16string directory =
        taxonis::OutputDirectory(taxonis::CommandTail(argc, argv), glossar::DirectoryOf(glossar::ModuleFileName(nullptr)));
    taxonis::UpdateIndex(directory, glossar::SchemaChangeTime(), taxonis::WalkSchema);
    CoUninitialize();
    return 0;
}
