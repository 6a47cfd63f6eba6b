// Helpers of the index-file tests: a private folder, raw UTF-16 files, directory listings.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lumivel/text.h"
#include "tests/support/temporary_directory.h"

namespace glossar::testing {

using lumivel::testing::TemporaryDirectory;

// The folder as the schema cache's code names directories: with its final separator.
inline std::u16string DirectoryOf(const TemporaryDirectory& folder) { return folder.wide() + u"/"; }

inline std::vector<unsigned char> Utf16(std::u16string_view text, bool byteOrderMark = true) {
    std::vector<unsigned char> bytes;
    if (byteOrderMark) bytes = {0xFF, 0xFE};
    for (char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

inline void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace glossar::testing
