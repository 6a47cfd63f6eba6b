#include "scope_tree.h"

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

// Puts the item among the parent's children before `before`, or last without one.
void ScopeTree::link(ScopeItem& parent, ScopeItem& item, ScopeItem* before) {
    item.parent = parent.id;
    item.next = before ? before->id : 0;
    item.previous = before ? before->previous : parent.lastChild;
    if (ScopeItem* previous = find(item.previous))
        previous->next = item.id;
    else
        parent.firstChild = item.id;
    if (before)
        before->previous = item.id;
    else
        parent.lastChild = item.id;
    ++parent.childCount;
}

void ScopeTree::unlink(ScopeItem& item) {
    ScopeItem* parent = find(item.parent);
    if (!parent) return;
    if (ScopeItem* previous = find(item.previous))
        previous->next = item.next;
    else
        parent->firstChild = item.next;
    if (ScopeItem* next = find(item.next))
        next->previous = item.previous;
    else
        parent->lastChild = item.previous;
    --parent->childCount;
    item.previous = item.next = 0;
}

HRESULT ScopeTree::insert(SCOPEDATAITEM* data) {
    if (!data) return E_POINTER;
    // relativeID names the parent, or with SDI_NEXT/SDI_PREVIOUS a sibling to insert beside.
    bool besideSibling = (data->mask & (SDI_NEXT | SDI_PREVIOUS)) != 0;
    ScopeItem* relative = find(data->relativeID);
    if (!relative) return E_INVALIDARG;
    if (besideSibling && !find(relative->parent)) return E_INVALIDARG;

    ScopeItem item;
    item.id = m_next++;
    if (data->mask & SDI_STR) {
        if (data->displayname == MMC_CALLBACK)
            item.nameByCallback = true;
        else if (data->displayname)
            item.displayName = data->displayname;
    }
    if (data->mask & SDI_IMAGE) item.image = data->nImage;
    item.openImage = (data->mask & SDI_OPENIMAGE) ? data->nOpenImage : item.image;
    if (data->mask & SDI_PARAM) item.lParam = data->lParam;

    HSCOPEITEM parentId = besideSibling ? relative->parent : relative->id;
    HSCOPEITEM beforeId = 0;
    if (data->mask & SDI_NEXT)
        beforeId = relative->next;
    else if (data->mask & SDI_PREVIOUS)
        beforeId = relative->id;
    else if (data->mask & SDI_FIRST)
        beforeId = relative->firstChild;
    HSCOPEITEM id = item.id;
    ScopeItem& stored = m_items.emplace(id, std::move(item)).first->second;
    link(*find(parentId), stored, find(beforeId));
    data->ID = id;
    notify(ScopeChange::Inserted, id);
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
    if (data->mask & SDI_CHILDREN) data->cChildren = int(item->childCount);
    data->relativeID = item->parent;
    return S_OK;
}

std::vector<HSCOPEITEM> ScopeTree::childrenOf(HSCOPEITEM id) const {
    std::vector<HSCOPEITEM> children;
    const ScopeItem* item = find(id);
    if (!item) return children;
    children.reserve(item->childCount);
    for (const ScopeItem* child = find(item->firstChild); child; child = find(child->next))
        children.push_back(child->id);
    return children;
}

std::vector<HSCOPEITEM> ScopeTree::descendants(HSCOPEITEM id) const {
    // An explicit stack: a snap-in may nest items as deep as it likes.
    std::vector<HSCOPEITEM> order;
    std::vector<std::pair<HSCOPEITEM, bool>> stack;
    auto pushChildren = [&](const ScopeItem* item) {
        for (const ScopeItem* child = item ? find(item->lastChild) : nullptr; child; child = find(child->previous))
            stack.push_back({child->id, false});
    };
    pushChildren(find(id));
    while (!stack.empty()) {
        auto [current, visited] = stack.back();
        stack.pop_back();
        if (visited) {
            order.push_back(current);
            continue;
        }
        stack.push_back({current, true});
        pushChildren(find(current));
    }
    return order;
}

HRESULT ScopeTree::remove(HSCOPEITEM id, bool deleteThis) {
    if (!find(id)) return E_INVALIDARG;
    for (HSCOPEITEM child : descendants(id)) {
        notify(ScopeChange::Deleted, child);
        m_items.erase(child);
    }
    ScopeItem* item = find(id);
    item->firstChild = item->lastChild = 0;
    item->childCount = 0;
    // With its children gone the item expands afresh next time, as after a refresh.
    item->expanded = false;
    if (deleteThis) {
        unlink(*item);
        if (id == m_root) m_root = 0;
        notify(ScopeChange::Deleted, id);
        m_items.erase(id);
    }
    return S_OK;
}

}  // namespace lumivel::console
