// What the result-pane benchmarks share: a provider that answers columns and nothing else, and
// 100,000 records as the enumeration makes them.
#pragma once

#include <cstdio>
#include <random>
#include <vector>

#include "lumivel/com_object.h"
#include "lumivel/text.h"
#include "shared/object_list.h"
#include "shared/property_set.h"
#include "shared/provider_interfaces.h"
#include "win/adshlp_build.h"
#include "win/commctrl.h"

namespace bench {

class ColumnsOnly final : public lumivel::com::ComObject<ColumnsOnly, IProviderData> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<ColumnsOnly, IProviderData>(IID_IProviderData)};
    ColumnsOnly() {
        for (const char16_t* title : {u"Name", u"Last Known Parent", u"Class", u"Date Deleted"}) {
            LVCOLUMNW column{};
            column.mask = LVCF_WIDTH | LVCF_TEXT;
            column.cx = 150;
            column.pszText = const_cast<LPWSTR>(title);
            m_columns.push_back(column);
        }
    }
    HRESULT STDMETHODCALLTYPE GetColumns(LONG type, VARIANT* columns, VARIANT* keys) override {
        if (type != 1) return S_OK;
        std::vector<LONG_PTR> addresses;
        for (LVCOLUMNW& column : m_columns) addresses.push_back(reinterpret_cast<LONG_PTR>(&column));
        if (columns) lumivel::shared::BuildAddressList(addresses, columns);
        LPWSTR names[] = {const_cast<LPWSTR>(u"name"), const_cast<LPWSTR>(u"parent"),
                          const_cast<LPWSTR>(u"FriendlyClassName"), const_cast<LPWSTR>(u"dateDeleted")};
        if (keys) ADsBuildVarArrayStr(names, 4, keys);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ActivateObject(HWND, LONG_PTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetConsole(IUnknown*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeleteObjects(HWND, VARIANT*, VARIANT*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ReservedCommand(HWND, VARIANT*, VARIANT*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ShowProperties(HWND, VARIANT*, VARIANT*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetDetails(VARIANT* selection, LONG*, VARIANT*) override {
        lastSelection = lumivel::shared::ReadObjectList(selection).size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LinkClicked(HWND, VARIANT*, BSTR, VARIANT*) override { return S_OK; }
    size_t lastSelection = 0;

private:
    std::vector<LVCOLUMNW> m_columns;
};

// Records as the enumeration makes them: a tombstone's name, its last parent, class, date.
inline std::vector<PropertySet*> Generate(size_t count, unsigned seed) {
    static const char16_t* const kClasses[] = {u"User", u"Group", u"Computer", u"Organizational Unit", u"Contact"};
    std::mt19937 random(seed);
    std::vector<PropertySet*> records;
    records.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        PropertySet* record = PropertySet::create();
        char buffer[160];
        std::snprintf(buffer, sizeof(buffer), "Person %06u\nDEL:%08x-1f2e-4d3c-8b7a-%012zx", unsigned(random() % 1000000),
                      unsigned(random()), i);
        record->setText(u"name", lumivel::FromUtf8(buffer));
        std::snprintf(buffer, sizeof(buffer), "OU=Unit %03u,OU=Lumivel Corp,DC=lumivel,DC=test", unsigned(random() % 400));
        record->setText(u"parent", lumivel::FromUtf8(buffer));
        record->setString(u"FriendlyClassName", kClasses[random() % 5]);
        const unsigned month = unsigned(1 + random() % 12), day = unsigned(1 + random() % 28),
                       hour = unsigned(random() % 24), minute = unsigned(random() % 60);
        std::snprintf(buffer, sizeof(buffer), "%02u/%02u/2026 - %02u:%02u", month, day, hour, minute);
        record->setText(u"dateDeleted", lumivel::FromUtf8(buffer));
        std::snprintf(buffer, sizeof(buffer), "2026-%02u-%02uT%02u:%02u:00Z", month, day, hour, minute);
        record->setText(u"DateDeletedUtc", lumivel::FromUtf8(buffer));
        record->ImageIndex = -1;
        records.push_back(record);
    }
    return records;
}

}  // namespace bench
