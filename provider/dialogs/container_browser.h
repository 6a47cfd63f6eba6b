// Walking a domain's live containers one level at a time, for the "Restore To" chooser: the
// browsing itself, apart from the dialog and from the directory that answers it.
#pragma once

#include <string>
#include <vector>

#include "win/types.h"

namespace revivo {

struct ContainerEntry {
    std::u16string name;
    std::u16string dn;
    std::u16string className;
};

// Where the containers come from: the directory, or a test's script.
class ContainerSource {
public:
    virtual ~ContainerSource() = default;
    // The containers one level below dn, at most limit of them; *more says whether there were
    // others. A failure is the reason dn cannot be listed (it does not exist, no rights ...).
    virtual HRESULT ListChildContainers(std::u16string_view dn, size_t limit, std::vector<ContainerEntry>* children,
                                        bool* more) = 0;
    // Whether the caller may create the class in dn, as CheckCreationIn answers.
    virtual HRESULT AcceptsClass(std::u16string_view dn, std::u16string_view className) = 0;
};

// The live containers as an LDAP session to the server (empty: serverless) finds them.
class DirectoryContainers final : public ContainerSource {
public:
    explicit DirectoryContainers(std::u16string server) : m_server(std::move(server)) {}
    HRESULT ListChildContainers(std::u16string_view dn, size_t limit, std::vector<ContainerEntry>* children,
                                bool* more) override;
    HRESULT AcceptsClass(std::u16string_view dn, std::u16string_view className) override;

private:
    std::u16string m_server;
};

// One container listed at a time; moving fails without changing what is listed.
class ContainerBrowser {
public:
    // A busy container shows this many children; the rest are reached by typing their DN.
    static constexpr size_t kShownLimit = 1000;

    ContainerBrowser(ContainerSource& source, std::u16string namingContext)
        : m_source(source), m_namingContext(std::move(namingContext)) {}

    // Lists the nearest live container at or above start within the naming context, else the
    // naming context itself.
    HRESULT OpenNear(std::u16string_view start);
    HRESULT Open(std::u16string_view dn);
    HRESULT Enter(size_t index);
    HRESULT Up();
    bool CanGoUp() const;
    HRESULT AcceptsClass(std::u16string_view dn, std::u16string_view className) {
        return m_source.AcceptsClass(dn, className);
    }

    const std::u16string& Current() const { return m_current; }
    const std::vector<ContainerEntry>& Children() const { return m_children; }
    bool More() const { return m_more; }
    const std::u16string& NamingContext() const { return m_namingContext; }

private:
    ContainerSource& m_source;
    std::u16string m_namingContext;
    std::u16string m_current;
    std::vector<ContainerEntry> m_children;
    bool m_more = false;
};

// The naming context a tombstone belongs to: what follows its Deleted Objects container, else
// the trailing DC= parts of its last known parent.
std::u16string NamingContextOfTombstone(std::u16string_view tombstone, std::u16string_view lastKnownParent);

}  // namespace revivo
