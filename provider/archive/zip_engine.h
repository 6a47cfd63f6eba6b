// The provider's ZIP engine, driven by command blocks: function 4 packs files into a new
// archive, function 8 extracts the members matching patterns into a directory under their
// bare names. The engine is started per process and prepared per thread; a command runs on
// the calling thread and finishes before it returns.
#pragma once

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
};

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
    kZipDuplicateName = 14,   // two files to pack with the same bare name
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
