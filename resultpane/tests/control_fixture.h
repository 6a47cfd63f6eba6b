// The control activated in place in a host window under the headless backend, with a provider,
// schema cache and console of the tests' own.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lumivel/ui_backend.h"
#include "lumivel/ui_input.h"
#include "lumivel/ui_test_hook.h"
#include "lumivel/variant_holder.h"
#include "resultpane/tests/panorel_fakes.h"

namespace panoreltest {

inline HWND MakeHostWindow(int width, int height) {
    static const bool registered = [] {
        WNDCLASSEXW host{};
        host.cbSize = sizeof(host);
        host.lpfnWndProc = DefWindowProcW;
        host.lpszClassName = u"PanorelTestHost";
        return RegisterClassExW(&host) != 0;
    }();
    if (!registered) return nullptr;
    return CreateWindowExW(0, u"PanorelTestHost", u"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, width, height,
                           nullptr, nullptr, nullptr, nullptr);
}

struct MenuItem {
    std::u16string text;
    UINT id = 0;
    UINT state = 0;
    std::vector<MenuItem> children;
};

inline std::vector<MenuItem> ReadMenu(HMENU menu) {
    std::vector<MenuItem> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        WCHAR text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 256;
        GetMenuItemInfoW(menu, UINT(i), TRUE, &info);
        MenuItem item{(info.fType & MFT_SEPARATOR) ? u"-" : std::u16string(text), info.wID, info.fState, {}};
        if (info.hSubMenu) item.children = ReadMenu(info.hSubMenu);
        items.push_back(item);
    }
    return items;
}

inline std::vector<std::u16string> Texts(const std::vector<MenuItem>& items) {
    std::vector<std::u16string> texts;
    for (const MenuItem& item : items) texts.push_back(item.text);
    return texts;
}

class ControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (headless) lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend());
        host = MakeHostWindow(640, 480);
        ASSERT_NE(host, nullptr);
        site = lumivel::com::NewComObject<FakeSite>(host, RECT{0, 0, 400, 300});
        control = lumivel::com::NewComObject<panorel::Panorel>();
        provider = lumivel::com::NewComObject<FakeProvider>();
        cache = lumivel::com::NewComObject<FakeSchemaCache>();
        console = lumivel::com::NewComObject<FakeConsole>();
        provider->addColumn(u"Name", u"name", 120);
        provider->addColumn(u"Class", u"class", 90);
        provider->addColumn(u"Parent", u"parent", 5000);
        ASSERT_EQ(control->SetClientSite(site.get()), S_OK);
        RECT position{0, 0, 400, 300};
        ASSERT_EQ(control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.get(), 0, host, &position), S_OK);
    }

    void TearDown() override {
        lumivel::ui::SetTestHook({});
        if (control) {
            control->InPlaceDeactivate();
            control->Close(OLECLOSE_NOSAVE);
            control->SetClientSite(nullptr);
        }
        control.reset();
        for (PropertySet* record : owned) record->release();
        if (host) DestroyWindow(host);
    }

    // Hands the control the provider (also as the one menu provider), the cache and the console.
    void connect(bool withCache = true) {
        ASSERT_EQ(control->SetInterfaces(static_cast<IProviderData*>(provider.get()),
                                         withCache ? static_cast<ISchemaCache*>(cache.get()) : nullptr,
                                         static_cast<IConsole2*>(console.get()),
                                         static_cast<IConsole2*>(console.get())),
                  S_OK);
        setMenuProviders({static_cast<IProviderData*>(provider.get())});
    }

    // Connects, and shows a domain node's list: the scope record the tests' lists belong to.
    PropertySet* connectToDomainNode() {
        connect();
        PropertySet* domain = keep(MakeRecord(u"lumivel.test", u"domainDNS"));
        control->put_SelectedNode(reinterpret_cast<LONG_PTR>(domain));
        return domain;
    }

    void setMenuProviders(const std::vector<IUnknown*>& providers) {
        std::vector<LONG_PTR> addresses;
        for (IUnknown* each : providers) addresses.push_back(reinterpret_cast<LONG_PTR>(each));
        lumivel::VariantHolder list;
        lumivel::shared::BuildAddressList(addresses, list.get());
        ASSERT_EQ(control->SetMenuInterfaces(list.get()), S_OK);
    }

    // A record the test keeps one reference to until the end.
    PropertySet* keep(PropertySet* record) {
        owned.push_back(record);
        return record;
    }

    void show(const std::vector<PropertySet*>& records) {
        lumivel::VariantHolder list;
        ASSERT_EQ(control->SetObjects(kPanorelTopPane, ListOf(records, &list)->get()), S_OK);
    }

    std::vector<std::u16string> column(int index, HWND list = nullptr) {
        list = list ? list : control->topList();
        std::vector<std::u16string> texts;
        for (int i = 0; i < lumivel::ui::ListViewItemCount(list); ++i)
            texts.push_back(lumivel::ui::ListViewCellText(list, i, index));
        return texts;
    }

    std::u16string text() {
        WCHAR buffer[1024] = {};
        GETTEXTEX options{};
        options.cb = sizeof(buffer);
        options.codepage = 1200;
        SendMessageW(control->textPane(), EM_GETTEXTEX, reinterpret_cast<WPARAM>(&options),
                     reinterpret_cast<LPARAM>(buffer));
        return buffer;
    }

    // Right-clicks the list and chooses the item `choose` names (by text, in the menu or its
    // submenus); the menu is kept for a look.
    void rightClick(HWND list, const std::u16string& choose = u"") {
        menu.clear();
        shown = false;
        lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
            if (surface.kind != lumivel::ui::SurfaceKind::PopupMenu) return 0;
            shown = true;
            menu = ReadMenu(surface.menu);
            return INT_PTR(find(menu, choose));
        });
        lumivel::ui::UserListClick(list, 0, 0, NM_RCLICK, POINT{5, 30});
        lumivel::ui::SetTestHook({});
    }
    static UINT find(const std::vector<MenuItem>& items, const std::u16string& text) {
        for (const MenuItem& item : items) {
            if (!text.empty() && item.text == text && item.children.empty()) return item.id;
            if (UINT inner = find(item.children, text)) return inner;
        }
        return 0;
    }

    static RECT windowRect(HWND window) {
        RECT rect{};
        GetWindowRect(window, &rect);
        MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    // Screenshots run under the Qt backend instead.
    bool headless = true;
    HWND host = nullptr;
    ComPtr<FakeSite> site;
    ComPtr<panorel::Panorel> control;
    ComPtr<FakeProvider> provider;
    ComPtr<FakeSchemaCache> cache;
    ComPtr<FakeConsole> console;
    std::vector<PropertySet*> owned;
    // The last context menu shown by rightClick, and whether one was.
    std::vector<MenuItem> menu;
    bool shown = false;
};

}  // namespace panoreltest
