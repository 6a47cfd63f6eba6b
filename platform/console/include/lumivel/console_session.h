// One snap-in loaded into the console: its component data and one component, the scope
// tree, the image lists, the verbs of the selection and the result view, and the order of
// notifications a snap-in expects. The session runs on the console's thread and has no
// window of its own; the window (or a test) gives it a SessionView.
//
// Notification order:
//   open:    IComponentData::Initialize(console), CreateComponent, IComponent::Initialize,
//            MMCN_ADD_IMAGES; the static root item is named from the root's data object.
//   expand:  MMCN_EXPAND once per item, on first expansion (IConsoleNameSpace2::Expand and
//            IConsole2::Expand send MMCN_EXPANDSYNC first and MMCN_EXPAND only when the
//            snap-in did not handle it).
//   select:  MMCN_SHOW off for the item shown before, then its control is deactivated and
//            let go; GetResultViewType; the control it names is created and given its site,
//            MMCN_INITOCX sent with the item's data object, and the control activated in
//            place in the result pane;
//            MMCN_SHOW on; MMCN_SELECT.
//   refresh: MMCN_REFRESH for the selection when it offers the Refresh verb.
//   close:   MMCN_SHOW off, the control deactivated, MMCN_REMOVE_CHILDREN on the root item, IComponent::Destroy,
//            IComponentData::Destroy, and the snap-in's objects are released.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "win/mmc.h"

namespace lumivel::console {

class ScopeTree;
class ConsoleImageList;
class ConsoleVerbs;
class ConsoleObject;
enum class ScopeChange;

// One item of a snap-in's context menu.
struct MenuEntry {
    std::u16string name;
    std::u16string statusText;
    LONG commandId = 0;
    LONG insertionPoint = 0;
    LONG flags = 0;
    LONG specialFlags = 0;
    std::vector<MenuEntry> children;  // a submenu's items
};

// What the session asks of its window.
class SessionView {
public:
    virtual ~SessionView() = default;
    virtual void scopeChanged(ScopeChange change, HSCOPEITEM item) = 0;
    // The snap-in asked for an item to be selected (IConsole::SelectScopeItem).
    virtual void selectRequested(HSCOPEITEM item) = 0;
    virtual void statusTextChanged(const std::u16string& text) = 0;
    virtual void resultViewChanged() = 0;
    virtual void imagesChanged() = 0;
    virtual HWND mainWindow() = 0;
    // The window a result-pane control is activated in, and the area it fills (client
    // coordinates); null when the view hosts no control.
    virtual HWND resultHost(RECT* area) {
        (void)area;
        return nullptr;
    }
};

struct SnapinAboutInfo {
    std::u16string name;
    std::u16string description;
    std::u16string provider;
    std::u16string version;
    HICON image = nullptr;  // owned by the session
};

class LUMIVEL_EXPORT ConsoleSession {
public:
    explicit ConsoleSession(SessionView* view);
    ~ConsoleSession();
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    // Loads the snap-in by CLSID and starts it; the failure of any step is returned and
    // leaves the session closed.
    HRESULT open(const CLSID& snapin, const std::u16string& registeredName);
    // Ends the snap-in; safe to call twice.
    void close();
    bool isOpen() const;

    // The snap-in's component data, for tests that send it notifications themselves.
    IComponentData* componentData() const;

    const ScopeTree& tree() const;
    HSCOPEITEM rootItem() const;
    // The name the console shows for an item (asked through GetDisplayInfo for callback names).
    std::u16string displayName(HSCOPEITEM item);
    // The image an item shows now.
    int imageOf(HSCOPEITEM item) const;
    const ConsoleImageList& scopeImages() const;
    // The 16-pixel scope images, as the tree shows them.
    HIMAGELIST smallScopeImages() const;

    HRESULT expand(HSCOPEITEM item);
    HRESULT expandSync(HSCOPEITEM item);
    // Selecting the selected item does nothing unless `again` asks to show it anew.
    HRESULT select(HSCOPEITEM item, bool again = false);
    HSCOPEITEM selectedItem() const;
    bool refreshOffered() const;
    bool deleteOffered() const;
    HRESULT refresh();
    HRESULT deleteSelected();
    HRESULT doubleClick(HSCOPEITEM item);

    // The snap-in's context menu of an item; command() runs one of its commands.
    std::vector<MenuEntry> contextMenu(HSCOPEITEM item);
    HRESULT command(HSCOPEITEM item, LONG commandId);

    // The result view the selection names: its CLSID string (empty for none), and the
    // control active in the result pane, or the failure to create or activate it.
    const std::u16string& resultViewType() const;
    IUnknown* resultView() const;
    HRESULT resultViewError() const;
    // The result pane changed size: the active control follows.
    void resizeResultView(const RECT& area);
    // The window the active control made for itself (null without one).
    HWND resultViewWindow() const;

    const std::u16string& statusText() const;
    SnapinAboutInfo about();
    // The snap-in's help file, or nothing when it names none.
    std::optional<std::u16string> helpTopic();

    // For ConsoleObject: calls the snap-in makes on the console.
    void setStatusText(std::u16string text);
    HRESULT requestSelect(HSCOPEITEM item);
    HRESULT consoleExpand(HSCOPEITEM item, bool expand);
    HWND mainWindow();

    struct State;

private:
    HRESULT createResultView(const CLSID& clsid, IDataObject* item);
    void closeResultView();

    std::unique_ptr<State> m;
};

}  // namespace lumivel::console
