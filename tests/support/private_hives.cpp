#include "tests/support/private_hives.h"

#include <cstdlib>

#include "tests/support/temporary_directory.h"
#include "win/com.h"

namespace lumivel::testing {

void PrivateHives::SetUp() {
    std::string pattern = "/tmp/lumivel-hives-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_folder = pattern;
    setenv("LUMIVEL_MACHINE_HIVE", (m_folder + "/machine.hive").c_str(), 1);
    setenv("LUMIVEL_USER_HIVE", (m_folder + "/user.hive").c_str(), 1);
    setenv("XDG_CACHE_HOME", (m_folder + "/cache").c_str(), 1);
    if (m_com == Com::Initialize) {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
}

void PrivateHives::TearDown() {
    if (m_com == Com::Initialize) CoUninitialize();
    if (!m_folder.empty()) RemoveTree(m_folder);
}

}  // namespace lumivel::testing
