// Both image lists as a sheet for a person to look at: every class, node type and state
// variant of a small index, at 16 and 32 pixels, with its name.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <filesystem>

#include "lumivel/gdi_objects.h"
#include "platform/qtui/tests/qt_test_support.h"
#include "schemacache/tests/schema_cache_fixture.h"

namespace glossar {
namespace {

using namespace glossar::testing;

const auto* const kHives = ::testing::AddGlobalTestEnvironment(new HivesWithoutDomain);

QImage ToQImage(const lumivel::gfx::Image& image) {
    QImage out(image.width, image.height, QImage::Format_ARGB32);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) out.setPixel(x, y, image.at(x, y));
    return out;
}

TEST(ImageListSheet, BothListsSideBySide) {
    qttest::UseQtBackend();
    TemporaryDirectory folder;
    auto classes = SampleClasses();
    for (auto [name, icon] : {std::pair{u"group", 4101}, {u"domainDNS", 4099}, {u"contact", 4103}, {u"printQueue", 4104},
                              {u"volume", 4105}, {u"foreignSecurityPrincipal", 4107}})
        classes.push_back({name, name, u"{00000000-0000-0000-0000-00000000000" + std::u16string(1, u'0' + classes.size() % 10) + u"}",
                           false, OwnIcons(), icon});
    WriteIndex(DirectoryOf(folder), classes);
    auto cache = NewCache(DirectoryOf(folder));
    ASSERT_EQ(cache->InitializeActiveDirectoryIcons(1), S_OK);
    LONG_PTR small = 0, large = 0;
    cache->GetSmallImageList(&small);
    cache->GetLargeImageList(&large);
    const int count = ImageList_GetImageCount(reinterpret_cast<HIMAGELIST>(small));
    ASSERT_GT(count, 60);

    std::vector<std::u16string> names;
    for (const auto& line : classes) names.push_back(line.name);
    for (const char16_t* type : {u"GovrixRole", u"InheritedGovrixRole", u"BusinessRule", u"InheritedBusinessRule",
                                 u"AccessAllow", u"InheritedAccessAllow", u"AccessDeny", u"InheritedAccessDeny",
                                 u"AccessAllow_GX", u"InheritedAccessAllow_GX", u"AccessDeny_GX", u"InheritedAccessDeny_GX",
                                 u"Query", u"TarvoGroupPolicyNode", u"TarvoGroupPolicyNodeInherited", u"ActivePolicy",
                                 u"BusinessView"})
        names.push_back(type);

    // One row per class or node type: its icon, "Busy", "Controlled" and any "Disabled" image,
    // small and then large.
    constexpr int kRow = 40, kLabel = 240;
    QImage sheet(kLabel + 5 * 20 + 5 * 36 + 20, kRow * static_cast<int>(names.size()) + 10, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    int row = 0;
    for (const auto& name : names) {
        const LONG index = IconIndex(cache.get(), name.c_str());
        const int y = 5 + row++ * kRow;
        painter.drawText(QRect(5, y, kLabel - 10, 32), Qt::AlignVCenter, QString::fromStdU16String(name));
        if (index < 0) continue;
        std::vector<LONG> images = {index};
        if (IconIndex(cache.get(), (name + u"Busy").c_str()) >= 0) images.insert(images.end(), {index + 1, index + 2});
        for (const char16_t* disabled : {u"userDisabled", u"computerDisabled"})
            if (name + u"Disabled" == disabled) images.push_back(IconIndex(cache.get(), disabled));
        for (size_t i = 0; i < images.size(); ++i) {
            auto image16 = lumivel::gfx::ImageListImage(reinterpret_cast<HIMAGELIST>(small), images[i]);
            auto image32 = lumivel::gfx::ImageListImage(reinterpret_cast<HIMAGELIST>(large), images[i]);
            ASSERT_TRUE(image16 && image32);
            painter.drawImage(kLabel + static_cast<int>(i) * 20, y + 8, ToQImage(*image16));
            painter.drawImage(kLabel + 5 * 20 + static_cast<int>(i) * 36, y, ToQImage(*image32));
        }
    }
    painter.end();
    ImageList_Destroy(reinterpret_cast<HIMAGELIST>(small));
    ImageList_Destroy(reinterpret_cast<HIMAGELIST>(large));
    const std::string path = qttest::ScreenshotPath("schema-cache-image-lists.png");
    ASSERT_TRUE(sheet.save(QString::fromStdString(path)));
    EXPECT_GT(std::filesystem::file_size(path), 0u);
}

}  // namespace
}  // namespace glossar
