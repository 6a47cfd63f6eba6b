// SnapinData: the snap-in's component data, one per snap-in instance in a console. It owns
// the root node and answers the console for the scope pane, about, help and context menus.
#pragma once

#include <memory>

#include "lumivel/com_object.h"
#include "snapin/root_node.h"
#include "win/mmc.h"

namespace snapin {

class SnapinView;

class SnapinData final : public lumivel::com::ComObject<SnapinData, IComponentData, ISnapinAbout, ISnapinHelp2,
                                                        IExtendContextMenu, IExtendPropertySheet2> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<SnapinData, IComponentData>(IID_IComponentData),
        lumivel::com::InterfaceOf<SnapinData, ISnapinAbout>(IID_ISnapinAbout),
        lumivel::com::InterfaceOf<SnapinData, ISnapinHelp2>(IID_ISnapinHelp2),
        lumivel::com::InterfaceOf<SnapinData, ISnapinHelp2>(IID_ISnapinHelp),
        lumivel::com::InterfaceOf<SnapinData, IExtendContextMenu>(IID_IExtendContextMenu),
        lumivel::com::InterfaceOf<SnapinData, IExtendPropertySheet2>(IID_IExtendPropertySheet2),
        lumivel::com::InterfaceOf<SnapinData, IExtendPropertySheet2>(IID_IExtendPropertySheet),
    };

    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    SnapinData();
    ~SnapinData() override;
    HRESULT FinalConstruct() override;

    // IComponentData
    HRESULT STDMETHODCALLTYPE Initialize(LPUNKNOWN pUnknown) override;
    HRESULT STDMETHODCALLTYPE CreateComponent(IComponent** ppComponent) override;
    HRESULT STDMETHODCALLTYPE Notify(LPDATAOBJECT lpDataObject, MMC_NOTIFY_TYPE event, LPARAM arg,
                                     LPARAM param) override;
    HRESULT STDMETHODCALLTYPE Destroy() override;
    HRESULT STDMETHODCALLTYPE QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type,
                                              LPDATAOBJECT* ppDataObject) override;
    HRESULT STDMETHODCALLTYPE GetDisplayInfo(SCOPEDATAITEM* pScopeDataItem) override;
    HRESULT STDMETHODCALLTYPE CompareObjects(LPDATAOBJECT lpDataObjectA, LPDATAOBJECT lpDataObjectB) override;
    // ISnapinAbout
    HRESULT STDMETHODCALLTYPE GetSnapinDescription(LPOLESTR* lpDescription) override;
    HRESULT STDMETHODCALLTYPE GetProvider(LPOLESTR* lpName) override;
    HRESULT STDMETHODCALLTYPE GetSnapinVersion(LPOLESTR* lpVersion) override;
    HRESULT STDMETHODCALLTYPE GetSnapinImage(HICON* hAppIcon) override;
    HRESULT STDMETHODCALLTYPE GetStaticFolderImage(HBITMAP* hSmallImage, HBITMAP* hSmallImageOpen,
                                                   HBITMAP* hLargeImage, COLORREF* cMask) override;
    // ISnapinHelp2
    HRESULT STDMETHODCALLTYPE GetHelpTopic(LPOLESTR* lpCompiledHelpFile) override;
    HRESULT STDMETHODCALLTYPE GetLinkedTopics(LPOLESTR* lpCompiledHelpFiles) override;
    // IExtendContextMenu
    HRESULT STDMETHODCALLTYPE AddMenuItems(LPDATAOBJECT piDataObject, LPCONTEXTMENUCALLBACK piCallback,
                                           long* pInsertionAllowed) override;
    HRESULT STDMETHODCALLTYPE Command(long lCommandID, LPDATAOBJECT piDataObject) override;
    // IExtendPropertySheet2
    HRESULT STDMETHODCALLTYPE CreatePropertyPages(LPPROPERTYSHEETCALLBACK lpProvider, LONG_PTR handle,
                                                  LPDATAOBJECT lpIDataObject) override;
    HRESULT STDMETHODCALLTYPE QueryPagesFor(LPDATAOBJECT lpDataObject) override;
    HRESULT STDMETHODCALLTYPE GetWatermarks(LPDATAOBJECT lpIDataObject, HBITMAP* lphWatermark, HBITMAP* lphHeader,
                                            HPALETTE* lphPalette, BOOL* bStretch) override;

    RootNode* root() const { return m_root.get(); }
    IConsole2* console() const { return m_console.get(); }
    IConsoleNameSpace2* names() const { return m_names.get(); }
    // The console's main window, to own the provider's dialogs; null without a console.
    HWND ownerWindow() const;
    void forgetView(SnapinView* view) {
        if (m_lastView == view) m_lastView = nullptr;
    }

private:
    void fillScopeImages();
    // Destroys the nodes in the scope items below and including `item`, children first.
    void destroyNodes(HSCOPEITEM item);

    lumivel::ComPtr<IConsole2> m_console;
    lumivel::ComPtr<IConsoleNameSpace2> m_names;
    std::unique_ptr<RootNode> m_root;
    SnapinView* m_lastView = nullptr;
};

// The node a data object of this snap-in carries; null for foreign or null data objects.
ScopeNode* NodeOfDataObject(IDataObject* object);

}  // namespace snapin
