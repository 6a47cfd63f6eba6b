// Readers of the binary resource forms the UI layer builds from: extended dialog templates,
// extended menu templates and icon group directories. Every reader checks each length
// against the data it was given and refuses a malformed template instead of reading past it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/types.h"

namespace lumivel {

// A name-or-ordinal field: an ordinal when `ordinal` is set, else `text` (possibly empty).
struct NameOrOrdinal {
    std::optional<WORD> ordinal;
    std::u16string text;
    bool empty() const { return !ordinal && text.empty(); }
};

struct DialogItemTemplate {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    SHORT x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;
    std::u16string className;  // predefined ordinals are turned into their names ("Button" ...)
    NameOrOrdinal text;
    std::vector<BYTE> creationData;
};

struct DialogTemplate {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    SHORT x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrdinal menu;
    NameOrOrdinal windowClass;
    std::u16string caption;
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::u16string typeface;
    std::vector<DialogItemTemplate> items;
};

struct MenuItemTemplate {
    UINT type = 0;
    UINT state = 0;
    UINT id = 0;
    std::u16string text;
    bool popup = false;
    std::vector<MenuItemTemplate> children;
};

struct IconDirectoryEntry {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    DWORD bytes = 0;
    WORD iconId = 0;
};

LUMIVEL_EXPORT std::optional<DialogTemplate> ParseDialogTemplate(const void* data, size_t size);
LUMIVEL_EXPORT std::optional<std::vector<MenuItemTemplate>> ParseMenuTemplate(const void* data, size_t size);
LUMIVEL_EXPORT std::optional<std::vector<IconDirectoryEntry>> ParseIconDirectory(const void* data, size_t size);

// The dialog template resource of a module (RT_DIALOG), read; nothing when it is missing
// (last error as FindResourceW sets it) or malformed (ERROR_INVALID_DATA).
LUMIVEL_EXPORT std::optional<DialogTemplate> LoadDialogTemplate(HINSTANCE module, LPCWSTR name);

}  // namespace lumivel
