// Where the generator writes the index files.
#pragma once

#include <string>
#include <string_view>

namespace taxonis {

// The command-line tail: the program's arguments as the shell passed them, joined by single
// blanks, so that a directory holding blanks may be given quoted or not.
std::u16string CommandTail(int argc, char** argv);

// The tail taken verbatim, file names appended to it directly (a directory is meant with its
// final "/"); an empty tail selects the index directory beside the program, by the same rule
// the schema cache reads from.
std::u16string OutputDirectory(std::u16string_view tail, std::u16string_view programDirectory);

}  // namespace taxonis
