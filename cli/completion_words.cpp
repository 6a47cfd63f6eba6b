#include "cli/completion_words.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "cli/cli_session.h"
#include "cli/private_file.h"
#include "lumivel/temporary_file.h"

namespace lumivel_cli {

namespace {

// A listing holds far fewer; a larger file is not one this program wrote.
constexpr std::streamsize kLongestCache = 64 * 1024 * 1024;
constexpr size_t kLongestWord = 256;

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

bool startsWithNoCase(std::string_view word, std::string_view prefix) {
    return word.size() >= prefix.size() && lowered(word.substr(0, prefix.size())) == lowered(prefix);
}

std::string cacheRoot() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    // A relative value is ignored, as the XDG base directory rules ask.
    if (cache && cache[0] == '/') return std::string(cache) + "/lumivel";
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return {};
    return std::string(home) + "/.cache/lumivel";
}

bool makeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST; }

void printMatching(const std::vector<std::string>& words, std::string_view prefix) {
    for (const std::string& word : words)
        if (IsPlainWord(word) && startsWithNoCase(word, prefix)) std::cout << word << "\n";
}

std::vector<std::string> cachedTombstones(const std::string& domain) {
    const std::string path = ListingCachePath(domain);
    std::vector<std::string> words;
    if (path.empty()) return words;
    std::ifstream file(path, std::ios::binary);
    std::string line;
    std::streamsize read = 0;
    while (file && read < kLongestCache && std::getline(file, line)) {
        read += static_cast<std::streamsize>(line.size()) + 1;
        words.push_back(line);
    }
    return words;
}

}  // namespace

bool IsPlainWord(std::string_view word) {
    // ASCII from a table, as a listing checks a hundred thousand GUIDs; other bytes as the
    // locale classes them.
    static constexpr std::array<bool, 128> kPlain = [] {
        std::array<bool, 128> plain{};
        for (int c = 0; c < 128; ++c)
            plain[c] = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' ||
                       c == '-' || c == '_' || c == '@' || c == '{' || c == '}';
        return plain;
    }();
    return !word.empty() && word.size() <= kLongestWord && word.front() != '-' &&
           std::all_of(word.begin(), word.end(),
                       [](unsigned char c) { return c < 128 ? kPlain[c] : std::isalnum(c) != 0; });
}

std::string SafeFileName(const std::string& text) {
    if (text.empty()) return {};
    std::string name;
    for (unsigned char c : lowered(text)) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
            name += static_cast<char>(c);
        } else {
            static constexpr char kHex[] = "0123456789abcdef";
            name += '%';
            name += kHex[c >> 4];
            name += kHex[c & 15];
        }
    }
    // A name that begins with a dot could be "." or ".."; the prefix keeps it a file here.
    if (name.front() == '.') name = "%2e" + name.substr(1);
    return name.substr(0, 200);
}

std::string ListingCachePath(const std::string& domain) {
    const std::string root = cacheRoot();
    if (root.empty() || domain.empty()) return {};
    return root + "/tombstones/" + SafeFileName(domain);
}

void RememberListing(const std::string& domain, std::string_view guidLines) {
    const std::string path = ListingCachePath(domain);
    if (path.empty()) return;
    const std::string root = cacheRoot();
    if (!makeFolder(root.substr(0, root.rfind('/'))) || !makeFolder(root) || !makeFolder(root + "/tombstones")) return;
    std::string text;
    text.reserve(guidLines.size());
    for (size_t start = 0; start < guidLines.size();) {
        const size_t end = std::min(guidLines.find('\n', start), guidLines.size());
        const std::string_view guid = guidLines.substr(start, end - start);
        if (!guid.empty() && IsPlainWord(guid)) {
            text += guid;
            text += '\n';
        }
        start = end + 1;
    }
    // An unchanged listing leaves the file as it is: writing it again would only wait for the disk.
    std::string held;
    if (ReadPrivateFile(path, kLongestCache, &held) == PrivateFileRead::Read && held == text) return;
    lumivel::WriteFileAtomically(path, text, 0600, lumivel::ExistingFile::Replace);
}

int RunCompletion(const std::vector<std::string>& words) {
    if (!words.empty() && words[0] == "domains" && words.size() <= 2) {
        printMatching(StoredDomainNames(), words.size() == 2 ? words[1] : std::string());
        return 0;
    }
    if (words.size() >= 2 && words.size() <= 3 && words[0] == "tombstones") {
        printMatching(cachedTombstones(words[1]), words.size() == 3 ? words[2] : std::string());
        return 0;
    }
    std::cerr << "lumivel: __complete takes 'domains [PREFIX]' or 'tombstones DOMAIN [PREFIX]'\n";
    return 2;
}

}  // namespace lumivel_cli
