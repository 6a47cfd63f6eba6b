// The two uses of the ZIP engine: packing a backup file and extracting the INF members of a
// backup archive. Paths go to the engine in the ANSI code page.
#pragma once

#include <cstdint>

#include "win/types.h"

namespace revivo {

namespace zip {
class StreamedPack;
}

// Packs one file into a new archive under its bare name, at medium compression and with the
// engine's messages off. The engine's result code, 0 on success; on failure the thread's last
// error says why.
int PackFile(LPCWSTR archivePath, LPCWSTR filePath);

// Starts the same packing for a file that is not written yet: its bytes go to `pack` as they
// are made, into a member named `memberName`, stamped with the time of the start. False
// with the system error when the archive cannot be created.
bool StartPackingStream(zip::StreamedPack& pack, LPCWSTR archivePath, LPCWSTR memberName, DWORD* error);

// Extracts every member matching "*.inf" into the directory under its bare name: 0 on
// success, non-zero (with the last error set) when the archive cannot be read or holds no
// such member. With a limit, members that would unpack to more bytes than it are refused
// before any is written (the engine's kZipOverLimit).
int ExtractInfFiles(LPCWSTR archivePath, LPCWSTR destinationDirectory, uint64_t limitBytes = 0);

}  // namespace revivo
