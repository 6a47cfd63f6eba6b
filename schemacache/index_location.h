// Where the files that live "beside the module" are kept on this platform: the schema index
// files, and the image lists of the schema cache.
//
// The installation directory is usually not writable by the users who run the console, so the
// first of these directories in which this process can create files is taken:
//   1. the module's own directory, unless it lies below /usr (an installed package's);
//   2. the machine's cache directory, $LUMIVEL_MACHINE_CACHE or /var/cache/lumivel;
//   3. the user's cache directory, $XDG_CACHE_HOME/lumivel (default ~/.cache/lumivel).
// The two cache directories are created when missing. When none is writable the module's
// directory stands, so that files placed there are still read. The generator, started by the
// cache, runs as the same user beside the same module and so finds the same directory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"

namespace glossar {

// The module's full path, however long; empty when it cannot be read. A null module is the
// program.
std::u16string ModuleFileName(HMODULE module);
// The path cut after its last separator ("/" or "\"), the separator kept; empty without one.
std::u16string DirectoryOf(std::u16string_view path);
// The directory of the module that holds the given address ("/" at the end).
std::u16string ModuleDirectoryOf(const void* address);

// The candidate directories in order, each ending in a separator.
std::vector<std::u16string> FileLocationCandidates(std::u16string_view moduleDirectory);
// The directory for the files of the module in moduleDirectory, as described above.
std::u16string FileLocation(std::u16string_view moduleDirectory);

}  // namespace glossar
