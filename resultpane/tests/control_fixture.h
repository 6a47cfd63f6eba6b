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
};

}  // namespace panoreltest
