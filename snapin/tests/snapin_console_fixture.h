// The snap-in in an offscreen console, on the fake provider, schema cache and result-pane
// control: the fixture of the console tests.
#pragma once

#include <cstring>
#include <memory>

#include "lumivel/console_driver.h"
#include "root_expansion.h"
#include "snapin_test_support.h"
#include "tests/support/private_hives.h"
#include "win/winreg.h"

namespace snapin_test {

inline const auto* const g_hives =
    ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives(lumivel::testing::PrivateHives::Com::Initialize));

inline CLSID SnapinClsid() {
    CLSID clsid{};
    CLSIDFromString(kSnapinClsid, &clsid);
    return clsid;
}

class SnapinConsoleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(Regsvr("/s \"" + BinDir() + "/RevivoSnapin.so\""), 0u);
        s_control = RegisterFakes();
        ASSERT_NE(s_control, nullptr);
    }
    void SetUp() override {
        std::strcpy(s_control->nodes, "alpha:1;beta:0");
        s_control->block = false;
        s_control->blockNodes = false;
        s_control->noBusyIcon = false;
        s_control->objectCount = 2;
        s_control->enumerationFailure = 0;
        s_control->panorelLog[0] = 0;
        s_control->panorelActivationFailure = 0;
        s_control->lastCommand = 0;
        s_control->lastCommandProvider = 0;
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, kProductInterfaces);
    }
    void TearDown() override {
        s_control->block = false;
        EXPECT_EQ(s_control->panorelsLive.load(), 0) << "every control is let go with its console";
    }

    // A console on the snap-in with the root expanded.
    std::unique_ptr<lumivel::console::ConsoleDriver> openConsole() {
        auto driver = std::make_unique<lumivel::console::ConsoleDriver>();
        EXPECT_EQ(driver->open(SnapinClsid()), S_OK);
        EXPECT_TRUE(ExpandRoot(*driver, NodeCount(s_control->nodes)));
        return driver;
    }
    // The entries of the fake's node table ("alpha:1;beta:0") that carry the node flag.
    static size_t NodeCount(const std::string& table) {
        size_t count = 0;
        for (size_t at = table.find(":1"); at != std::string::npos; at = table.find(":1", at + 2))
            count += at + 2 == table.size() || table[at + 2] == ';';
        return count;
    }
    HSCOPEITEM childNamed(lumivel::console::ConsoleDriver& driver, HSCOPEITEM parent, const std::u16string& name) {
        for (HSCOPEITEM child : driver.children(parent))
            if (driver.name(child) == name) return child;
        return 0;
    }

    static inline FakeProviderControl* s_control = nullptr;
};

}  // namespace snapin_test
