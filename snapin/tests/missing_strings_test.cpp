// The snap-in's code with a string table that lacks entries: answers say "nothing" instead
// of handing out empty strings, and registration writes nothing without a name.
#include <gtest/gtest.h>

#include "lumivel/registry_key.h"
#include "snapin/snapin_data.h"
#include "snapin/snapin_registration.h"
#include "tests/support/private_hives.h"

namespace {

const auto* const g_hives =
    ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives(lumivel::testing::PrivateHives::Com::Initialize));

TEST(MissingStrings, AboutAndHelpAnswerNothingRatherThanEmptyStrings) {
    IComponentData* data = nullptr;
    ASSERT_EQ(snapin::SnapinData::CreateInstance(nullptr, IID_IComponentData, reinterpret_cast<void**>(&data)), S_OK);
    ISnapinHelp2* help = nullptr;
    ASSERT_EQ(data->QueryInterface(IID_ISnapinHelp2, reinterpret_cast<void**>(&help)), S_OK);
    LPOLESTR topic = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(help->GetHelpTopic(&topic), S_FALSE);
    EXPECT_EQ(topic, nullptr);
    help->Release();

    ISnapinAbout* about = nullptr;
    ASSERT_EQ(data->QueryInterface(IID_ISnapinAbout, reinterpret_cast<void**>(&about)), S_OK);
    LPOLESTR text = nullptr;
    EXPECT_EQ(about->GetSnapinDescription(&text), S_FALSE);
    EXPECT_EQ(about->GetProvider(&text), S_FALSE);
    EXPECT_EQ(about->GetSnapinVersion(&text), S_FALSE);
    EXPECT_EQ(text, nullptr);
    about->Release();

    // Without a console, a null data object and a foreign one are no node of ours.
    EXPECT_EQ(data->Notify(nullptr, MMCN_EXPAND, TRUE, 1), S_OK);
    EXPECT_EQ(data->Notify(DOBJ_CUSTOMOCX, MMCN_EXPAND, TRUE, 1), S_OK);
    data->Release();
}

TEST(MissingStrings, RegistrationWithoutANameWritesNothing) {
    EXPECT_EQ(snapin::RegisterSnapin(), S_FALSE);
    lumivel::RegistryKey key;
    EXPECT_NE(key.open(HKEY_CLASSES_ROOT, u"CLSID\\{B979019D-5037-44E0-835B-3CD84BDDA491}", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(snapin::UnregisterSnapin(), E_UNEXPECTED);
}

}  // namespace
