#include "snapin/menu_merge.h"

#include <atomic>

#include "snapin/scope_node.h"
#include "win/resources.h"

namespace snapin {

namespace {

// A provider's menu nested deeper than this is cut; its data cannot drive the recursion.
constexpr int kMaxDepth = 8;

// Submenus need ids of their own that no provider command can have: above the 16 bits that
// provider commands and their indexes use.
LONG NextSubmenuId() {
    static std::atomic<LONG> next{kFirstSubmenuId};
    LONG id = next++;
    if (id >= 0x7FFF0000) next = kFirstSubmenuId;
    return id;
}

HRESULT Merge(ScopeNode* node, HMENU menu, HINSTANCE module, LPCONTEXTMENUCALLBACK callback, LONG insertionPoint,
              LONG providerIndex, int depth) {
    HRESULT last = S_OK;
    if (!menu || depth > kMaxDepth) return last;
    for (UINT position = 0;; ++position) {
        WCHAR text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
        info.dwTypeData = text;
        info.cch = ARRAYSIZE(text);
        if (!GetMenuItemInfoW(menu, position, TRUE, &info)) break;
        if (info.fType & MF_SEPARATOR) continue;
        // A command id that does not fit beside the provider's index would reach another
        // command, or another provider; such an item is left out.
        if (!info.hSubMenu && (info.wID == 0 || info.wID > UINT(kCommandMask))) continue;
        UINT state = info.fState;
        node->AdjustMenuItem(info.wID, text, &state);
        WCHAR status[256] = {};
        if (module) LoadStringW(module, info.wID, status, ARRAYSIZE(status));
        CONTEXTMENUITEM item{};
        item.strName = text;
        item.strStatusBarText = status;
        item.lCommandID = MenuCommandId(info.wID, providerIndex);
        item.lInsertionPointID = insertionPoint;
        item.fFlags = LONG(state);
        if (info.hSubMenu) {
            item.lCommandID = NextSubmenuId();
            item.fFlags |= MF_POPUP;
            item.fSpecialFlags = CCM_SPECIAL_SUBMENU;
            last = callback->AddItem(&item);
            if (SUCCEEDED(last))
                last = Merge(node, info.hSubMenu, module, callback, item.lCommandID, providerIndex, depth + 1);
        } else {
            last = callback->AddItem(&item);
        }
    }
    return last;
}

}  // namespace

HRESULT MergeProviderMenu(ScopeNode* node, HMENU menu, HINSTANCE module, LPCONTEXTMENUCALLBACK callback,
                          LONG insertionPoint, LONG providerIndex) {
    if (!callback) return E_POINTER;
    return Merge(node, menu, module, callback, insertionPoint, providerIndex, 0);
}

}  // namespace snapin
