// Points the registry at fresh hive files in a temporary folder for the whole test program,
// so that no test touches the user's real registry.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace lumivel::test {

class TemporaryHives : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/lumivel-com-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
        setenv("LUMIVEL_MACHINE_HIVE", (m_folder / "machine.hive").c_str(), 1);
        setenv("LUMIVEL_USER_HIVE", (m_folder / "user.hive").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

private:
    std::filesystem::path m_folder;
};

}  // namespace lumivel::test
