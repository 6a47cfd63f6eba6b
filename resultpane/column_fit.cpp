// First run: the provider hands out its default widths and the user has none stored, so the
// columns are fitted to the pane once records are there: name and place share what is left
// after class and dates, which take what their texts need. Widths the user set are not touched.
#include <algorithm>
#include <numeric>

#include "lumivel/registry_key.h"
#include "lumivel/wide_string.h"
#include "resultpane/panorel.h"
#include "resultpane/readable_text.h"
#include "shared/restores_into_column.h"

namespace panorel {

namespace {

// Columns whose texts are short and of one shape: as wide as those texts.
bool SizedToContent(const std::u16string& key) {
    for (const char16_t* each : {u"FriendlyClassName", u"class", u"dateDeleted", u"Expires"})
        if (lumivel::EqualsNoCase(key, each)) return true;
    return false;
}

std::u16string ColumnTitle(HWND list, int index) {
    WCHAR title[256] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = title;
    column.cchTextMax = int(std::size(title));
    if (!SendMessageW(list, LVM_GETCOLUMNW, WPARAM(index), reinterpret_cast<LPARAM>(&column))) return {};
    return title;
}

constexpr int kScrollBarAllowance = 20;
constexpr int kMinSharedWidth = 100;

}  // namespace

bool Panorel::columnsAtDefaults() const {
    if (!m_topList || m_topKeys.empty()) return false;
    lumivel::RegistryKey stored;
    const bool anyStored = stored.open(HKEY_CURRENT_USER, kResultColumnsKey, KEY_READ) == ERROR_SUCCESS;
    for (int i = 0; i < int(m_topKeys.size()); ++i) {
        if (SendMessageW(m_topList, LVM_GETCOLUMNWIDTH, WPARAM(i), 0) != kFallbackColumnWidth) return false;
        if (anyStored && stored.readDword(ColumnTitle(m_topList, i).c_str())) return false;
    }
    return true;
}

bool Panorel::fitColumnsToPane() {
    RECT client{};
    if (!m_topList || !GetClientRect(m_topList, &client) || client.right - client.left <= 0) return false;
    const int columns = int(m_topKeys.size());
    int left = client.right - client.left - kScrollBarAllowance;
    std::vector<int> shares(size_t(columns), 0);
    for (int i = 0; i < columns; ++i) {
        if (!SizedToContent(m_topKeys[size_t(i)])) {
            shares[size_t(i)] = lumivel::EqualsNoCase(m_topKeys[size_t(i)], kParentKey) ||
                                        lumivel::EqualsNoCase(m_topKeys[size_t(i)], kRestoresIntoKey)
                                    ? 3
                                    : 2;
            continue;
        }
        SendMessageW(m_topList, LVM_SETCOLUMNWIDTH, WPARAM(i), MAKELPARAM(WORD(SHORT(LVSCW_AUTOSIZE_USEHEADER)), 0));
        const int header = int(SendMessageW(m_topList, LVM_GETCOLUMNWIDTH, WPARAM(i), 0));
        SendMessageW(m_topList, LVM_SETCOLUMNWIDTH, WPARAM(i), MAKELPARAM(WORD(SHORT(LVSCW_AUTOSIZE)), 0));
        const int content = int(SendMessageW(m_topList, LVM_GETCOLUMNWIDTH, WPARAM(i), 0));
        const int width = std::clamp(std::max(header, content), 0, kMaxSavedColumnWidth);
        SendMessageW(m_topList, LVM_SETCOLUMNWIDTH, WPARAM(i), MAKELPARAM(WORD(width), 0));
        left -= width;
    }
    const int weights = std::accumulate(shares.begin(), shares.end(), 0);
    for (int i = 0; i < columns && weights > 0; ++i) {
        if (!shares[size_t(i)]) continue;
        const int width = std::clamp(left * shares[size_t(i)] / weights, kMinSharedWidth, kMaxSavedColumnWidth);
        SendMessageW(m_topList, LVM_SETCOLUMNWIDTH, WPARAM(i), MAKELPARAM(WORD(width), 0));
    }
    return true;
}

}  // namespace panorel
