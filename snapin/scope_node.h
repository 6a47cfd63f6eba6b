// The snap-in's scope nodes: a static root and one node per connected domain. A node's
// address is the cookie of its scope item and travels in every data object.
//
// The result-pane control shares this declaration: it finds the node through the scope
// item's parameter and reads and replaces m_objects in place. The virtual operations keep
// their slot order (the destructor is slot 0) and the fields their declaration order.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "lumivel/com_ptr.h"
#include "shared/listing_index.h"
#include "shared/property_set.h"
#include "snapin/provider_cache.h"
#include "win/mmc.h"

namespace snapin {

class SnapinData;
struct NodeFetch;
}  // namespace snapin

struct IPanorel;

namespace snapin {

// Verbs a node offers, bit i for entry i of this table.
inline constexpr MMC_CONSOLE_VERB kVerbTable[] = {
    MMC_VERB_OPEN,       MMC_VERB_COPY,    MMC_VERB_PASTE,   MMC_VERB_DELETE, MMC_VERB_PROPERTIES,
    MMC_VERB_RENAME,     MMC_VERB_REFRESH, MMC_VERB_PRINT,   MMC_VERB_CUT,
};
inline constexpr DWORD kVerbRefresh = 0x40;

class ScopeNode {
public:
    ScopeNode(LPCWSTR displayName, const std::u16string& nodeType);

    virtual ~ScopeNode();                                                                  // 0
    virtual int GetImage();                                                                // 1
    virtual HRESULT GetResultDisplayInfo(RESULTDATAITEM* item);                            // 2
    virtual HRESULT GetScopeDisplayInfo(SCOPEDATAITEM* item);                              // 3
    virtual MMC_COOKIE GetCookie();                                                        // 4
    virtual HRESULT AddPropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR handle);   // 5
    virtual HRESULT AfterPropertyPages() = 0;                                              // 6
    virtual HRESULT AddMenuItems(LPCONTEXTMENUCALLBACK callback, long* allowed) = 0;       // 7
    virtual HRESULT Command(LONG providerIndex, LONG commandId, SnapinData* data) = 0;     // 8
    virtual void AdjustMenuItem(UINT id, LPWSTR text, UINT* state);                        // 9
    virtual HRESULT Enumerate(HSCOPEITEM item, IConsoleNameSpace2* names) = 0;             // 10
    virtual HRESULT GetResultViewType(LPOLESTR* viewType, long* options);                  // 11
    virtual HRESULT Reserved12();                                                          // 12
    virtual HRESULT Expand(IDataObject* object, BOOL expanding, HSCOPEITEM parent,
                           IConsoleNameSpace2* names) = 0;                                 // 13
    virtual HRESULT Reserved14();                                                          // 14
    virtual HRESULT Delete(IConsoleNameSpace2* names);                                     // 15
    virtual HRESULT Show(IDataObject* object, BOOL selecting, HSCOPEITEM item, IConsole2* console,
                         IConsoleNameSpace2* names);                                       // 16
    virtual HRESULT Refresh(IDataObject* object, IConsole* console, IConsoleNameSpace2* names);  // 17
    virtual HRESULT InitOcx(IUnknown* control);                                            // 18
    virtual HRESULT AddScopeChild(PropertySet* record, IConsoleNameSpace2* names);         // 19
    virtual void AfterObjectsShown();                                                      // 20

    ScopeNode(const ScopeNode&) = delete;
    ScopeNode& operator=(const ScopeNode&) = delete;

    // The first scope item recorded sticks.
    void setScopeItem(HSCOPEITEM item) {
        if (!m_scopeItem) m_scopeItem = item;
    }
    HSCOPEITEM scopeItem() const { return m_scopeItem; }
    const GUID& nodeType() const { return m_nodeType; }
    LPCWSTR displayName() const { return m_displayName; }
    bool setDisplayName(LPCWSTR name);
    PropertySet* record() const { return m_record; }
    DWORD verbMask() const { return m_verbMask; }
    bool fetching() const { return m_fetch != nullptr; }
    // The node's objects, in list order.
    std::vector<PropertySet*> objects() const;
    // Takes over a list and shows it when the node is shown; the old list's records are let
    // go after the control has let go of them.
    void replaceObjects(VARIANT* list);
    // Appends a record, taking over the reference the caller holds; false when the list
    // could not be rebuilt (the reference stays the caller's).
    bool appendObject(PropertySet* record);
    // Hands the node's list to the control when the control shows this node.
    void showObjects();
    // Takes the record out of the node's object list (the first match); true when it was there.
    bool removeObject(PropertySet* record);

    ProviderCache m_providers;
    std::u16string m_alternateView;
    LPOLESTR m_displayName = nullptr;
    GUID m_nodeType{};
    HSCOPEITEM m_scopeItem = 0;
    LONG m_imageIndex = 0;
    MMC_COOKIE m_cookie = 0;
    // Non-null while a fetch for the node runs; the fetch outlives the node if it must.
    std::shared_ptr<NodeFetch> m_fetch;
    PropertySet* m_record = nullptr;
    VARIANT m_objects;
    // The earliest purge time among m_objects' tombstones (empty: none has one), kept by the
    // fetch that made the list so that a refresh need not read every record for it; unknown
    // once the list changes any other way.
    std::optional<std::u16string> m_earliestPurge;
    // m_objects' tombstones by GUID for the refresh that lays changes over them; cleared
    // whenever the list changes any other way.
    lumivel::shared::ListingGuidIndex m_guidIndex;
    LONG m_resultIsControl = 1;
    DWORD m_verbMask = 0;
    IUnknown* m_control = nullptr;

protected:
    // The control, when the node holds the result-pane control.
    lumivel::ComPtr<IPanorel> panorel() const;
    // The node holds the control and the control shows this node's scope item.
    bool shownInControl() const;
    // The node is shown: takes the console's result view when it is the control and hands it
    // the node's scope item, record, interfaces and menu providers. Null for another view.
    lumivel::ComPtr<IPanorel> attachControl(HSCOPEITEM item, IConsole2* console, IConsoleNameSpace2* names);
    // The node hides: the control forgets it and lets go of its interfaces.
    void hideObjects();

private:
    // The list becomes these records, each keeping the reference the old list held.
    bool rebuildObjects(const std::vector<PropertySet*>& records);
};

}  // namespace snapin
