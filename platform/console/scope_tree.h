// The console's scope items and the IConsoleNameSpace2 a snap-in inserts them through.
//
// Items are numbered from 1 and never reused within a session, so a handle a snap-in kept
// after deleting its item can never name someone else's item.
#pragma once

#include <functional>
#include <unordered_map>
#include <string>
#include <vector>

#include "win/mmc.h"

namespace lumivel::console {

// Siblings are linked both ways, so that walking, inserting beside and removing an item cost
// the same among a hundred thousand siblings as among three.
struct ScopeItem {
    HSCOPEITEM id = 0;
    HSCOPEITEM parent = 0;
    HSCOPEITEM firstChild = 0;
    HSCOPEITEM lastChild = 0;
    HSCOPEITEM previous = 0;
    HSCOPEITEM next = 0;
    size_t childCount = 0;
    bool nameByCallback = false;
    std::u16string displayName;  // when not by callback
    int image = 0;
    int openImage = 0;
    LPARAM lParam = 0;
    bool expanded = false;  // MMCN_EXPAND has been sent once
};

enum class ScopeChange { Inserted, Changed, Deleted };

class ScopeTree {
public:
    using Observer = std::function<void(ScopeChange, HSCOPEITEM)>;

    void setObserver(Observer observer) { m_observer = std::move(observer); }

    // The static root item of the snap-in: no lParam, named by the console.
    HSCOPEITEM addRoot(std::u16string displayName, int image);
    HSCOPEITEM root() const { return m_root; }

    const ScopeItem* find(HSCOPEITEM id) const;
    ScopeItem* find(HSCOPEITEM id);

    HRESULT insert(SCOPEDATAITEM* item);
    HRESULT set(const SCOPEDATAITEM* item);
    HRESULT get(SCOPEDATAITEM* item) const;
    // Removes the children of `id`, and `id` itself with deleteThis.
    HRESULT remove(HSCOPEITEM id, bool deleteThis);

    // The children of `id` in order.
    std::vector<HSCOPEITEM> childrenOf(HSCOPEITEM id) const;
    // Items below `id`, children before their parents.
    std::vector<HSCOPEITEM> descendants(HSCOPEITEM id) const;

private:
    void notify(ScopeChange change, HSCOPEITEM id) {
        if (m_observer) m_observer(change, id);
    }

    std::unordered_map<HSCOPEITEM, ScopeItem> m_items;

    void link(ScopeItem& parent, ScopeItem& item, ScopeItem* before);
    void unlink(ScopeItem& item);
    HSCOPEITEM m_next = 1;
    HSCOPEITEM m_root = 0;
    Observer m_observer;
};

}  // namespace lumivel::console
