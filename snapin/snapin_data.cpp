#include "snapin/snapin_data.h"

#include <vector>

#include "snapin/menu_merge.h"
#include "snapin/resource_ids.h"
#include "snapin/snapin_data_object.h"
#include "snapin/snapin_module.h"
#include "snapin/snapin_view.h"
#include "win/memory.h"
#include "win/resources.h"
#include "win/user.h"

namespace snapin {

using lumivel::ComPtr;

ScopeNode* NodeOfDataObject(IDataObject* object) {
    if (!object || object == DOBJ_CUSTOMOCX) return nullptr;
    HGLOBAL block = GlobalAlloc(GHND, sizeof(LONG_PTR));
    if (!block) return nullptr;
    FORMATETC format{CLIPFORMAT(ClipboardFormatNumber(ClipboardFormat::DataObjectAddress)), nullptr,
                     DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    ScopeNode* node = nullptr;
    if (SUCCEEDED(object->GetDataHere(&format, &medium))) {
        LONG_PTR address = 0;
        if (auto* data = static_cast<const LONG_PTR*>(GlobalLock(medium.hGlobal))) {
            address = *data;
            GlobalUnlock(medium.hGlobal);
        }
        // Only a data object that names itself is one of ours: anything else is not trusted.
        if (address == reinterpret_cast<LONG_PTR>(object))
            node = static_cast<SnapinDataObject*>(reinterpret_cast<IDataObject*>(address))->node();
    }
    GlobalFree(medium.hGlobal);
    return node;
}

HRESULT SnapinData::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_FAIL;
    return lumivel::com::CreateComObject<SnapinData, lumivel::com::Aggregation::Refused>(outer, riid, ppv);
}

SnapinData::SnapinData() = default;

SnapinData::~SnapinData() = default;

HRESULT SnapinData::FinalConstruct() {
    std::u16string name = LoadText(IDS_SNAPIN_NAME);
    m_root = std::unique_ptr<RootNode>(new (std::nothrow) RootNode(name.c_str(), LoadText(IDS_ROOT_NODE_TYPE),
                                                                     LoadText(IDS_REGISTRY_BASE)));
    if (!m_root || !m_root->displayName()) return E_OUTOFMEMORY;
    // The formats are numbered once per process; asking here makes sure they exist.
    ClipboardFormatNumber(ClipboardFormat::DisplayName);
    return S_OK;
}

HRESULT SnapinData::Initialize(LPUNKNOWN pUnknown) {
    if (!pUnknown) return E_POINTER;
    if (m_root) m_root->discoverProviders();
    pUnknown->QueryInterface(IID_IConsoleNameSpace2, m_names.putVoid());
    HRESULT hr = pUnknown->QueryInterface(IID_IConsole2, m_console.putVoid());
    if (m_console) fillScopeImages();
    return hr;
}

void SnapinData::fillScopeImages() {
    ComPtr<IImageList> images;
    ComPtr<ISchemaCache> cache = SchemaCache();
    if (!cache || FAILED(m_console->QueryScopeImageList(images.put())) || !images) return;
    LONG_PTR large = 0, small = 0;
    if (FAILED(cache->GetLargeImageList(&large)) || FAILED(cache->GetSmallImageList(&small))) return;
    auto largeList = reinterpret_cast<HIMAGELIST>(large);
    auto smallList = reinterpret_cast<HIMAGELIST>(small);
    HICON filler = LoadIconW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDI_FILLER));
    int count = largeList ? ImageList_GetImageCount(largeList) : 0;
    // The same positions as the cache's lists, so that its icon indexes serve the scope pane.
    for (int i = 0; i < count; ++i) {
        if (filler) {
            LONG_PTR handle = reinterpret_cast<LONG_PTR>(filler);
            images->ImageListSetIcon(&handle, i);
        }
        if (HICON icon = ImageList_GetIcon(largeList, i, ILD_NORMAL)) {
            LONG_PTR handle = reinterpret_cast<LONG_PTR>(icon);
            images->ImageListSetIcon(&handle, ILSIF_LEAVE_SMALL_ICON | i);
            DestroyIcon(icon);
        }
        if (HICON icon = smallList ? ImageList_GetIcon(smallList, i, ILD_NORMAL) : nullptr) {
            LONG_PTR handle = reinterpret_cast<LONG_PTR>(icon);
            images->ImageListSetIcon(&handle, ILSIF_LEAVE_LARGE_ICON | i);
            DestroyIcon(icon);
        }
    }
    if (filler) DestroyIcon(filler);
    if (largeList) ImageList_Destroy(largeList);
    if (smallList) ImageList_Destroy(smallList);
}

HRESULT SnapinData::CreateComponent(IComponent** ppComponent) {
    if (!ppComponent) return E_POINTER;
    *ppComponent = nullptr;
    ComPtr<SnapinView> view = lumivel::com::NewComObject<SnapinView>(this);
    if (!view) return E_OUTOFMEMORY;
    m_lastView = view.get();
    *ppComponent = view.detach();
    return S_OK;
}

void SnapinData::destroyNodes(HSCOPEITEM start) {
    if (!m_names || !start) return;
    // Children before their parents, with an explicit stack: the depth of the tree is the
    // console's, not ours to trust.
    std::vector<std::pair<HSCOPEITEM, bool>> stack{{start, false}};
    while (!stack.empty()) {
        auto [item, childrenDone] = stack.back();
        stack.pop_back();
        if (!childrenDone) {
            stack.push_back({item, true});
            HSCOPEITEM child = 0;
            MMC_COOKIE cookie = 0;
            std::vector<HSCOPEITEM> children;
            if (SUCCEEDED(m_names->GetChildItem(item, &child, &cookie)))
                while (child) {
                    children.push_back(child);
                    HSCOPEITEM next = 0;
                    if (FAILED(m_names->GetNextItem(child, &next, &cookie))) break;
                    child = next;
                }
            for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, false});
            continue;
        }
        SCOPEDATAITEM data{};
        data.mask = SDI_PARAM;
        data.ID = item;
        if (FAILED(m_names->GetItem(&data)) || !data.lParam) continue;
        auto* node = reinterpret_cast<ScopeNode*>(data.lParam);
        // The static root belongs to this object and outlives the walk.
        if (node == m_root.get()) continue;
        delete node;
        data.lParam = 0;
        m_names->SetItem(&data);
    }
}

HRESULT SnapinData::Notify(LPDATAOBJECT lpDataObject, MMC_NOTIFY_TYPE event, LPARAM arg, LPARAM param) {
    ScopeNode* node = NodeOfDataObject(lpDataObject);
    if (!node) return S_OK;
    switch (event) {
    case MMCN_ADD_IMAGES:
        return S_OK;
    case MMCN_DBLCLICK:
        return m_console ? m_console->SelectScopeItem(node->scopeItem()) : S_OK;
    case MMCN_DELETE:
        return node->Delete(m_names.get());
    case MMCN_EXPAND:
        // Not shown from here: the node expanded need not be the one the result pane shows,
        // and a collapse would take the pane from a node still on screen. MMCN_SHOW shows.
        return node->Expand(lpDataObject, BOOL(arg), HSCOPEITEM(param), m_names.get());
    case MMCN_REMOVE_CHILDREN: {
        HSCOPEITEM start = HSCOPEITEM(arg) ? HSCOPEITEM(arg) : node->scopeItem();
        destroyNodes(start);
        return S_OK;
    }
    case MMCN_EXPANDSYNC: {
        auto* sync = reinterpret_cast<MMC_EXPANDSYNC_STRUCT*>(param);
        if (!sync) return E_POINTER;
        HRESULT hr = node->Enumerate(sync->hItem, m_names.get());
        sync->bHandled = TRUE;
        return hr;
    }
    default:
        return E_NOTIMPL;
    }
}

HRESULT SnapinData::Destroy() {
    m_names.reset();
    m_console.reset();
    return S_OK;
}

HRESULT SnapinData::QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type, LPDATAOBJECT* ppDataObject) {
    if (!ppDataObject) return E_POINTER;
    *ppDataObject = nullptr;
    ScopeNode* node = cookie ? reinterpret_cast<ScopeNode*>(cookie) : m_root.get();
    ComPtr<SnapinDataObject> object = lumivel::com::NewComObject<SnapinDataObject>(node, type);
    if (!object) return E_OUTOFMEMORY;
    *ppDataObject = object.detach();
    return S_OK;
}

HRESULT SnapinData::GetDisplayInfo(SCOPEDATAITEM* pScopeDataItem) {
    if (!pScopeDataItem) return E_POINTER;
    if (!pScopeDataItem->lParam) return S_OK;
    return reinterpret_cast<ScopeNode*>(pScopeDataItem->lParam)->GetScopeDisplayInfo(pScopeDataItem);
}

HRESULT SnapinData::CompareObjects(LPDATAOBJECT, LPDATAOBJECT) { return E_NOTIMPL; }

namespace {

HRESULT AnswerString(UINT id, LPOLESTR* out) {
    if (!out) return E_POINTER;
    *out = LoadTaskString(id);
    return *out ? S_OK : S_FALSE;
}

}  // namespace

HRESULT SnapinData::GetSnapinDescription(LPOLESTR* lpDescription) {
    return AnswerString(IDS_ABOUT_DESCRIPTION, lpDescription);
}

HRESULT SnapinData::GetProvider(LPOLESTR* lpName) { return AnswerString(IDS_ABOUT_PROVIDER, lpName); }

HRESULT SnapinData::GetSnapinVersion(LPOLESTR* lpVersion) { return AnswerString(IDS_ABOUT_VERSION, lpVersion); }

HRESULT SnapinData::GetSnapinImage(HICON* hAppIcon) {
    if (!hAppIcon) return E_POINTER;
    *hAppIcon = LoadIconW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDI_SNAPIN));
    return *hAppIcon ? S_OK : E_FAIL;
}

HRESULT SnapinData::GetStaticFolderImage(HBITMAP* hSmallImage, HBITMAP* hSmallImageOpen, HBITMAP* hLargeImage,
                                         COLORREF* cMask) {
    if (!hSmallImage || !hSmallImageOpen || !hLargeImage || !cMask) return E_POINTER;
    HINSTANCE module = lumivel::com::ThisModuleHandle();
    *hSmallImage = LoadBitmapW(module, MAKEINTRESOURCEW(IDB_STATIC_FOLDER_SMALL));
    *hSmallImageOpen = LoadBitmapW(module, MAKEINTRESOURCEW(IDB_STATIC_FOLDER_SMALL));
    *hLargeImage = LoadBitmapW(module, MAKEINTRESOURCEW(IDB_STATIC_FOLDER_LARGE));
    *cMask = RGB(0, 255, 255);
    return *hSmallImage && *hSmallImageOpen && *hLargeImage ? S_OK : E_FAIL;
}

HRESULT SnapinData::GetHelpTopic(LPOLESTR* lpCompiledHelpFile) {
    if (!lpCompiledHelpFile) return E_POINTER;
    *lpCompiledHelpFile = nullptr;
    std::u16string file = LoadText(IDS_HELP_FILE);
    auto modulePath = ModulePath();
    if (file.empty() || !modulePath) return S_FALSE;
    size_t slash = modulePath->find_last_of(u"/\\");
    std::u16string path = (slash == std::u16string::npos ? std::u16string() : modulePath->substr(0, slash + 1)) + file;
    if (path.size() <= 1) return S_FALSE;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((path.size() + 1) * sizeof(WCHAR)));
    if (!copy) return E_OUTOFMEMORY;
    std::char_traits<char16_t>::copy(copy, path.c_str(), path.size() + 1);
    *lpCompiledHelpFile = copy;
    return S_OK;
}

HRESULT SnapinData::GetLinkedTopics(LPOLESTR* lpCompiledHelpFiles) {
    if (lpCompiledHelpFiles) *lpCompiledHelpFiles = nullptr;
    return S_FALSE;
}

HRESULT SnapinData::AddMenuItems(LPDATAOBJECT piDataObject, LPCONTEXTMENUCALLBACK piCallback,
                                 long* pInsertionAllowed) {
    ScopeNode* node = NodeOfDataObject(piDataObject);
    if (!node) return S_OK;
    return node->AddMenuItems(piCallback, pInsertionAllowed);
}

HRESULT SnapinData::Command(long lCommandID, LPDATAOBJECT piDataObject) {
    ScopeNode* node = NodeOfDataObject(piDataObject);
    if (!node) return S_OK;
    // A submenu's id, or one no merge made, names no provider's command.
    if (lCommandID < 0 || lCommandID >= kFirstSubmenuId || !(lCommandID & kCommandMask)) return S_FALSE;
    return node->Command((lCommandID >> kProviderShift) & 0xF, lCommandID & kCommandMask, this);
}

HRESULT SnapinData::CreatePropertyPages(LPPROPERTYSHEETCALLBACK lpProvider, LONG_PTR handle,
                                        LPDATAOBJECT lpIDataObject) {
    ScopeNode* node = NodeOfDataObject(lpIDataObject);
    if (!node) return S_FALSE;
    HRESULT hr = node->AddPropertyPages(lpProvider, handle);
    node->AfterPropertyPages();
    return hr;
}

HRESULT SnapinData::QueryPagesFor(LPDATAOBJECT) { return S_OK; }

HRESULT SnapinData::GetWatermarks(LPDATAOBJECT, HBITMAP*, HBITMAP*, HPALETTE*, BOOL*) { return S_OK; }

HWND SnapinData::ownerWindow() const {
    HWND window = nullptr;
    if (m_console) m_console->GetMainWindow(&window);
    return window;
}

}  // namespace snapin
