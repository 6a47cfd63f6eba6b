// The texts a dialog's report-style list view shows, row by row, for the dialog tests.
#pragma once

#include <string>
#include <vector>

#include "win/commctrl.h"

namespace revivo_test {

inline std::vector<std::vector<std::u16string>> ListViewTexts(HWND list, int columns) {
    std::vector<std::vector<std::u16string>> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        rows.emplace_back();
        for (int column = 0; column < columns; ++column) {
            WCHAR text[512] = {};
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 512;
            SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
            rows.back().push_back(text);
        }
    }
    return rows;
}

}  // namespace revivo_test
