// Private registry hives for a whole test program, so that no test reads or writes the
// user's own registry: register once with
//
//     const auto* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace lumivel::testing {

// Points LUMIVEL_MACHINE_HIVE and LUMIVEL_USER_HIVE at fresh files in a private folder, and the
// user's cache (XDG_CACHE_HOME, where the index of backup archives lives) below it, and removes
// the folder at the end; with Com::Initialize the program's main thread also holds an apartment
// for as long.
class PrivateHives : public ::testing::Environment {
public:
    enum class Com { Initialize, Leave };
    explicit PrivateHives(Com com = Com::Leave) : m_com(com) {}

    void SetUp() override;
    void TearDown() override;

    const std::string& folder() const { return m_folder; }

private:
    Com m_com;
    std::string m_folder;
};

}  // namespace lumivel::testing
