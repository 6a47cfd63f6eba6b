// The console host's own parts: the scope tree a snap-in inserts into through the console
// object, image lists with one-size updates, verbs, context-menu submenus, the snap-in list,
// where the window first opens, and `lumivel` without a display.
#include <gtest/gtest.h>

#include <cstdlib>

#include "console_image_list.h"
#include "console_object.h"
#include "console_verbs.h"
#include "context_menu_items.h"
#include "lumivel/registry_key.h"
#include "lumivel/snapin_catalog.h"
#include "lumivel/text.h"
#include "scope_tree.h"
#include "tests/support/child_process.h"
#include "window_placement.h"
#include "tests/support/private_hives.h"
#include "win/gdi.h"
#include "win/user.h"

namespace {

using namespace lumivel::console;

const auto* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

struct Namespace {
    ScopeTree tree;
    lumivel::ComPtr<ConsoleObject> console =
        lumivel::com::NewComObject<ConsoleObject>(nullptr, &tree, nullptr, nullptr, nullptr);
    IConsoleNameSpace2* names() { return console.get(); }

    HSCOPEITEM insert(HSCOPEITEM relative, LPARAM param, DWORD extraMask = 0) {
        SCOPEDATAITEM item{};
        item.mask = SDI_STR | SDI_PARAM | SDI_IMAGE | extraMask;
        item.displayname = MMC_CALLBACK;
        item.lParam = param;
        item.nImage = int(param);
        item.relativeID = relative;
        EXPECT_EQ(names()->InsertItem(&item), S_OK);
        return item.ID;
    }
    std::vector<LPARAM> childParams(HSCOPEITEM parent) {
        std::vector<LPARAM> params;
        HSCOPEITEM child = 0;
        MMC_COOKIE cookie = 0;
        for (HRESULT hr = names()->GetChildItem(parent, &child, &cookie); hr == S_OK && child;
             hr = names()->GetNextItem(child, &child, &cookie))
            params.push_back(cookie);
        return params;
    }
};

TEST(ConsoleNamespace, InsertsWalksAndDeletesItems) {
    Namespace ns;
    HSCOPEITEM root = ns.tree.addRoot(u"Root", -1);
    HSCOPEITEM a = ns.insert(root, 1);
    HSCOPEITEM c = ns.insert(root, 3);
    ns.insert(root, 0, SDI_FIRST);
    HSCOPEITEM b = 0;
    {
        SCOPEDATAITEM item{};
        item.mask = SDI_PARAM | SDI_NEXT;
        item.lParam = 2;
        item.relativeID = a;
        ASSERT_EQ(ns.names()->InsertItem(&item), S_OK);
        b = item.ID;
    }
    EXPECT_EQ(ns.childParams(root), (std::vector<LPARAM>{0, 1, 2, 3}));
    ns.insert(b, 21);
    ns.insert(b, 22);

    HSCOPEITEM parent = 0;
    MMC_COOKIE cookie = 0;
    ASSERT_EQ(ns.names()->GetParentItem(b, &parent, &cookie), S_OK);
    EXPECT_EQ(parent, root);
    EXPECT_EQ(cookie, 0) << "the static root carries no parameter";

    SCOPEDATAITEM read{};
    read.mask = SDI_PARAM | SDI_IMAGE | SDI_STR;
    read.ID = c;
    ASSERT_EQ(ns.names()->GetItem(&read), S_OK);
    EXPECT_EQ(read.lParam, 3);
    EXPECT_EQ(read.nImage, 3);
    EXPECT_EQ(read.displayname, MMC_CALLBACK);

    // Children only, then the item with whatever is left below it.
    ASSERT_EQ(ns.names()->DeleteItem(b, FALSE), S_OK);
    EXPECT_TRUE(ns.childParams(b).empty());
    EXPECT_NE(ns.tree.find(b), nullptr);
    ASSERT_EQ(ns.names()->DeleteItem(b, TRUE), S_OK);
    EXPECT_EQ(ns.tree.find(b), nullptr);
    EXPECT_EQ(ns.childParams(root), (std::vector<LPARAM>{0, 1, 3}));

    // Handles are never reused, and unknown ones are refused.
    HSCOPEITEM fresh = ns.insert(root, 4);
    EXPECT_NE(fresh, b);
    read.ID = b;
    EXPECT_EQ(ns.names()->GetItem(&read), E_INVALIDARG);
    EXPECT_EQ(ns.names()->DeleteItem(b, TRUE), E_INVALIDARG);
    SCOPEDATAITEM orphan{};
    orphan.relativeID = 9999;
    EXPECT_EQ(ns.names()->InsertItem(&orphan), E_INVALIDARG);

    // After the session ends, a snap-in that kept the console gets an error, not a crash.
    ns.console->detach();
    EXPECT_EQ(ns.names()->GetItem(&read), E_UNEXPECTED);
}

TEST(ConsoleNamespace, WideAndDeepTreesAreWalkedAndRemoved) {
    Namespace wide;
    HSCOPEITEM top = wide.tree.addRoot(u"Root", -1);
    for (int i = 0; i < 100000; ++i) wide.insert(top, i);
    std::vector<LPARAM> params = wide.childParams(top);
    ASSERT_EQ(params.size(), 100000u);
    EXPECT_EQ(params.back(), 99999);
    EXPECT_EQ(wide.names()->DeleteItem(top, FALSE), S_OK);
    EXPECT_TRUE(wide.childParams(top).empty());


    Namespace ns;
    HSCOPEITEM root = ns.tree.addRoot(u"Root", -1);
    HSCOPEITEM item = root;
    for (int i = 0; i < 100000; ++i) item = ns.insert(item, i + 1);
    std::vector<HSCOPEITEM> order = ns.tree.descendants(root);
    ASSERT_EQ(order.size(), 100000u);
    EXPECT_EQ(order.front(), item) << "children come before their parents";
    EXPECT_EQ(ns.names()->DeleteItem(root, FALSE), S_OK);
    EXPECT_TRUE(ns.childParams(root).empty());
}

HICON SolidIcon(COLORREF colour) {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
    ReleaseDC(nullptr, screen);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, 16, 16};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    SelectObject(dc, old);
    DeleteDC(dc);
    ImageList_Add(list, bitmap, nullptr);
    DeleteObject(bitmap);
    HICON icon = ImageList_GetIcon(list, 0, ILD_NORMAL);
    ImageList_Destroy(list);
    return icon;
}

TEST(ConsoleImageList, SetsOneSizeWhenToldAndRefusesWildPositions) {
    auto images = lumivel::com::NewComObject<ConsoleImageList>();
    HICON red = SolidIcon(RGB(255, 0, 0));
    HICON blue = SolidIcon(RGB(0, 0, 255));
    ASSERT_TRUE(red && blue);
    LONG_PTR handle = reinterpret_cast<LONG_PTR>(red);
    ASSERT_EQ(images->ImageListSetIcon(&handle, 4), S_OK);
    EXPECT_EQ(ImageList_GetImageCount(images->small()), 5);
    EXPECT_EQ(ImageList_GetImageCount(images->large()), 5);
    handle = reinterpret_cast<LONG_PTR>(blue);
    ASSERT_EQ(images->ImageListSetIcon(&handle, ILSIF_LEAVE_LARGE_ICON | 4), S_OK);

    auto pixel = [](HIMAGELIST list, int size) {
        HDC screen = GetDC(nullptr);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
        ReleaseDC(nullptr, screen);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bitmap);
        ImageList_Draw(list, 4, dc, 0, 0, ILD_NORMAL);
        COLORREF colour = GetPixel(dc, size / 2, size / 2);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
        return colour;
    };
    EXPECT_EQ(pixel(images->small(), 16), RGB(0, 0, 255)) << "the small image was replaced";
    EXPECT_EQ(pixel(images->large(), 32), RGB(255, 0, 0)) << "the large one was left alone";

    // A position no icon set reaches would grow the lists without bound.
    EXPECT_EQ(images->ImageListSetIcon(&handle, 0x00FFFFFF), E_INVALIDARG);
    EXPECT_EQ(images->ImageListSetIcon(&handle, -1), E_INVALIDARG);
    DestroyIcon(red);
    DestroyIcon(blue);
}

TEST(ConsoleVerbs, OfferOnlyEnabledVerbsThatAreNotHidden) {
    auto verbs = lumivel::com::NewComObject<ConsoleVerbs>();
    EXPECT_FALSE(verbs->offered(MMC_VERB_REFRESH));
    verbs->SetVerbState(MMC_VERB_REFRESH, ENABLED, TRUE);
    EXPECT_FALSE(verbs->offered(MMC_VERB_REFRESH)) << "verbs start hidden";
    verbs->SetVerbState(MMC_VERB_REFRESH, HIDDEN, FALSE);
    EXPECT_TRUE(verbs->offered(MMC_VERB_REFRESH));
    EXPECT_EQ(verbs->SetVerbState(MMC_CONSOLE_VERB(0x9999), ENABLED, TRUE), E_INVALIDARG);
    verbs->reset();
    EXPECT_FALSE(verbs->offered(MMC_VERB_REFRESH));
}

TEST(ContextMenuItems, SubmenusGoBeneathTheirItemAndUnknownParentsAreRefused) {
    auto items = lumivel::com::NewComObject<ContextMenuItems>();
    WCHAR top[] = u"Top", sub[] = u"Sub", inner[] = u"Inner";
    CONTEXTMENUITEM item{top, nullptr, 1, CCM_INSERTIONPOINTID_PRIMARY_TOP, 0, 0};
    ASSERT_EQ(items->AddItem(&item), S_OK);
    item = {sub, nullptr, 0x12345, CCM_INSERTIONPOINTID_PRIMARY_TOP, MF_POPUP, CCM_SPECIAL_SUBMENU};
    ASSERT_EQ(items->AddItem(&item), S_OK);
    item = {inner, nullptr, 7, 0x12345, 0, 0};
    ASSERT_EQ(items->AddItem(&item), S_OK);
    item = {inner, nullptr, 8, 0x54321, 0, 0};
    EXPECT_EQ(items->AddItem(&item), E_INVALIDARG);
    ASSERT_EQ(items->all().size(), 2u);
    ASSERT_EQ(items->all()[1].children.size(), 1u);
    EXPECT_EQ(items->all()[1].children[0].name, u"Inner");
}

TEST(SnapinCatalog, ListsOnlyStandaloneSnapinsAndRemembersTheChoice) {
    auto add = [](const char16_t* clsid, const char16_t* name, bool standalone) {
        lumivel::RegistryKey key;
        std::u16string path = std::u16string(u"Software\\Microsoft\\MMC\\Snapins\\") + clsid;
        ASSERT_EQ(key.create(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WRITE), ERROR_SUCCESS);
        if (name) key.writeString(u"NameString", name);
        if (standalone) {
            lumivel::RegistryKey sub;
            sub.create(key.get(), u"Standalone", KEY_WRITE);
        }
    };
    add(u"{11111111-2222-3333-4444-555555555555}", u"Alone", true);
    add(u"{66666666-2222-3333-4444-555555555555}", u"Extension only", false);
    add(u"not a clsid", u"Broken", true);
    add(u"{77777777-2222-3333-4444-555555555555}", nullptr, true);
    std::vector<RegisteredSnapin> found = StandaloneSnapins();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name, u"Alone");
    EXPECT_EQ(found[1].name, u"{77777777-2222-3333-4444-555555555555}") << "nameless: its CLSID";

    EXPECT_FALSE(RememberedSnapin());
    RememberSnapin(found[0].clsid);
    ASSERT_TRUE(RememberedSnapin());
    EXPECT_TRUE(IsEqualCLSID(*RememberedSnapin(), found[0].clsid));
    RememberLayout(std::string("\0layout\xff", 8));
    EXPECT_EQ(RememberedLayout(), std::string("\0layout\xff", 8));
}

TEST(WindowPlacement, FirstWindowFitsTheScreenWithItsFrame) {
    struct Case {
        QRect available;
        QRect expected;
    };
    const Case cases[] = {
        // Three quarters of an ordinary screen, centred.
        {QRect(0, 0, 1280, 800), QRect(160, 100, 960, 600)},
        {QRect(0, 0, 1920, 1080), QRect(240, 135, 1440, 810)},
        // A panel on the left and on top: centred in what is left.
        {QRect(64, 32, 1856, 1048), QRect(296, 163, 1392, 786)},
        // A small screen gets all of itself but the frame, title bar kept on the screen.
        {QRect(0, 0, 800, 600), QRect(8, 40, 784, 552)},
        {QRect(0, 0, 640, 480), QRect(8, 40, 624, 432)},
        // A huge one no more than a comfortable window.
        {QRect(0, 0, 3840, 2160), QRect(1120, 580, 1600, 1000)},
        // The second of two screens side by side.
        {QRect(1920, 0, 1280, 1024), QRect(2080, 128, 960, 768)},
    };
    for (const Case& c : cases) {
        QRect got = FirstWindowGeometry(c.available);
        EXPECT_EQ(got, c.expected) << c.available.x() << "," << c.available.y() << " " << c.available.width() << "x"
                                   << c.available.height() << " gave " << got.x() << "," << got.y() << " "
                                   << got.width() << "x" << got.height();
        EXPECT_TRUE(c.available.contains(got.adjusted(-8, -40, 8, 8))) << "frame inside the screen";
    }
}

TEST(ConsoleCommand, WithoutADisplayLumivelNamesItsCommands) {
    const char* bin = std::getenv("LUMIVEL_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    std::string line = "/usr/bin/env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \"" + std::string(bin) + "/lumivel\"";
    auto result = lumivel::testing::RunChild(lumivel::FromUtf8(line));
    EXPECT_EQ(result.exitCode, 2u);
    EXPECT_NE(result.output.find("no display"), std::string::npos) << result.output;
    for (const char* command : {"domains", "connect", "list", "restore", "backup", "backups"})
        EXPECT_NE(result.output.find(command), std::string::npos) << command;
}

}  // namespace
