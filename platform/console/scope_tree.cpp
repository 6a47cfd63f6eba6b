#include "scope_tree.h"

#include <algorithm>

namespace lumivel::console {

HSCOPEITEM ScopeTree::addRoot(std::u16string displayName, int image) {
    ScopeItem item;
    item.id = m_next++;
    item.displayName = std::move(displayName);
    item.image = item.openImage = image;
    m_root = item.id;
    m_items.emplace(item.id, item);
    notify(ScopeChange::Inserted, m_root);
    return m_root;
}

const ScopeItem* ScopeTree::find(HSCOPEITEM id) const {
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : &it->second;
}

ScopeItem* ScopeTree::find(HSCOPEITEM id) {
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : &it->second;
}

HRESULT ScopeTree::insert(SCOPEDATAITEM* data) {
    if (!data) return E_POINTER;
    // relativeID names the parent, or with SDI_NEXT/SDI_PREVIOUS a sibling to insert beside.
    bool besideSibling = (data->mask & (SDI_NEXT | SDI_PREVIOUS)) != 0;
    ScopeItem* relative = find(data->relativeID);
    if (!relative) return E_INVALIDARG;
    HSCOPEITEM parentId = besideSibling ? relative->parent : relative->id;
    ScopeItem* parent = find(parentId);
    if (!parent) return E_INVALIDARG;

    ScopeItem item;
    item.id = m_next++;
    item.parent = parentId;
    if (data->mask & SDI_STR) {
        if (data->displayname == MMC_CALLBACK)
            item.nameByCallback = true;
        else if (data->displayname)
            item.displayName = data->displayname;
    }
    if (data->mask & SDI_IMAGE) item.image = data->nImage;
    item.openImage = (data->mask & SDI_OPENIMAGE) ? data->nOpenImage : item.image;
    if (data->mask & SDI_PARAM) item.lParam = data->lParam;

    auto& siblings = parent->children;
    auto position = siblings.end();
    if (data->mask & SDI_FIRST) {
        position = siblings.begin();
    } else if (besideSibling) {
        position = std::find(siblings.begin(), siblings.end(), relative->id);
        if (data->mask & SDI_NEXT) ++position;
    }
    siblings.insert(position, item.id);
    data->ID = item.id;
    m_items.emplace(item.id, std::move(item));
    notify(ScopeChange::Inserted, data->ID);
    return S_OK;
}

HRESULT ScopeTree::set(const SCOPEDATAITEM* data) {
    if (!data) return E_POINTER;
    ScopeItem* item = find(data->ID);
    if (!item) return E_INVALIDARG;
    if (data->mask & SDI_STR) {
        item->nameByCallback = data->displayname == MMC_CALLBACK;
        item->displayName = (!item->nameByCallback && data->displayname) ? data->displayname : u"";
    }
    if (data->mask & SDI_IMAGE) item->image = data->nImage;
    if (data->mask & SDI_OPENIMAGE) item->openImage = data->nOpenImage;
    if (data->mask & SDI_PARAM) item->lParam = data->lParam;
    notify(ScopeChange::Changed, item->id);
    return S_OK;
}

HRESULT ScopeTree::get(SCOPEDATAITEM* data) const {
    if (!data) return E_POINTER;
    const ScopeItem* item = find(data->ID);
    if (!item) return E_INVALIDARG;
    // Names stay with the console; a snap-in that asks for one gets the callback marker or
    // nothing, as it never owns the console's strings.
    if (data->mask & SDI_STR) data->displayname = item->nameByCallback ? MMC_CALLBACK : nullptr;
    if (data->mask & SDI_IMAGE) data->nImage = item->image;
    if (data->mask & SDI_OPENIMAGE) data->nOpenImage = item->openImage;
    if (data->mask & SDI_PARAM) data->lParam = item->lParam;
    if (data->mask & SDI_CHILDREN) data->cChildren = int(item->children.size());
    data->relativeID = item->parent;
    return S_OK;
}

std::vector<HSCOPEITEM> ScopeTree::descendants(HSCOPEITEM id) const {
    // An explicit stack: a snap-in may nest items as deep as it likes.
    std::vector<HSCOPEITEM> order;
    std::vector<std::pair<HSCOPEITEM, bool>> stack;
    if (const ScopeItem* item = find(id))
        for (auto it = item->children.rbegin(); it != item->children.rend(); ++it) stack.push_back({*it, false});
    while (!stack.empty()) {
        auto [current, visited] = stack.back();
        stack.pop_back();
        if (visited) {
            order.push_back(current);
            continue;
        }
        stack.push_back({current, true});
        if (const ScopeItem* item = find(current))
            for (auto it = item->children.rbegin(); it != item->children.rend(); ++it) stack.push_back({*it, false});
    }
    return order;
}

HRESULT ScopeTree::remove(HSCOPEITEM id, bool deleteThis) {
    ScopeItem* item = find(id);
    if (!item) return E_INVALIDARG;
    for (HSCOPEITEM child : descendants(id)) {
        notify(ScopeChange::Deleted, child);
        m_items.erase(child);
    }
    item = find(id);
    item->children.clear();
    // With its children gone the item expands afresh next time, as after a refresh.
    item->expanded = false;
    if (deleteThis) {
        if (ScopeItem* parent = find(item->parent)) std::erase(parent->children, id);
        if (id == m_root) m_root = 0;
        notify(ScopeChange::Deleted, id);
        m_items.erase(id);
    }
    return S_OK;
}

}  // namespace lumivel::console
