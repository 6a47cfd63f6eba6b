// Reading back a file the command line keeps for its user (a saved listing, the completion
// cache): only when it is what the user's own runs write there.
#pragma once

#include <sys/types.h>

#include <string>

namespace lumivel_cli {

// The whole file into text, when it is a regular file (no link) owned by the user that nobody
// else may read or write, of at most longest bytes; otherwise which of those it is not.
enum class PrivateFileRead { Read, Missing, Unopened, NotPrivate, Unreadable };
PrivateFileRead ReadPrivateFile(const std::string& path, off_t longest, std::string* text);

}  // namespace lumivel_cli
