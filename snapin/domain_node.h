// A connected domain: its result view lists the domain's deleted objects, read anew by a
// NodeWorker whenever the node is shown; a refresh reads what changed since the last one.
#pragma once

#include "snapin/node_worker.h"
#include "snapin/scope_node.h"

namespace snapin {

class DomainNode final : public ScopeNode {
public:
    DomainNode(LPCWSTR displayName, const std::u16string& nodeType);

    // Takes one reference to the record of its own; the record becomes the cookie.
    void attachRecord(PropertySet* record);

    HRESULT AfterPropertyPages() override { return E_FAIL; }
    HRESULT AddMenuItems(LPCONTEXTMENUCALLBACK callback, long* allowed) override;
    HRESULT Command(LONG providerIndex, LONG commandId, SnapinData* data) override;
    HRESULT Enumerate(HSCOPEITEM item, IConsoleNameSpace2* names) override;
    HRESULT Expand(IDataObject* object, BOOL expanding, HSCOPEITEM parent, IConsoleNameSpace2* names) override;
    HRESULT Show(IDataObject* object, BOOL selecting, HSCOPEITEM item, IConsole2* console,
                 IConsoleNameSpace2* names) override;
    HRESULT Refresh(IDataObject* object, IConsole* console, IConsoleNameSpace2* names) override;

    bool m_refreshPending = false;
    // Where the list stands, so that a refresh reads only what changed since.
    ListingSyncPoint m_syncPoint;
};

}  // namespace snapin
