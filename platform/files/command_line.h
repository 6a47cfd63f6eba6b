// Windows command lines (files area only).
#pragma once

#include <string>
#include <vector>

namespace lumivel {

// Splits a command line as the Windows C runtime does: the first token ends at a blank
// outside quotes and takes no escapes; later ones treat 2n backslashes before a quote as n
// backslashes and a delimiter, 2n+1 as n and a literal quote, and "" inside quotes as a quote.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

// Quotes arguments so that SplitCommandLine gives them back.
std::u16string JoinCommandLine(const std::vector<std::u16string>& arguments);

}  // namespace lumivel
