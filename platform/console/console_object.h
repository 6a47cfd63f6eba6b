// The console as a snap-in sees it: one object answering IConsole2 and IConsoleNameSpace2,
// handed to IComponentData::Initialize and IComponent::Initialize.
#pragma once

#include "lumivel/com_object.h"
#include "win/mmc.h"

namespace lumivel::console {

class ConsoleSession;
class ScopeTree;
class ConsoleImageList;
class ConsoleVerbs;

class ConsoleObject final : public com::ComObject<ConsoleObject, IConsole2, IConsoleNameSpace2> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<ConsoleObject, IConsole2>(IID_IConsole2),
        com::InterfaceOf<ConsoleObject, IConsole2>(IID_IConsole),
        com::InterfaceOf<ConsoleObject, IConsoleNameSpace2>(IID_IConsoleNameSpace2),
        com::InterfaceOf<ConsoleObject, IConsoleNameSpace2>(IID_IConsoleNameSpace),
    };

    ConsoleObject(ConsoleSession* session, ScopeTree* tree, ConsoleImageList* scopeImages,
                  ConsoleImageList* resultImages, ConsoleVerbs* verbs)
        : m_session(session), m_tree(tree), m_scopeImages(scopeImages), m_resultImages(resultImages),
          m_verbs(verbs) {}
    // The session ends: a snap-in that kept the console gets E_UNEXPECTED from then on.
    void detach() { m_session = nullptr; m_tree = nullptr; }

    // IConsole
    HRESULT STDMETHODCALLTYPE SetHeader(IHeaderCtrl* pHeader) override;
    HRESULT STDMETHODCALLTYPE SetToolbar(IToolbar* pToolbar) override;
    HRESULT STDMETHODCALLTYPE QueryResultView(LPUNKNOWN* pUnknown) override;
    HRESULT STDMETHODCALLTYPE QueryScopeImageList(LPIMAGELIST* ppImageList) override;
    HRESULT STDMETHODCALLTYPE QueryResultImageList(LPIMAGELIST* ppImageList) override;
    HRESULT STDMETHODCALLTYPE UpdateAllViews(LPDATAOBJECT lpDataObject, LPARAM data, LONG_PTR hint) override;
    HRESULT STDMETHODCALLTYPE MessageBox(LPCWSTR lpszText, LPCWSTR lpszTitle, UINT fuStyle, int* piRetval) override;
    HRESULT STDMETHODCALLTYPE QueryConsoleVerb(LPCONSOLEVERB* ppConsoleVerb) override;
    HRESULT STDMETHODCALLTYPE SelectScopeItem(HSCOPEITEM hScopeItem) override;
    HRESULT STDMETHODCALLTYPE GetMainWindow(HWND* phwnd) override;
    HRESULT STDMETHODCALLTYPE NewWindow(HSCOPEITEM hScopeItem, unsigned long lOptions) override;
    // IConsole2
    HRESULT STDMETHODCALLTYPE Expand(HSCOPEITEM hItem, BOOL bExpand) override;
    HRESULT STDMETHODCALLTYPE IsTaskpadViewPreferred() override;
    HRESULT STDMETHODCALLTYPE SetStatusText(LPOLESTR pszStatusText) override;
    // IConsoleNameSpace2
    HRESULT STDMETHODCALLTYPE InsertItem(LPSCOPEDATAITEM item) override;
    HRESULT STDMETHODCALLTYPE DeleteItem(HSCOPEITEM hItem, long fDeleteThis) override;
    HRESULT STDMETHODCALLTYPE SetItem(LPSCOPEDATAITEM item) override;
    HRESULT STDMETHODCALLTYPE GetItem(LPSCOPEDATAITEM item) override;
    HRESULT STDMETHODCALLTYPE GetChildItem(HSCOPEITEM item, HSCOPEITEM* pItemChild, MMC_COOKIE* pCookie) override;
    HRESULT STDMETHODCALLTYPE GetNextItem(HSCOPEITEM item, HSCOPEITEM* pItemNext, MMC_COOKIE* pCookie) override;
    HRESULT STDMETHODCALLTYPE GetParentItem(HSCOPEITEM item, HSCOPEITEM* pItemParent, MMC_COOKIE* pCookie) override;
    HRESULT STDMETHODCALLTYPE Expand(HSCOPEITEM hItem) override;
    HRESULT STDMETHODCALLTYPE AddExtension(HSCOPEITEM hItem, LPCLSID lpClsid) override;

private:
    ConsoleSession* m_session;
    ScopeTree* m_tree;
    ConsoleImageList* m_scopeImages;
    ConsoleImageList* m_resultImages;
    ConsoleVerbs* m_verbs;
};

}  // namespace lumivel::console
