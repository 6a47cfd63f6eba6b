// Reading picture files for LoadImageW(LR_LOADFROMFILE).
#pragma once

#include <optional>
#include <vector>

#include "win/types.h"

namespace lumivel::gfx {

// Largest picture file read; a bigger one is refused before anything is allocated for it.
inline constexpr LONGLONG kMaxImageFileBytes = LONGLONG(64) << 20;

// The bytes of a local or UNC file, or nothing with the last error set (the file's own
// error, or ERROR_INVALID_DATA for a file too large to be a picture).
std::optional<std::vector<BYTE>> ReadImageFile(LPCWSTR path);

}  // namespace lumivel::gfx
