// The snap-in in the console host, offscreen, against a fake provider and schema cache:
// the scope tree, provider discovery, the data objects' formats, the fetch behind the busy
// icon, closing during a slow fetch, the merged menus, About and Help; with screenshots.
#include <QApplication>
#include <QDialog>
#include <QFileInfo>

#include <chrono>
#include <cstring>

#include "lumivel/console_driver.h"
#include "lumivel/registry_key.h"
#include "lumivel/text.h"
#include "shared/provider_interfaces.h"
#include "snapin_console_fixture.h"
#include "tests/support/private_hives.h"
#include "win/guid.h"
#include "win/commctrl.h"
#include "win/memory.h"
#include "win/user.h"

namespace {

using lumivel::console::ConsoleDriver;
using namespace snapin_test;

TEST_F(SnapinConsoleTest, RootShowsOneNodePerDomainRecordOnce) {
    std::strcpy(s_control->nodes, "alpha:1;beta:0;delta:1");
    auto console = openConsole();
    HSCOPEITEM root = console->root();
    EXPECT_EQ(console->shownName(root), u"Tarvo Lumivel");
    std::vector<HSCOPEITEM> children = console->children(root);
    ASSERT_EQ(children.size(), 2u) << "beta carries no node flag and stays in the result pane only";
    EXPECT_EQ(console->shownName(children[0]), u"alpha");
    EXPECT_EQ(console->shownName(children[1]), u"delta");
    EXPECT_EQ(console->image(children[0]), 3) << "the domainDNS icon of the schema cache";
    // The scope images are the schema cache's, at the same positions.
    EXPECT_EQ(ImageList_GetImageCount(console->session().smallScopeImages()), 10);

    // The console expands again after the root's children went; the snap-in adds nothing twice.
    IComponentData* data = console->session().componentData();
    IDataObject* object = nullptr;
    ASSERT_EQ(data->QueryDataObject(0, CCT_SCOPE, &object), S_OK);
    EXPECT_EQ(data->Notify(object, MMCN_EXPAND, TRUE, root + 1000), S_OK);
    object->Release();
    EXPECT_EQ(console->children(root).size(), 2u);
    console->screenshot("console_root");

    // A double click makes the snap-in select the node's item.
    EXPECT_EQ(console->session().doubleClick(children[1]), S_OK);
    EXPECT_TRUE(console->runUntil([&] { return console->session().selectedItem() == children[1]; }, 2000));
}

TEST_F(SnapinConsoleTest, ProvidersComeFromTheDefaultAndTheInterfacesKeyOnceEach) {
    struct Case {
        const char* what;
        bool createKey;
        std::vector<std::u16string> values;
        int providers;
    };
    std::u16string lower = kSecondProviderClsid;
    for (auto& c : lower) c = char16_t(std::tolower(c));
    const Case cases[] = {
        {"no Interfaces key", false, {}, 1},
        {"an empty Interfaces key", true, {}, 1},
        {"a value that is no CLSID", true, {u"not a clsid"}, 1},
        {"the same CLSID twice in different case", true, {kSecondProviderClsid, lower, u"{bad}"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, kProductInterfaces);
        if (c.createKey) {
            lumivel::RegistryKey key;
            ASSERT_EQ(key.create(HKEY_LOCAL_MACHINE, kProductInterfaces, KEY_WRITE), ERROR_SUCCESS);
            for (const auto& value : c.values) key.writeString(value.c_str(), u"");
        }
        int before = s_control->providersCreated;
        auto console = openConsole();
        EXPECT_EQ(s_control->providersCreated - before, c.providers);
        // Every provider merges its menu into a domain's, its index in bits 12-15.
        HSCOPEITEM alpha = childNamed(*console, console->root(), u"alpha");
        ASSERT_NE(alpha, 0);
        int removes = 0;
        for (const auto& entry : console->session().contextMenu(alpha))
            if (entry.name == u"&Remove") {
                EXPECT_EQ(entry.commandId, kCommandRemove | (removes << 12));
                ++removes;
            }
        EXPECT_EQ(removes, c.providers);
    }
}

std::vector<BYTE> ReadFormat(IDataObject* object, const char16_t* name, HRESULT* hr) {
    HGLOBAL block = GlobalAlloc(GHND, 16);
    FORMATETC format{CLIPFORMAT(RegisterClipboardFormatW(name)), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    *hr = object->GetDataHere(&format, &medium);
    std::vector<BYTE> bytes;
    if (SUCCEEDED(*hr)) {
        auto* data = static_cast<const BYTE*>(GlobalLock(medium.hGlobal));
        bytes.assign(data, data + GlobalSize(medium.hGlobal));
        GlobalUnlock(medium.hGlobal);
    }
    GlobalFree(medium.hGlobal);
    return bytes;
}

TEST_F(SnapinConsoleTest, DataObjectsAnswerTheConsoleFormats) {
    auto console = openConsole();
    IDataObject* object = nullptr;
    ASSERT_EQ(console->session().componentData()->QueryDataObject(0, CCT_SCOPE, &object), S_OK);
    HRESULT hr = S_OK;

    std::vector<BYTE> name = ReadFormat(object, CCF_DISPLAY_NAME, &hr);
    ASSERT_EQ(hr, S_OK);
    std::u16string expectedName = u"Tarvo Lumivel";
    ASSERT_GE(name.size(), (expectedName.size() + 1) * 2);
    EXPECT_EQ(std::memcmp(name.data(), expectedName.c_str(), (expectedName.size() + 1) * 2), 0) << "with its null";

    CLSID rootType{};
    CLSIDFromString(u"{0B85C8C5-10E9-4f3b-8D35-16542517B104}", &rootType);
    std::vector<BYTE> type = ReadFormat(object, CCF_NODETYPE, &hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(std::memcmp(type.data(), &rootType, sizeof(GUID)), 0);

    std::vector<BYTE> typeText = ReadFormat(object, CCF_SZNODETYPE, &hr);
    ASSERT_EQ(hr, S_OK);
    std::u16string expectedText = u"{0B85C8C5-10E9-4F3B-8D35-16542517B104}";
    EXPECT_EQ(std::memcmp(typeText.data(), expectedText.c_str(), (expectedText.size() + 1) * 2), 0);

    std::vector<BYTE> snapin = ReadFormat(object, CCF_SNAPIN_CLASSID, &hr);
    CLSID snapinClsid = SnapinClsid();
    EXPECT_EQ(std::memcmp(snapin.data(), &snapinClsid, sizeof(CLSID)), 0);

    // The private format carries the whole address, not four bytes of it.
    std::vector<BYTE> address = ReadFormat(object, u"{2479DB32-5276-11d2-94F5-00C04FB92EC2}", &hr);
    ASSERT_EQ(hr, S_OK);
    LONG_PTR carried = 0;
    std::memcpy(&carried, address.data(), sizeof(carried));
    EXPECT_EQ(carried, reinterpret_cast<LONG_PTR>(object));

    ReadFormat(object, u"Some Other Format", &hr);
    EXPECT_EQ(hr, DV_E_FORMATETC);
    object->Release();
}

TEST_F(SnapinConsoleTest, OneFetchPerDomainBehindTheBusyIcon) {
    auto console = openConsole();
    HSCOPEITEM alpha = childNamed(*console, console->root(), u"alpha");
    ASSERT_NE(alpha, 0);
    int before = s_control->enumerations;
    s_control->block = true;
    console->expand(alpha);
    ASSERT_TRUE(console->runUntil([&] { return s_control->inEnumeration.load(); }, 5000));
    EXPECT_EQ(console->image(alpha), 7) << "the busy icon of domainDNS";
    EXPECT_NE(console->statusText().find(u"Reading the deleted objects of alpha"), std::u16string::npos);
    console->screenshot("console_domain_fetching");

    // Showing the node and pressing F5 while the fetch runs start no second one.
    console->select(alpha);
    console->pressRefresh();
    s_control->block = false;
    ASSERT_TRUE(console->runUntil([&] { return console->image(alpha) == 3; }, 5000));
    EXPECT_EQ(s_control->enumerations - before, 1);
    EXPECT_EQ(console->statusText(), u"2 deleted objects in alpha.");

    // Once idle, F5 fetches afresh.
    console->pressRefresh();
    ASSERT_TRUE(console->runUntil([&] { return s_control->enumerations - before == 2 && console->image(alpha) == 3; },
                                  5000));
}

TEST_F(SnapinConsoleTest, AFailedFetchSaysWhyAndKeepsTheNodeUsable) {
    auto console = openConsole();
    HSCOPEITEM alpha = childNamed(*console, console->root(), u"alpha");
    s_control->enumerationFailure = long(0x8007203A);  // the server is not operational
    console->select(alpha);
    ASSERT_TRUE(console->runUntil([&] { return console->statusText().find(u"could not be read") != std::u16string::npos; },
                                  5000))
        << lumivel::ToUtf8(console->statusText());
    EXPECT_TRUE(s_control->failedIconAdded.load());
    EXPECT_EQ(console->image(alpha), 9) << "the failure's mark stays on the node";
    s_control->block = true;
    console->pressRefresh();
    ASSERT_TRUE(console->runUntil([&] { return s_control->inEnumeration.load(); }, 5000));
    EXPECT_EQ(console->image(alpha), 7) << "busy while it reads again";
    s_control->block = false;
    ASSERT_TRUE(console->runUntil([&] { return !s_control->inEnumeration.load() && console->image(alpha) == 9; }, 5000))
        << "failed again";
    // The next refresh may succeed; the mark goes with it.
    s_control->enumerationFailure = 0;
    console->pressRefresh();
    EXPECT_TRUE(console->runUntil([&] { return console->statusText() == u"2 deleted objects in alpha."; }, 5000));
    EXPECT_EQ(console->image(alpha), 3);
    // An answer the domain controller's limit cut short says so, and the list stays.
    s_control->enumerationFailure = long(0x80072023);
    console->pressRefresh();
    ASSERT_TRUE(console->runUntil([&] { return console->image(alpha) == 9; }, 5000));
    EXPECT_NE(console->statusText().find(u"cut short by a limit"), std::u16string::npos)
        << lumivel::ToUtf8(console->statusText());
}

TEST_F(SnapinConsoleTest, WithoutABusyIconTheFallbackShowsAndTheIconComesBack) {
    s_control->noBusyIcon = true;
    auto console = openConsole();
    HSCOPEITEM alpha = childNamed(*console, console->root(), u"alpha");
    s_control->block = true;
    console->expand(alpha);
    ASSERT_TRUE(console->runUntil([&] { return s_control->inEnumeration.load(); }, 5000));
    EXPECT_EQ(console->image(alpha), -1);
    s_control->block = false;
    EXPECT_TRUE(console->runUntil([&] { return console->image(alpha) == 3; }, 5000));
}

TEST_F(SnapinConsoleTest, ClosingDuringASlowFetchReturnsAtOnce) {
    auto console = openConsole();
    HSCOPEITEM alpha = childNamed(*console, console->root(), u"alpha");
    s_control->block = true;
    console->expand(alpha);
    ASSERT_TRUE(console->runUntil([&] { return s_control->inEnumeration.load(); }, 5000));
    auto start = std::chrono::steady_clock::now();
    console->close();
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(1));
    // The abandoned fetch ends later and its list is let go on this thread.
    s_control->block = false;
    ConsoleDriver idle;
    EXPECT_TRUE(idle.runUntil([&] { return !s_control->inEnumeration.load(); }, 5000));
    idle.runUntil([] { return false; }, 100);
}

TEST_F(SnapinConsoleTest, ActionMenuCarriesTheProvidersCommands) {
    auto console = openConsole();
    HSCOPEITEM root = console->root();
    std::vector<std::u16string> rootMenu = console->actionMenu(root);
    EXPECT_NE(std::find(rootMenu.begin(), rootMenu.end(), u"&Connect To..."), rootMenu.end());
    EXPECT_NE(std::find(rootMenu.begin(), rootMenu.end(), u"More/Inner"), rootMenu.end()) << "submenus stay beneath";
    // The root offers no verb: Refresh is there but cannot be chosen.
    EXPECT_FALSE(console->chooseAction(root, u"Re&fresh"));

    // Connecting adds the domain the provider returns.
    ASSERT_TRUE(console->chooseAction(root, u"&Connect To..."));
    EXPECT_NE(childNamed(*console, root, u"gamma"), 0);

    // A domain's Remove takes its node out of the tree and selects the root.
    HSCOPEITEM alpha = childNamed(*console, root, u"alpha");
    console->select(alpha);
    ASSERT_TRUE(console->chooseAction(alpha, u"&Remove"));
    // The record names its scope item with the whole handle.
    EXPECT_EQ(s_control->nodeHandleType, VT_I8);
    EXPECT_EQ(s_control->nodeHandle, alpha);
    console->runUntil([&] { return console->session().selectedItem() == root; }, 2000);
    EXPECT_EQ(childNamed(*console, root, u"alpha"), 0);
    EXPECT_EQ(console->session().selectedItem(), root);
}

TEST_F(SnapinConsoleTest, TheRootReadsItsDomainsOffTheConsolesThreadAndAConnectMeanwhileGetsOneNode) {
    std::strcpy(s_control->nodes, "alpha:1;gamma:1");
    s_control->blockNodes = true;
    ConsoleDriver console;
    ASSERT_EQ(console.open(SnapinClsid()), S_OK);
    // The expansion returns while the provider still reads the domains.
    console.expand(console.root());
    EXPECT_TRUE(console.children(console.root()).empty());
    // "gamma" is connected before the reading brings it too.
    ASSERT_TRUE(console.chooseAction(console.root(), u"&Connect To..."));
    EXPECT_NE(childNamed(console, console.root(), u"gamma"), 0);
    s_control->blockNodes = false;
    ASSERT_TRUE(console.runUntil([&] { return childNamed(console, console.root(), u"alpha") != 0; }, 20000));
    console.runUntil([] { return false; }, 100);
    std::vector<std::u16string> names;
    for (HSCOPEITEM child : console.children(console.root())) names.push_back(console.shownName(child));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"gamma", u"alpha"})) << "one node per domain";
    // Connecting it once more selects its one node.
    ASSERT_TRUE(console.chooseAction(console.root(), u"&Connect To..."));
    EXPECT_EQ(console.children(console.root()).size(), 2u);
    EXPECT_EQ(console.session().selectedItem(), childNamed(console, console.root(), u"gamma"));
}

TEST_F(SnapinConsoleTest, AboutAndHelpComeFromTheSnapin) {
    auto console = openConsole();
    std::unique_ptr<QDialog> about = console->aboutDialog();
    about->show();
    ConsoleDriver::screenshot(about.get(), "console_about");
    auto info = console->session().about();
    EXPECT_EQ(info.name, u"Tarvo Lumivel");
    EXPECT_EQ(info.description, u"Tarvo Lumivel Snapin");
    EXPECT_EQ(info.provider, u"Tarvo Software");
    EXPECT_EQ(info.version, u"1.0.2");
    EXPECT_NE(info.image, nullptr);

    QString help = console->helpFile();
    EXPECT_TRUE(QFileInfo(help).isFile()) << help.toStdString();
    EXPECT_EQ(QFileInfo(help).absolutePath(), QFileInfo(QString::fromStdString(BinDir() + "/RevivoSnapin.so")).absolutePath());
}

}  // namespace
