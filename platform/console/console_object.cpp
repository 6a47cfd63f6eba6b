#include "console_object.h"

#include "console_image_list.h"
#include "console_verbs.h"
#include "lumivel/console_session.h"
#include "scope_tree.h"
#include "win/user.h"

namespace lumivel::console {

namespace {

HRESULT Answer(const ScopeItem* item, HSCOPEITEM* handle, MMC_COOKIE* cookie) {
    *handle = item ? item->id : 0;
    if (cookie) *cookie = item ? item->lParam : 0;
    return item ? S_OK : S_FALSE;
}

}  // namespace


HRESULT ConsoleObject::SetHeader(IHeaderCtrl*) {
    // Every result view here is a control, which draws its own header.
    return S_OK;
}

HRESULT ConsoleObject::SetToolbar(IToolbar*) { return E_NOTIMPL; }

HRESULT ConsoleObject::QueryResultView(LPUNKNOWN* pUnknown) {
    if (!pUnknown) return E_POINTER;
    *pUnknown = nullptr;
    if (!m_session) return E_UNEXPECTED;
    IUnknown* view = m_session->resultView();
    if (!view) return E_FAIL;
    view->AddRef();
    *pUnknown = view;
    return S_OK;
}

HRESULT ConsoleObject::QueryScopeImageList(LPIMAGELIST* ppImageList) {
    if (!ppImageList) return E_POINTER;
    *ppImageList = nullptr;
    if (!m_session) return E_UNEXPECTED;
    return m_scopeImages->QueryInterface(IID_IImageList, reinterpret_cast<void**>(ppImageList));
}

HRESULT ConsoleObject::QueryResultImageList(LPIMAGELIST* ppImageList) {
    if (!ppImageList) return E_POINTER;
    *ppImageList = nullptr;
    if (!m_session) return E_UNEXPECTED;
    return m_resultImages->QueryInterface(IID_IImageList, reinterpret_cast<void**>(ppImageList));
}

HRESULT ConsoleObject::UpdateAllViews(LPDATAOBJECT, LPARAM, LONG_PTR) {
    // One view per console: there are no other views to tell.
    return S_OK;
}

HRESULT ConsoleObject::MessageBox(LPCWSTR lpszText, LPCWSTR lpszTitle, UINT fuStyle, int* piRetval) {
    HWND owner = m_session ? m_session->mainWindow() : nullptr;
    int answer = MessageBoxW(owner, lpszText ? lpszText : u"", lpszTitle ? lpszTitle : u"", fuStyle);
    if (piRetval) *piRetval = answer;
    return answer ? S_OK : E_FAIL;
}

HRESULT ConsoleObject::QueryConsoleVerb(LPCONSOLEVERB* ppConsoleVerb) {
    if (!ppConsoleVerb) return E_POINTER;
    *ppConsoleVerb = nullptr;
    if (!m_session) return E_UNEXPECTED;
    return m_verbs->QueryInterface(IID_IConsoleVerb, reinterpret_cast<void**>(ppConsoleVerb));
}

HRESULT ConsoleObject::SelectScopeItem(HSCOPEITEM hScopeItem) {
    return m_session ? m_session->requestSelect(hScopeItem) : E_UNEXPECTED;
}

HRESULT ConsoleObject::GetMainWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = m_session ? m_session->mainWindow() : nullptr;
    return *phwnd ? S_OK : E_FAIL;
}

HRESULT ConsoleObject::NewWindow(HSCOPEITEM, unsigned long) {
    // The console shows one window.
    return E_NOTIMPL;
}

HRESULT ConsoleObject::Expand(HSCOPEITEM hItem, BOOL bExpand) {
    return m_session ? m_session->consoleExpand(hItem, bExpand != FALSE) : E_UNEXPECTED;
}

HRESULT ConsoleObject::IsTaskpadViewPreferred() { return S_FALSE; }

HRESULT ConsoleObject::SetStatusText(LPOLESTR pszStatusText) {
    if (!m_session) return E_UNEXPECTED;
    m_session->setStatusText(pszStatusText ? pszStatusText : u"");
    return S_OK;
}

HRESULT ConsoleObject::InsertItem(LPSCOPEDATAITEM item) { return m_tree ? m_tree->insert(item) : E_UNEXPECTED; }

HRESULT ConsoleObject::DeleteItem(HSCOPEITEM hItem, long fDeleteThis) {
    return m_tree ? m_tree->remove(hItem, fDeleteThis != 0) : E_UNEXPECTED;
}

HRESULT ConsoleObject::SetItem(LPSCOPEDATAITEM item) { return m_tree ? m_tree->set(item) : E_UNEXPECTED; }

HRESULT ConsoleObject::GetItem(LPSCOPEDATAITEM item) { return m_tree ? m_tree->get(item) : E_UNEXPECTED; }

HRESULT ConsoleObject::GetChildItem(HSCOPEITEM item, HSCOPEITEM* pItemChild, MMC_COOKIE* pCookie) {
    if (!pItemChild) return E_POINTER;
    if (!m_tree) return E_UNEXPECTED;
    const ScopeItem* parent = m_tree->find(item);
    if (!parent) return E_INVALIDARG;
    return Answer(m_tree->find(parent->firstChild), pItemChild, pCookie);
}

HRESULT ConsoleObject::GetNextItem(HSCOPEITEM item, HSCOPEITEM* pItemNext, MMC_COOKIE* pCookie) {
    if (!pItemNext) return E_POINTER;
    if (!m_tree) return E_UNEXPECTED;
    const ScopeItem* current = m_tree->find(item);
    if (!current) return E_INVALIDARG;
    const ScopeItem* next = m_tree->find(current->next);
    return Answer(next, pItemNext, pCookie);
}

HRESULT ConsoleObject::GetParentItem(HSCOPEITEM item, HSCOPEITEM* pItemParent, MMC_COOKIE* pCookie) {
    if (!pItemParent) return E_POINTER;
    if (!m_tree) return E_UNEXPECTED;
    const ScopeItem* current = m_tree->find(item);
    if (!current) return E_INVALIDARG;
    return Answer(m_tree->find(current->parent), pItemParent, pCookie);
}

HRESULT ConsoleObject::Expand(HSCOPEITEM hItem) { return m_session ? m_session->expandSync(hItem) : E_UNEXPECTED; }

HRESULT ConsoleObject::AddExtension(HSCOPEITEM, LPCLSID) {
    // The console loads stand-alone snap-ins only.
    return E_NOTIMPL;
}

}  // namespace lumivel::console
