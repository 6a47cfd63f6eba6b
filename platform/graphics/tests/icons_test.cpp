// Icons from resources and files: every size kept, shared handles, sized copies, stale
// handles; bitmaps and icons read from .bmp and .ico files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "lumivel/gdi_objects.h"
#include "lumivel/text.h"
#include "win/errors.h"
#include "win/gdi.h"
#include "win/user.h"

namespace {

TEST(Icons, LoadIconKeepsBothSizesAndSharesTheHandle) {
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(101));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(101)), icon) << "one handle per resource icon";
    EXPECT_EQ(lumivel::gfx::IconImage(icon, 16)->at(5, 5), 0xFFFF0000u);
    EXPECT_EQ(lumivel::gfx::IconImage(icon, 32)->at(5, 5), 0xFF00FF00u);
    EXPECT_EQ(lumivel::gfx::IconImage(icon, 20)->width, 32) << "the nearest larger image";
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_NE(lumivel::gfx::IconImage(icon, 16), std::nullopt) << "a shared icon outlives DestroyIcon";

    SetLastError(0);
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(555)), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_NE(LoadIconW(nullptr, IDI_APPLICATION), nullptr);
}

TEST(Icons, LoadImageGivesOwnSizedCopies) {
    struct Case {
        int cx, cy;
        UINT flags;
        int expectedWidth;
    };
    const Case cases[] = {{16, 16, 0, 16}, {32, 32, 0, 32}, {24, 24, 0, 24}, {0, 0, LR_DEFAULTSIZE, 32}, {48, 0, 0, 48}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cx);
        HICON icon = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(101), IMAGE_ICON, c.cx, c.cy, c.flags));
        ASSERT_NE(icon, nullptr);
        auto image = lumivel::gfx::IconImage(icon, 1);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, c.expectedWidth);
        EXPECT_NE(icon, LoadIconW(nullptr, MAKEINTRESOURCEW(101)));
        EXPECT_TRUE(DestroyIcon(icon));
        EXPECT_FALSE(DestroyIcon(icon)) << "an own copy is gone after DestroyIcon";
    }
    EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(101), IMAGE_ICON, 5000, 5000, 0), nullptr);
}

// An .ico file as icon tools write it: ICONDIR, one 16-byte entry per image, the images.
std::vector<BYTE> IcoFileOfResourceIcon(int id, bool withPngEntry) {
    HRSRC group = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    const BYTE* directory = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, group)));
    WORD count;
    std::memcpy(&count, directory + 4, 2);
    std::vector<std::vector<BYTE>> images;
    for (WORD i = 0; i < count; ++i) {
        WORD iconId;
        std::memcpy(&iconId, directory + 6 + i * 14 + 12, 2);
        HRSRC image = FindResourceW(nullptr, MAKEINTRESOURCEW(iconId), RT_ICON);
        auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, image)));
        images.emplace_back(bytes, bytes + SizeofResource(nullptr, image));
    }
    if (withPngEntry) images.insert(images.begin(), std::vector<BYTE>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
    std::vector<BYTE> file = {0, 0, 1, 0, BYTE(images.size()), 0};
    DWORD offset = DWORD(6 + 16 * images.size());
    for (const auto& image : images) {
        BYTE entry[16] = {};
        DWORD size = DWORD(image.size());
        std::memcpy(entry + 8, &size, 4);
        std::memcpy(entry + 12, &offset, 4);
        file.insert(file.end(), entry, entry + 16);
        offset += size;
    }
    for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
    return file;
}

// Files in a folder of their own, removed with it.
class PictureFiles {
public:
    PictureFiles() : m_folder(std::filesystem::temp_directory_path() / ("lumivel-icons-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(m_folder);
    }
    ~PictureFiles() { std::filesystem::remove_all(m_folder); }
    std::u16string write(const std::string& name, const std::vector<BYTE>& bytes) {
        auto path = m_folder / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return lumivel::FromUtf8(path.string());
    }

private:
    std::filesystem::path m_folder;
};

TEST(Icons, LoadImageReadsIcoAndBmpFiles) {
    PictureFiles files;
    auto WriteFile = [&](const std::string& name, const std::vector<BYTE>& bytes) { return files.write(name, bytes); };
    auto ico = WriteFile("a.ico", IcoFileOfResourceIcon(101, true));
    HICON icon = static_cast<HICON>(LoadImageW(nullptr, ico.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE));
    ASSERT_NE(icon, nullptr) << "the PNG entry is passed over";
    EXPECT_EQ(lumivel::gfx::IconImage(icon, 16)->at(5, 5), 0xFFFF0000u);
    EXPECT_EQ(lumivel::gfx::IconImage(icon, 32)->at(5, 5), 0xFF00FF00u);
    EXPECT_TRUE(DestroyIcon(icon));
    icon = static_cast<HICON>(LoadImageW(nullptr, ico.c_str(), IMAGE_ICON, 16, 16, LR_LOADFROMFILE | LR_SHARED));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(lumivel::gfx::IconImage(icon, 1)->width, 16);
    EXPECT_TRUE(DestroyIcon(icon));

    // 2 x 2 pixels, 24 bits, bottom row first: blue, green / red, white.
    std::vector<BYTE> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,
                             0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                             0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    auto bmpPath = WriteFile("a.bmp", bmp);
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(nullptr, bmpPath.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    ASSERT_NE(bitmap, nullptr);
    auto pixels = lumivel::gfx::BitmapImage(bitmap);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->at(0, 0), 0xFFFF0000u) << "top left red";
    EXPECT_EQ(pixels->at(1, 1), 0xFF00FF00u) << "bottom right green";
    DeleteObject(bitmap);
    bitmap = static_cast<HBITMAP>(LoadImageW(nullptr, bmpPath.c_str(), IMAGE_BITMAP, 4, 6, LR_LOADFROMFILE));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(lumivel::gfx::BitmapImage(bitmap)->height, 6) << "stretched to the size asked for";
    DeleteObject(bitmap);

    // Files that are no such picture, and files that are not there.
    struct Failure {
        std::u16string path;
        UINT type;
        DWORD error;
    };
    std::vector<BYTE> cut = IcoFileOfResourceIcon(101, false);
    cut.resize(6 + 2 * 16 + 20);  // the directory and a piece of the first image
    const Failure failures[] = {
        {WriteFile("cut.ico", cut), IMAGE_ICON, ERROR_INVALID_DATA},
        {bmpPath, IMAGE_ICON, ERROR_INVALID_DATA},
        {ico, IMAGE_BITMAP, ERROR_INVALID_DATA},
        {WriteFile("empty.bmp", {}), IMAGE_BITMAP, ERROR_INVALID_DATA},
        {u"/nonexistent/lumivel.ico", IMAGE_ICON, ERROR_PATH_NOT_FOUND},
        {ico, IMAGE_CURSOR, ERROR_NOT_SUPPORTED},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(lumivel::ToUtf8(f.path));
        SetLastError(0);
        EXPECT_EQ(LoadImageW(nullptr, f.path.c_str(), f.type, 0, 0, LR_LOADFROMFILE), nullptr);
        EXPECT_EQ(GetLastError(), f.error);
    }
    EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(101), IMAGE_ICON, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << "a file name, not a number";
}

TEST(Icons, DrawIconExScalesAndMasks) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP target = CreateCompatibleBitmap(dc, 40, 40);
    SelectObject(dc, target);
    RECT all{0, 0, 40, 40};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(101));
    ASSERT_TRUE(DrawIconEx(dc, 4, 4, icon, 16, 16, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(GetPixel(dc, 4, 4), RGB(255, 255, 255)) << "transparent border leaves the background";
    EXPECT_EQ(GetPixel(dc, 10, 10), RGB(255, 0, 0));
    EXPECT_FALSE(DrawIconEx(dc, 0, 0, reinterpret_cast<HICON>(0x7000), 16, 16, 0, nullptr, DI_NORMAL));
    DeleteDC(dc);
    DeleteObject(target);
}

}  // namespace
