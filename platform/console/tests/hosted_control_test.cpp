// A control hosted in place in a widget of the console, offscreen: activation inside the host
// window, resizing, the order of teardown, and every way bringing a control up can fail.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QWidget>

#include <cstring>
#include <memory>
#include <string>

#include "hosted_control.h"
#include "lumivel/registry_key.h"
#include "lumivel/text.h"
#include "qt_test_support.h"
#include "test_control/test_control_block.h"
#include "tests/support/private_hives.h"

namespace {

using lumivel::console::HostedControl;

const auto* const g_hives =
    ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives(lumivel::testing::PrivateHives::Com::Initialize));

CLSID Clsid(const char16_t* text) {
    CLSID clsid{};
    CLSIDFromString(text, &clsid);
    return clsid;
}

class HostedControlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* bin = std::getenv("LUMIVEL_BIN_DIR");
        std::string module = std::string(bin ? bin : ".") + "/console_test_control.so";
        for (const char16_t* clsid : {kTestControlClsid, kNoControlClsid}) {
            lumivel::RegistryKey key;
            std::u16string path = std::u16string(u"CLSID\\") + clsid + u"\\InprocServer32";
            ASSERT_EQ(key.create(HKEY_CLASSES_ROOT, path.c_str(), KEY_WRITE), ERROR_SUCCESS);
            ASSERT_EQ(key.writeString(nullptr, lumivel::FromUtf8(module)), ERROR_SUCCESS);
        }
        // Loaded here first, so that the COM runtime finds this same copy.
        void* handle = dlopen(module.c_str(), RTLD_NOW);
        ASSERT_NE(handle, nullptr) << dlerror();
        auto block = reinterpret_cast<TestControlBlockFunction>(dlsym(handle, "TestControlBlockOf"));
        ASSERT_NE(block, nullptr);
        s_block = block();
    }
    void SetUp() override {
        qttest::UseQtBackend();
        s_block->log[0] = 0;
        s_block->activationFailure = 0;
        // After the backend, which makes the application.
        m_widget = std::make_unique<QWidget>();
        m_widget->resize(300, 200);
        m_widget->show();
        m_host = lumivel::qtui::CreateHostWindow(m_widget.get());
        ASSERT_NE(m_host, nullptr);
    }
    void TearDown() override {
        DestroyWindow(m_host);
        qttest::Settle();
        EXPECT_EQ(s_block->live.load(), 0) << "every control is let go";
    }
    std::string log() const { return s_block->log; }

    static TestControlBlock* s_block;
    std::unique_ptr<QWidget> m_widget;
    HWND m_host = nullptr;
};

TestControlBlock* HostedControlTest::s_block = nullptr;

RECT WindowSize(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return rect;
}

TEST_F(HostedControlTest, ActivatesInTheHostFollowsItsSizeAndGoesInOrder) {
    std::u16string status;
    HostedControl control([&](const std::u16string& text) { status = text; });
    ASSERT_EQ(control.create(Clsid(kTestControlClsid)), S_OK);
    EXPECT_EQ(log(), "SetClientSite") << "the site comes before activation";
    EXPECT_FALSE(control.active());

    ASSERT_EQ(control.activate(m_host, m_host, RECT{0, 0, 300, 200}), S_OK);
    EXPECT_TRUE(control.active());
    HWND window = control.controlWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetParent(window), m_host);
    EXPECT_EQ(lumivel::qtui::WidgetForWindow(window)->parentWidget(), m_widget.get()) << "drawn inside the pane";
    EXPECT_EQ(WindowSize(window).right, 300);
    EXPECT_EQ(WindowSize(window).bottom, 200);
    EXPECT_EQ(status, u"Test control active") << "the frame passes the control's status text on";

    control.resize(RECT{0, 0, 420, 260});
    EXPECT_EQ(WindowSize(window).right, 420);
    EXPECT_EQ(WindowSize(window).bottom, 260);

    control.close();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(control.control(), nullptr);
    EXPECT_EQ(log(), "SetClientSite,InPlaceActivate,SetObjectRects,InPlaceDeactivate,Close,SetClientSite(null)");
    control.close();
    control.resize(RECT{0, 0, 10, 10});
    EXPECT_EQ(log(), "SetClientSite,InPlaceActivate,SetObjectRects,InPlaceDeactivate,Close,SetClientSite(null)")
        << "a closed control hears nothing more";
}

TEST_F(HostedControlTest, AControlLeftActiveIsDeactivatedWhenTheHostGoes) {
    {
        HostedControl control;
        ASSERT_EQ(control.create(Clsid(kTestControlClsid)), S_OK);
        ASSERT_EQ(control.activate(m_host, m_host, RECT{0, 0, 50, 50}), S_OK);
    }
    EXPECT_EQ(log(), "SetClientSite,InPlaceActivate,InPlaceDeactivate,Close,SetClientSite(null)");
}

TEST_F(HostedControlTest, FailuresToBringAControlUpAreReturnedAndLeaveNothingBehind) {
    HostedControl control;
    CLSID unknown = Clsid(u"{3F0C9A4F-6D2B-4C7E-A915-5B8E2D7C4F10}");
    EXPECT_EQ(control.create(unknown), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(control.control(), nullptr);

    EXPECT_EQ(control.create(Clsid(kNoControlClsid)), E_NOINTERFACE) << "an object without IOleObject";
    EXPECT_EQ(control.control(), nullptr);
    EXPECT_EQ(s_block->live.load(), 0);

    ASSERT_EQ(control.create(Clsid(kTestControlClsid)), S_OK);
    EXPECT_EQ(control.activate(nullptr, nullptr, RECT{0, 0, 10, 10}), OLE_E_INVALIDHWND);
    control.close();

    s_block->activationFailure = long(E_OUTOFMEMORY);
    ASSERT_EQ(control.create(Clsid(kTestControlClsid)), S_OK);
    EXPECT_EQ(control.activate(m_host, m_host, RECT{0, 0, 10, 10}), E_OUTOFMEMORY);
    EXPECT_FALSE(control.active());
    control.resize(RECT{0, 0, 20, 20});
    control.close();
    EXPECT_EQ(std::string(s_block->log).find("InPlaceDeactivate"), std::string::npos);
    EXPECT_NE(std::string(s_block->log).find("Close,SetClientSite(null)"), std::string::npos);
}

}  // namespace
