// Writing the schema index files so that a reader only ever sees a whole old file or a whole
// new one.
#pragma once

#include <string>
#include <vector>

#include "schemacache/file_replacement.h"

namespace glossar {

// Each list goes into a temporary file created exclusively beside its target; only when every
// list is written are the temporaries renamed over the old files, so a failed or killed
// generator leaves the old files as they were. Temporaries not committed are removed.
class IndexFileWriter {
public:
    // The file names are appended to the directory as it stands.
    explicit IndexFileWriter(std::u16string directory) : m_directory(std::move(directory)) {}
    IndexFileWriter(const IndexFileWriter&) = delete;
    IndexFileWriter& operator=(const IndexFileWriter&) = delete;

    // Writes the records (without line ends) into a temporary file for fileName. An empty
    // list writes nothing and leaves an existing file alone. False when the temporary could
    // not be written.
    bool stage(std::u16string_view fileName, const std::vector<std::u16string>& records);
    // Renames every staged file over its target (a read-only target loses that bit first).
    // False when one of them could not be replaced; it keeps its old content.
    bool commit();

    // The bytes of an index file holding these records.
    static std::vector<unsigned char> Encode(const std::vector<std::u16string>& records);

private:
    std::u16string m_directory;
    std::vector<FileReplacement> m_staged;
};

}  // namespace glossar
