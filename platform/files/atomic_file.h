// Files that appear whole or not at all (files area and its neighbours in libplatform).
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel {

enum class ExistingFile { Keep, Replace };

// Writes the bytes to a temporary file created exclusively beside `path` (never through a
// link), with the mode given, flushes it and renames it to `path`. With ExistingFile::Keep an
// existing `path` is left alone and ERROR_FILE_EXISTS returned. Nothing is left behind on
// failure. Returns a Win32 error code.
DWORD WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode, ExistingFile existing);

}  // namespace lumivel
