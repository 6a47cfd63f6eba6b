// Every provider test runs on private registry hives and a private cache folder in a temporary
// folder, never the user's.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace revivo_test {

class PrivateHives : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/revivo-test-XXXXXX";
        const char* folder = mkdtemp(pattern);
        ASSERT_NE(folder, nullptr);
        m_folder = folder;
        setenv("LUMIVEL_MACHINE_HIVE", (m_folder + "/machine.hive").c_str(), 1);
        setenv("LUMIVEL_USER_HIVE", (m_folder + "/user.hive").c_str(), 1);
        // The index of backup archives is the user's cache: kept with the hives.
        setenv("XDG_CACHE_HOME", (m_folder + "/cache").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

private:
    std::string m_folder;
};

}  // namespace revivo_test
