#include <gtest/gtest.h>

#include "lumivel/registry_key.h"
#include "schemacache/collectors_entry.h"
#include "schemacache/index_location.h"
#include "schemacache/tests/index_test_support.h"
#include "tests/support/private_hives.h"

namespace glossar {
namespace {

// The registry opens its hives once per process: every test of the program shares one private
// pair.
const auto* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

class CollectorsEntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::u16string program = ModuleFileName(nullptr);
        m_directory = program.substr(0, program.find_last_of(u'/'));
    }
    std::optional<std::u16string> Value(const char16_t* name) {
        lumivel::RegistryKey key;
        if (key.open(HKEY_LOCAL_MACHINE, kCollectorsKey, KEY_READ) != ERROR_SUCCESS) return std::nullopt;
        return key.readString(name);
    }
    bool KeyExists() {
        lumivel::RegistryKey key;
        return key.open(HKEY_LOCAL_MACHINE, kCollectorsKey, KEY_READ) == ERROR_SUCCESS;
    }

    std::u16string m_directory;  // without its final separator
};

TEST_F(CollectorsEntryTest, RegistrationWritesBothValuesAndReturnsTheComResult) {
    int calls = 0;
    EXPECT_EQ(RegisterWithCollectorsEntry(nullptr, [&] { return ++calls, E_ACCESSDENIED; }), E_ACCESSDENIED);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Value(u"schema_index_test"), m_directory);
    EXPECT_EQ(Value(u"Taxonis"), m_directory);
}

TEST_F(CollectorsEntryTest, UnregistrationStopsAtAComFailureAndElseDeletesTheValues) {
    ASSERT_EQ(RegisterWithCollectorsEntry(nullptr, [] { return S_OK; }), S_OK);
    EXPECT_EQ(UnregisterWithCollectorsEntry(nullptr, [] { return SELFREG_E_CLASS; }), SELFREG_E_CLASS);
    EXPECT_EQ(Value(u"Taxonis"), m_directory);
    EXPECT_EQ(UnregisterWithCollectorsEntry(nullptr, [] { return S_OK; }), S_OK);
    EXPECT_EQ(Value(u"Taxonis"), std::nullopt);
    EXPECT_EQ(Value(u"schema_index_test"), std::nullopt);
    EXPECT_TRUE(KeyExists());
}

}  // namespace
}  // namespace glossar
