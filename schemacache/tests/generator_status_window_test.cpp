// The status window while the generator runs: under the headless backend for its lifetime,
// under Qt offscreen for a screenshot a person can look at.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/qtui/tests/qt_test_support.h"
#include "schemacache/generator_status_window.h"
#include "schemacache/tests/index_test_support.h"

namespace glossar {
namespace {

std::u16string WindowText(HWND window) {
    WCHAR text[200] = {};
    GetWindowTextW(window, text, 200);
    return text;
}

TEST(GeneratorStatusWindow, ShownWhileTheGeneratorRunsAndGoneAfterwards) {
    qttest::UseQtBackend();
    testing::TemporaryDirectory folder;
    std::ofstream(folder.path() + "/Taxonis") << "#!/bin/sh\nsleep 0.5\n";
    chmod((folder.path() + "/Taxonis").c_str(), 0755);

    GeneratorStatusWindow status(u"Tarvo Lumivel", u"Building the schema index. This can take up to two minutes.");
    HWND shown = nullptr;
    std::u16string caption, text;
    bool visible = false, screenshot = false;
    EXPECT_TRUE(StartGeneratorAndLoad(folder.wide() + u"/", [&] {
        shown = status.window();
        caption = WindowText(shown);
        text = WindowText(GetWindow(shown, GW_CHILD));
        visible = IsWindowVisible(shown);
        qttest::Settle();
        screenshot = lumivel::ui::RenderWindowToPng(shown, qttest::ScreenshotPath("schema-index-status.png"));
        return true;
    }, &status));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(caption, u"Tarvo Lumivel");
    EXPECT_EQ(text, u"Building the schema index. This can take up to two minutes.");
    EXPECT_TRUE(visible);
    EXPECT_TRUE(screenshot);
    EXPECT_GT(std::filesystem::file_size(qttest::ScreenshotPath("schema-index-status.png")), 0u);
    EXPECT_EQ(status.window(), nullptr);
    EXPECT_FALSE(IsWindow(shown));
}

}  // namespace
}  // namespace glossar
