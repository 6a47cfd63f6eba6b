// Points the registry of every test in this program at throw-away hives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

class TemporaryHives : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/lumivel-base-test-XXXXXX";
        if (!mkdtemp(pattern)) return;
        m_dir = pattern;
        setenv("LUMIVEL_MACHINE_HIVE", (m_dir + "/machine.hive").c_str(), 1);
        setenv("LUMIVEL_USER_HIVE", (m_dir + "/user.hive").c_str(), 1);
    }
    void TearDown() override {
        if (!m_dir.empty()) std::system(("rm -rf '" + m_dir + "'").c_str());
    }

private:
    std::string m_dir;
};

[[maybe_unused]] auto* const kHives = ::testing::AddGlobalTestEnvironment(new TemporaryHives);

}  // namespace
