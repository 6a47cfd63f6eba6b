// The static root "Tarvo Lumivel": its children are the connected domains that the default
// provider lists.
#pragma once

#include <memory>

#include "snapin/scope_node.h"

namespace snapin {

struct DomainListing;

class RootNode final : public ScopeNode {
public:
    RootNode(LPCWSTR displayName, const std::u16string& nodeType, std::u16string registryBase);
    ~RootNode() override;

    HRESULT AfterPropertyPages() override { return S_OK; }
    HRESULT AddMenuItems(LPCONTEXTMENUCALLBACK callback, long* allowed) override;
    HRESULT Command(LONG providerIndex, LONG commandId, SnapinData* data) override;
    HRESULT Enumerate(HSCOPEITEM item, IConsoleNameSpace2* names) override;
    HRESULT Expand(IDataObject* object, BOOL expanding, HSCOPEITEM parent, IConsoleNameSpace2* names) override;

    // Creates the default provider and those listed under "<registry base>\Interfaces".
    void discoverProviders();
    // A domain node for a record with the node flag, inserted below the root's item. The node
    // holds a reference to the record of its own.
    HRESULT insertDomainNode(PropertySet* record, IConsoleNameSpace2* names);

    const std::u16string& registryBase() const { return m_registryBase; }

    // On the console's thread: the provider's domain nodes, read on a worker since they bind
    // to each domain, arrive.
    void takeDomains(HRESULT listed, VARIANT* list, IConsoleNameSpace2* names);

private:
    // The record of the node already made for the domain this record names, if any.
    PropertySet* connectedDomain(const PropertySet* record) const;

    std::u16string m_registryBase;
    bool m_domainsInserted = false;
    std::shared_ptr<DomainListing> m_listing;  // while the domain nodes are read
};

}  // namespace snapin
