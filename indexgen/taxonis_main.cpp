// Taxonis: writes the schema index files when they are missing, empty or older than the
// schema's last change. It shows nothing and always exits with 0; whoever started it learns
// the outcome from the files.
#include "indexgen/index_update.h"
#include "lumivel/program_information.h"
#include "indexgen/output_directory.h"
#include "indexgen/schema_walk.h"
#include "schemacache/index_freshness.h"
#include "schemacache/index_location.h"
#include "win/com.h"

namespace {

constexpr char kUsage[] =
    "usage: Taxonis [DIRECTORY/]\n"
    "Writes the schema index files ClassIndex.txt and AttributeIndex.txt from the forest's\n"
    "schema when they are missing, empty or older than the schema's last change. The argument\n"
    "is taken as it stands and the file names are appended to it; without one the files go\n"
    "where the schema cache reads them. Shows nothing and exits with 0.\n";

}  // namespace

int main(int argc, char** argv) {
    // Only --help or --version alone: any other text is the directory, as it has always been.
    if (std::optional<int> answered = lumivel::AnswerHelpOrVersion(argc, argv, "Taxonis", kUsage)) return *answered;
    CoInitialize(nullptr);
    const std::u16string directory =
        taxonis::OutputDirectory(taxonis::CommandTail(argc, argv), glossar::DirectoryOf(glossar::ModuleFileName(nullptr)));
    taxonis::UpdateIndex(directory, glossar::SchemaChangeTime(), taxonis::WalkSchema);
    CoUninitialize();
    return 0;
}
