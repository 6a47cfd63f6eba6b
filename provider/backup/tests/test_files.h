// Temporary INF files for the backup tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "lumivel/text.h"

namespace revivo::testing {

class TempDirectory {
public:
    TempDirectory() {
        m_path = std::filesystem::temp_directory_path() /
                 ("revivo_backup_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_path);
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::u16string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(m_path / name, std::ios::binary | std::ios::trunc) << bytes;
        return Path(name);
    }
    std::u16string Path(const std::string& name) const { return lumivel::FromUtf8((m_path / name).string()); }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::string Utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

inline constexpr char kInfHeader[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n";

}  // namespace revivo::testing
