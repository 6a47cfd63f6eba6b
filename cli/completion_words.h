// The words shell completion offers that only this user's files know: the stored domains and
// the tombstones of a domain's last full listing, which `list` keeps for it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumivel_cli {

// `lumivel __complete domains [PREFIX]` and `lumivel __complete tombstones DOMAIN [PREFIX]`:
// one word a line, those that begin with PREFIX (without regard to case). Only plain words
// are printed, since a completion script hands them to the shell. Exit status 0, or 2 for
// a request it does not know.
int RunCompletion(const std::vector<std::string>& words);

// Letters, digits and ". - _ @ { }" only: a word no shell reads as anything else.
bool IsPlainWord(std::string_view word);

// The file the listing of a domain (as typed) is kept in: $XDG_CACHE_HOME/lumivel/tombstones/
// (default ~/.cache) and the name in lower case, hex-encoded where it is not plain; empty
// when there is no home to keep it in.
std::string ListingCachePath(const std::string& domain);

// A text as a file name of one folder: in lower case, hex-encoded where it is not plain, never
// "." or "..", at most 200 bytes; empty for an empty text.
std::string SafeFileName(const std::string& text);

// Keeps the tombstones' GUIDs (one a line) for completion; a failure only costs the
// completion, so it is not reported.
void RememberListing(const std::string& domain, std::string_view guidLines);

}  // namespace lumivel_cli
