// Context menus, commands and what their results do to the shown node.
#include <algorithm>
#include <unordered_set>

#include "lumivel/variant_holder.h"
#include "resultpane/panorel.h"
#include "resultpane/popup_menu.h"
#include "shared/object_list.h"
#include "snapin/scope_node.h"

using lumivel::ComPtr;
using lumivel::VariantHolder;

// The scope node lives in the snap-in's module, whose type information this module cannot see:
// the undefined-behaviour sanitizer's check of the node's dynamic type is left out where the
// node's fields and virtual operations are used.
#define PANOREL_FOREIGN_NODE __attribute__((no_sanitize("vptr")))

namespace panorel {

namespace {

bool IsSet(const PropertySet* record, LPCWSTR key) { return record && record->getRaw(key) != 0; }

// The records of a command result after its header, and the header's reason.
struct CommandResult {
    std::u16string reason;
    std::vector<PropertySet*> records;
};

// The header is the receiver's to free; the records after it are the ones the view already
// holds, so they are only read. The array goes with the VARIANT.
CommandResult TakeResult(VARIANT* list) {
    CommandResult result;
    std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(list, lumivel::shared::ListForm::AnyArray);
    if (list && (list->vt & VT_ARRAY) && !records.empty()) {
        PropertySet* header = records.front();
        if (header) {
            result.reason = std::u16string(header->getText(u"RefreshReason"));
            header->release();
        }
        for (size_t i = 1; i < records.size(); ++i)
            if (records[i]) result.records.push_back(records[i]);
    }
    return result;
}

}  // namespace

snapin::ScopeNode* Panorel::shownNode() const {
    if (!m_namespace || !m_scopeItem) return nullptr;
    SCOPEDATAITEM item{};
    item.mask = SDI_PARAM;
    item.ID = HSCOPEITEM(m_scopeItem);
    if (FAILED(m_namespace->GetItem(&item))) return nullptr;
    return reinterpret_cast<snapin::ScopeNode*>(item.lParam);
}

POINT Panorel::menuPoint(HWND list, MenuOpenedBy by) const {
    if (by == MenuOpenedBy::Mouse) {
        const DWORD position = GetMessagePos();
        return POINT{GET_X_LPARAM(LPARAM(position)), GET_Y_LPARAM(LPARAM(position))};
    }
    // Below the left end of the focused row's name, else of the list's first row.
    long row = long(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
    if (row < 0) row = long(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
    RECT place{};
    place.left = LVIR_LABEL;
    POINT at{0, 0};
    if (row >= 0 && SendMessageW(list, LVM_GETITEMRECT, WPARAM(row), LPARAM(&place)))
        at = POINT{place.left + 8, place.bottom};
    ClientToScreen(list, &at);
    return at;
}

void Panorel::contextMenu(HWND list, MenuOpenedBy by) {
    const CommandScope running(*this);
    std::vector<PropertySet*> selection;
    LONG kind = kMenuKindSelection;
    bool realSelection = false;
    if (list == m_topList) {
        selection = selectedTopRecords();
        realSelection = !selection.empty();
        if (!realSelection) {
            kind = kMenuKindNode;
            if (selectedNodeRecord()) selection.push_back(selectedNodeRecord());
        }
    } else {
        kind = kMenuKindBottom;
        std::vector<PropertySet*> top = selectedTopRecords();
        if (!top.empty()) selection.push_back(top.front());
        else if (selectedNodeRecord()) selection.push_back(selectedNodeRecord());
        for (long i = long(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)); i >= 0;
             i = long(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(i), LVNI_SELECTED)))
            if (PropertySet* each = record(list, i)) selection.push_back(each);
    }
    VariantHolder selectionList;
    lumivel::shared::BuildObjectList(selection, selectionList.get());

    PopupMenu popup;
    const std::vector<ComPtr<IProviderCommands>> commands = menuCommands();
    for (size_t i = 0; i < commands.size(); ++i) {
        if (!commands[i]) continue;
        HMENU menu = nullptr;
        HINSTANCE module = nullptr;
        if (SUCCEEDED(commands[i]->GetMenu(kind, selectionList.get(), &menu, &module)) && menu) {
            popup.appendProvider(menu, i);
            DestroyMenu(menu);
        }
        if (kind & 1) {
            VariantHolder node;
            lumivel::shared::RecordToVariant(selectedNodeRecord(), node.get());
            HMENU newMenu = nullptr;
            if (SUCCEEDED(commands[i]->GetMenu(kMenuTypeNew, node.get(), &newMenu, &module)) && newMenu) {
                popup.appendNewMenu(newMenu, i);
                DestroyMenu(newMenu);
            }
        }
    }
    PropertySet* first = selection.empty() ? nullptr : selection.front();
    if ((kind & 1) && realSelection && first) {
        const bool providerItems = popup.itemCount() > 0;
        if (!IsSet(first, u"Removable") && !IsSet(first, u"NoDelete")) {
            if (providerItems) popup.appendSeparator();
            popup.appendItem(u"&Delete", kMenuDelete, MFS_ENABLED);
        }
        if (!IsSet(first, u"NoProperties")) {
            if (providerItems) popup.appendSeparator();
            popup.appendItem(u"P&roperties", kMenuProperties, selection.size() > 1 ? MFS_GRAYED : MFS_DEFAULT);
        }
    }
    // A view choice, so it belongs to the list rather than to a selection.
    if (list == m_topList && (m_expiresOffered || m_restoresIntoOffered)) {
        if (popup.itemCount() > 0) popup.appendSeparator();
        if (m_expiresOffered)
            popup.appendItem(u"Show &Expires Column", kMenuShowExpires, expiresColumnShown() ? MFS_CHECKED : MFS_ENABLED);
        if (m_restoresIntoOffered)
            popup.appendItem(u"Show Restores &Into Column", kMenuShowRestoresInto,
                             restoresIntoColumnShown() ? MFS_CHECKED : MFS_ENABLED);
    }
    if (popup.itemCount() == 0) return;

    const POINT at = menuPoint(list, by);
    const UINT chosen =
        UINT(TrackPopupMenu(popup.handle(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, list, nullptr));
    if (chosen == 0) return;
    if (chosen == kMenuShowExpires) {
        showExpiresColumn(!expiresColumnShown());
        return;
    }
    if (chosen == kMenuShowRestoresInto) {
        showRestoresIntoColumn(!restoresIntoColumnShown());
        return;
    }
    VariantHolder result;
    HRESULT hr = E_FAIL;
    if (chosen == kMenuDelete || chosen == kMenuReserved || chosen == kMenuProperties) {
        if (!m_provider) return;
        if (chosen == kMenuDelete) {
            hr = m_provider->DeleteObjects(list, selectionList.get(), result.get());
        } else if (chosen == kMenuReserved) {
            hr = m_provider->ReservedCommand(list, selectionList.get(), result.get());
            if (SUCCEEDED(hr)) loadBottomColumns(true);
        } else {
            hr = m_provider->ShowProperties(list, selectionList.get(), result.get());
            if (SUCCEEDED(hr)) selectionChanged();
        }
    } else {
        // Only an id this menu merged reaches a provider, and only the one it came from.
        std::optional<MenuCommand> command = popup.command(chosen);
        if (!command || command->provider >= commands.size() || !commands[command->provider]) return;
        VariantHolder newSelection;
        VARIANT* target = selectionList.get();
        if (command->fromNew) {
            lumivel::shared::RecordToVariant(selectedNodeRecord(), newSelection.get());
            target = newSelection.get();
        }
        hr = commands[command->provider]->ExecuteCommand(list, kind, command->command, target, result.get());
    }
    handleResult(hr, result.get());
    // What the command left of the selection stays selected (a restore of several keeps the
    // ones that failed), also when the result rebuilt the list.
    if (list == m_topList && realSelection && selectedTopRecords().empty())
        selectRecords(std::unordered_set<const PropertySet*>(selection.begin(), selection.end()));
    redraw(list);
}

void Panorel::handleResult(HRESULT hr, VARIANT* list) {
    if (!list || !(list->vt & VT_ARRAY)) return;
    // A failed command may still hand back a header (its account of the failure): it is freed,
    // and nothing in the view changes.
    CommandResult result = TakeResult(list);
    VariantClear(list);
    if (FAILED(hr)) return;
    if (result.reason == u"ResetBottomPane") {
        m_lastShown = nullptr;
        loadBottomColumns(true);
    } else if (result.reason == u"ObjectsDeleted") {
        objectsDeleted(result.records);
    } else if (result.reason == u"ObjectsAdded") {
        objectsAdded(result.records);
    }
    redraw(m_topList);
}

PANOREL_FOREIGN_NODE void Panorel::objectsDeleted(const std::vector<PropertySet*>& deleted) {
    snapin::ScopeNode* node = shownNode();
    if (!node) return;
    // The control keeps showing the list until the one without the deleted records replaces
    // it: a few leaving are laid over the rows, which keep their places.
    std::unordered_set<const PropertySet*> leaving(deleted.begin(), deleted.end());
    std::vector<PropertySet*> kept, removed;
    for (PropertySet* record : lumivel::shared::ReadObjectList(&node->m_objects)) {
        if (!leaving.erase(record)) {
            kept.push_back(record);
            continue;
        }
        if (record->IsNode) {
            VARIANT handle;
            VariantInit(&handle);
            if (record->getValue(u"NodeHandle", &handle))
                m_namespace->DeleteItem(HSCOPEITEM(lumivel::shared::AddressFromVariant(&handle)), TRUE);
        }
        removed.push_back(record);
    }
    VARIANT rebuilt;
    VariantInit(&rebuilt);
    if (FAILED(lumivel::shared::BuildObjectList(kept, &rebuilt))) {
        // The node keeps its list as it was; the removed records stay owned by it.
        SetObjects(kPanorelTopPane, &node->m_objects);
        return;
    }
    // The node's references move to the new list; the removed records lose the node's one.
    VariantClear(&node->m_objects);
    node->m_objects = rebuilt;
    // Its GUID index named them: the next refresh with changes makes it again.
    node->m_guidIndex.clear();
    for (PropertySet* record : removed) record->release();
    SetObjects(kPanorelTopPane, &node->m_objects);
}

PANOREL_FOREIGN_NODE void Panorel::objectsAdded(const std::vector<PropertySet*>& added) {
    snapin::ScopeNode* node = shownNode();
    if (!node) return;
    std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&node->m_objects);
    std::vector<PropertySet*> appended;
    for (PropertySet* record : added) {
        if (std::find(records.begin(), records.end(), record) != records.end()) continue;
        if (record->IsNode) node->AddScopeChild(record, m_namespace.get());
        records.push_back(record);
        appended.push_back(record);
    }
    if (appended.empty()) return;
    VARIANT rebuilt;
    VariantInit(&rebuilt);
    if (FAILED(lumivel::shared::BuildObjectList(records, &rebuilt))) {
        // Not taken into the node: the handed-over references go.
        for (PropertySet* record : appended) record->release();
        return;
    }
    // An added record's reference, handed out with the result, becomes the node's.
    VariantClear(&node->m_objects);
    node->m_objects = rebuilt;
    node->m_guidIndex.clear();
    SetObjects(kPanorelTopPane, &node->m_objects);
}

}  // namespace panorel
