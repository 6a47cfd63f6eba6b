// Filling a report-style list view of a dialog: titled columns by share of the width, rows of texts.
#pragma once

#include <string>
#include <vector>

#include "win/commctrl.h"

namespace revivo {

struct ListColumn {
    const char16_t* title;
    int share;  // of the list's width, in percent
};

inline void AddListColumns(HWND list, const ListColumn* columns, int count) {
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    RECT client{};
    GetClientRect(list, &client);
    int width = client.right - client.left;
    for (int i = 0; i < count; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = width * columns[i].share / 100;
        column.pszText = const_cast<LPWSTR>(columns[i].title);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

// Appends a row; the first text is the item, the others its columns.
inline void AddListRow(HWND list, const std::vector<std::u16string>& cells) {
    if (cells.empty()) return;
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<LPWSTR>(cells[0].c_str());
    int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return;
    for (size_t column = 1; column < cells.size(); ++column) {
        LVITEMW cell{};
        cell.iSubItem = static_cast<int>(column);
        cell.pszText = const_cast<LPWSTR>(cells[column].c_str());
        SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
    }
}

}  // namespace revivo
