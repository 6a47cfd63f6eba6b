// The provider's ZIP engine, driven by command blocks: function 4 packs files into a new
// archive, function 8 extracts the members matching patterns into a directory under their
// bare names. The engine is started per process and prepared per thread; a command runs on
// the calling thread and finishes before it returns.
//
// Extraction is all or nothing: every member is unpacked into a new file of its own first,
// and only when all are complete do they take their names; should one of them fail to, the
// ones already placed go again and the files they replaced come back. Archives and files to
// pack must be regular files.
#pragma once

#include <cstdint>

#include "win/types.h"

namespace revivo::zip {

inline constexpr int kFunctionPack = 4;
inline constexpr int kFunctionExtract = 8;
inline constexpr int kMediumCompression = 5;

enum class EngineMessages { Shown, Suppressed };

struct ZipCommand {
    int function = 0;
    const char* archive = nullptr;  // paths in the ANSI code page
    // Pack: the files to add, each stored under its bare name. Extract: member patterns with
    // '*' and '?', matched against the whole member name without regard to case.
    const char* const* items = nullptr;
    int itemCount = 0;
    const char* destination = nullptr;  // extract: an existing directory
    int level = kMediumCompression;     // pack: 0 stores, 1-9 deflate
    EngineMessages messages = EngineMessages::Shown;
    // Extract: the most that all chosen members may unpack to together, in bytes; 0 takes
    // LUMIVEL_ZIP_EXTRACT_LIMIT_MB from the environment, else kDefaultExtractLimit.
    uint64_t extractLimit = 0;
};

inline constexpr uint64_t kDefaultExtractLimit = uint64_t(2048) << 20;

// Results of ZipEngineRun.
enum ZipResult : int {
    kZipOk = 0,
    kZipNotStarted = 1,       // no ZipEngineStart, or the thread not prepared
    kZipBadCommand = 2,
    kZipCannotOpenArchive = 3,
    kZipArchiveExists = 4,    // packing only creates new archives
    kZipCannotReadFile = 5,
    kZipCannotWrite = 6,
    kZipCorrupt = 7,          // truncated, inconsistent, or sizes that cannot be true
    kZipUnsupported = 8,      // zip64, split archives, unknown compression
    kZipEncrypted = 9,
    kZipCrcMismatch = 10,
    kZipNoMatch = 11,         // no member matched any pattern
    kZipTooLarge = 12,        // would need zip64
    kZipOutOfMemory = 13,
    kZipDuplicateName = 14,   // two files to pack, or two members to extract, with the same bare name
    kZipBadName = 15,         // a chosen member's name cannot be a file name here
    kZipOverLimit = 16,       // the chosen members would unpack to more than the extraction limit
};

// Reference-counted: every start needs its stop.
void ZipEngineStart();
void ZipEngineStop();
// The calling thread's working state (last error, message switch); nested calls are counted.
void ZipThreadAttach();
void ZipThreadDetach();

int ZipEngineRun(const ZipCommand& command);
// The system error code of the file operation that made the thread's last command fail.
DWORD ZipThreadLastError();

}  // namespace revivo::zip
