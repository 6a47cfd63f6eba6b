#include "lumivel/console_session.h"

#include "console_image_list.h"
#include "console_object.h"
#include "console_verbs.h"
#include "context_menu_items.h"
#include "hosted_control.h"
#include "lumivel/com_ptr.h"
#include "scope_tree.h"
#include "win/memory.h"
#include "win/user.h"

namespace lumivel::console {

using lumivel::ComPtr;

struct ConsoleSession::State {
    SessionView* view = nullptr;
    ScopeTree tree;
    ComPtr<ConsoleImageList> scopeImages;
    ComPtr<ConsoleImageList> resultImages;
    ComPtr<ConsoleVerbs> verbs;
    ComPtr<ConsoleObject> console;
    ComPtr<IComponentData> data;
    ComPtr<IComponent> component;
    HSCOPEITEM selected = 0;
    std::u16string resultViewType;
    std::unique_ptr<HostedControl> control;
    HRESULT resultViewError = S_OK;
    std::u16string statusText;
    std::u16string name;
    std::vector<HICON> aboutIcons;
};

namespace {

// What a snap-in writes for a text format into a block of ours: UTF-16 up to its null,
// never past the block.
std::u16string ReadText(IDataObject* object, CLIPFORMAT format) {
    if (!object) return {};
    HGLOBAL block = GlobalAlloc(GHND, 512);
    if (!block) return {};
    FORMATETC request{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    std::u16string text;
    if (SUCCEEDED(object->GetDataHere(&request, &medium))) {
        // The snap-in's stream may have grown the block.
        SIZE_T size = GlobalSize(medium.hGlobal);
        if (auto* chars = static_cast<const char16_t*>(GlobalLock(medium.hGlobal))) {
            size_t count = size / sizeof(char16_t);
            size_t length = 0;
            while (length < count && chars[length]) ++length;
            text.assign(chars, length);
            GlobalUnlock(medium.hGlobal);
        }
    }
    GlobalFree(medium.hGlobal);
    return text;
}

std::u16string TakeTaskString(LPOLESTR text) {
    std::u16string copy = text ? std::u16string(text) : std::u16string();
    CoTaskMemFree(text);
    return copy;
}

}  // namespace

ConsoleSession::ConsoleSession(SessionView* view) : m(std::make_unique<State>()) {
    m->view = view;
    m->tree.setObserver([this](ScopeChange change, HSCOPEITEM item) {
        if (change == ScopeChange::Deleted && item == m->selected) {
            // The snap-in removed what was shown; its node is gone, so no MMCN_SHOW follows.
            m->selected = 0;
            closeResultView();
            m->resultViewType.clear();
            if (m->verbs) m->verbs->reset();
            if (m->view) m->view->resultViewChanged();
        }
        if (m->view) m->view->scopeChanged(change, item);
    });
}

ConsoleSession::~ConsoleSession() { close(); }

bool ConsoleSession::isOpen() const { return bool(m->data); }

HRESULT ConsoleSession::open(const CLSID& snapin, const std::u16string& registeredName) {
    close();
    m->name = registeredName;
    m->scopeImages = com::NewComObject<ConsoleImageList>();
    m->resultImages = com::NewComObject<ConsoleImageList>();
    m->verbs = com::NewComObject<ConsoleVerbs>();
    if (!m->scopeImages || !m->resultImages || !m->verbs) return E_OUTOFMEMORY;
    m->scopeImages->setChanged([this] {
        if (m->view) m->view->imagesChanged();
    });
    m->console = com::NewComObject<ConsoleObject>(this, &m->tree, m->scopeImages.get(), m->resultImages.get(),
                                                  m->verbs.get());
    if (!m->console) return E_OUTOFMEMORY;

    HRESULT hr = CoCreateInstance(snapin, nullptr, CLSCTX_INPROC_SERVER, IID_IComponentData, m->data.putVoid());
    if (FAILED(hr)) {
        close();
        return hr;
    }
    hr = m->data->Initialize(static_cast<IConsole2*>(m->console.get()));
    if (SUCCEEDED(hr)) hr = m->data->CreateComponent(m->component.put());
    if (SUCCEEDED(hr) && !m->component) hr = E_UNEXPECTED;
    if (SUCCEEDED(hr)) hr = m->component->Initialize(static_cast<IConsole2*>(m->console.get()));
    if (FAILED(hr)) {
        close();
        return hr;
    }
    // The static root item is named by the snap-in's root data object (cookie 0).
    ComPtr<IDataObject> rootObject;
    std::u16string rootName;
    if (SUCCEEDED(m->data->QueryDataObject(0, CCT_SCOPE, rootObject.put())))
        rootName = ReadText(rootObject.get(), CLIPFORMAT(RegisterClipboardFormatW(CCF_DISPLAY_NAME)));
    if (m->name.empty()) m->name = rootName;
    m->tree.addRoot(rootName.empty() ? registeredName : rootName, -1);
    return S_OK;
}

void ConsoleSession::close() {
    HSCOPEITEM root = m->tree.root();
    if (m->data && m->component && m->selected) {
        ComPtr<IDataObject> object;
        const ScopeItem* item = m->tree.find(m->selected);
        if (item && SUCCEEDED(m->data->QueryDataObject(item->lParam, CCT_SCOPE, object.put())))
            m->component->Notify(object.get(), MMCN_SHOW, FALSE, m->selected);
    }
    m->selected = 0;
    closeResultView();
    m->resultViewType.clear();
    if (m->data && root) {
        ComPtr<IDataObject> object;
        if (SUCCEEDED(m->data->QueryDataObject(0, CCT_SCOPE, object.put())))
            m->data->Notify(object.get(), MMCN_REMOVE_CHILDREN, LPARAM(root), 0);
    }
    if (m->component) m->component->Destroy(0);
    if (m->data) m->data->Destroy();
    m->component.reset();
    m->data.reset();
    if (m->console) m->console->detach();
    m->console.reset();
    if (root) m->tree.remove(root, true);
    for (HICON icon : m->aboutIcons) DestroyIcon(icon);
    m->aboutIcons.clear();
}

IComponentData* ConsoleSession::componentData() const { return m->data.get(); }
const ScopeTree& ConsoleSession::tree() const { return m->tree; }
HSCOPEITEM ConsoleSession::rootItem() const { return m->tree.root(); }
HSCOPEITEM ConsoleSession::selectedItem() const { return m->selected; }
const ConsoleImageList& ConsoleSession::scopeImages() const { return *m->scopeImages.get(); }
HIMAGELIST ConsoleSession::smallScopeImages() const { return m->scopeImages ? m->scopeImages->small() : nullptr; }
const std::u16string& ConsoleSession::resultViewType() const { return m->resultViewType; }
IUnknown* ConsoleSession::resultView() const { return m->control ? m->control->control() : nullptr; }
HWND ConsoleSession::resultViewWindow() const { return m->control ? m->control->controlWindow() : nullptr; }

void ConsoleSession::resizeResultView(const RECT& area) {
    if (m->control) m->control->resize(area);
}

void ConsoleSession::closeResultView() {
    // Taken out first: a control that calls back while it goes finds no view.
    std::unique_ptr<HostedControl> control = std::move(m->control);
    if (control) control->close();
}

HRESULT ConsoleSession::createResultView(const CLSID& clsid, IDataObject* item) {
    auto control = std::make_unique<HostedControl>([this](const std::u16string& text) { setStatusText(text); });
    HRESULT hr = control->create(clsid);
    if (FAILED(hr)) return hr;
    m->control = std::move(control);
    m->component->Notify(item, MMCN_INITOCX, 0, LPARAM(m->control->control()));
    RECT area{};
    HWND host = m->view ? m->view->resultHost(&area) : nullptr;
    hr = m->control ? m->control->activate(host, mainWindow(), area) : E_UNEXPECTED;
    if (FAILED(hr)) closeResultView();
    return hr;
}
HRESULT ConsoleSession::resultViewError() const { return m->resultViewError; }
const std::u16string& ConsoleSession::statusText() const { return m->statusText; }

std::u16string ConsoleSession::displayName(HSCOPEITEM id) {
    const ScopeItem* item = m->tree.find(id);
    if (!item) return {};
    if (!item->nameByCallback) return item->displayName;
    if (!m->data) return {};
    SCOPEDATAITEM data{};
    data.mask = SDI_STR;
    data.lParam = item->lParam;
    data.ID = id;
    // The string stays the snap-in's; it is copied at once.
    if (FAILED(m->data->GetDisplayInfo(&data)) || !data.displayname || data.displayname == MMC_CALLBACK) return {};
    return data.displayname;
}

int ConsoleSession::imageOf(HSCOPEITEM id) const {
    const ScopeItem* item = m->tree.find(id);
    return item ? item->image : -1;
}

namespace {

struct Target {
    ComPtr<IDataObject> object;
    HRESULT hr = E_INVALIDARG;
};

}  // namespace

static Target DataObjectOf(ConsoleSession::State& m, HSCOPEITEM id) {
    Target target;
    const ScopeItem* item = m.tree.find(id);
    if (!item || !m.data) return target;
    target.hr = m.data->QueryDataObject(item->lParam, CCT_SCOPE, target.object.put());
    return target;
}

// The item's data object when MMCN_EXPAND is still to come for it (marking it sent); S_FALSE
// when it was sent before.
static HRESULT BeginExpand(ConsoleSession::State& m, HSCOPEITEM id, Target* target) {
    ScopeItem* item = m.tree.find(id);
    if (!item || !m.data) return E_INVALIDARG;
    if (item->expanded) return S_FALSE;
    *target = DataObjectOf(m, id);
    if (FAILED(target->hr)) return target->hr;
    item->expanded = true;
    return S_OK;
}

HRESULT ConsoleSession::expand(HSCOPEITEM id) {
    Target target;
    HRESULT hr = BeginExpand(*m, id, &target);
    if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
    return m->data->Notify(target.object.get(), MMCN_EXPAND, TRUE, LPARAM(id));
}

HRESULT ConsoleSession::expandSync(HSCOPEITEM id) {
    Target target;
    HRESULT hr = BeginExpand(*m, id, &target);
    if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
    MMC_EXPANDSYNC_STRUCT sync{FALSE, TRUE, id};
    hr = m->data->Notify(target.object.get(), MMCN_EXPANDSYNC, 0, LPARAM(&sync));
    if (SUCCEEDED(hr) && sync.bHandled) return S_OK;
    return m->data->Notify(target.object.get(), MMCN_EXPAND, TRUE, LPARAM(id));
}

HRESULT ConsoleSession::consoleExpand(HSCOPEITEM id, bool expandIt) {
    if (!m->tree.find(id)) return E_INVALIDARG;
    if (!expandIt) return S_OK;  // collapsing is the window's business; the snap-in hears nothing
    HRESULT hr = expandSync(id);
    if (m->view) m->view->scopeChanged(ScopeChange::Changed, id);
    return hr;
}

HRESULT ConsoleSession::select(HSCOPEITEM id, bool again) {
    if (!m->component || !m->tree.find(id)) return E_INVALIDARG;
    if (id == m->selected && !again) return S_OK;
    if (m->selected) {
        Target previous = DataObjectOf(*m, m->selected);
        if (SUCCEEDED(previous.hr)) m->component->Notify(previous.object.get(), MMCN_SHOW, FALSE, m->selected);
    }
    // The node hid while its control still existed; now the control goes.
    closeResultView();
    m->resultViewType.clear();
    m->resultViewError = S_OK;
    m->selected = id;
    const ScopeItem* item = m->tree.find(id);
    MMC_COOKIE cookie = item->lParam;

    LPOLESTR viewType = nullptr;
    long options = 0;
    if (SUCCEEDED(m->component->GetResultViewType(cookie, &viewType, &options)) && viewType)
        m->resultViewType = TakeTaskString(viewType);
    Target target = DataObjectOf(*m, id);
    if (FAILED(target.hr)) {
        if (m->view) m->view->resultViewChanged();
        return target.hr;
    }
    CLSID control{};
    // Only controls named by CLSID are shown; other kinds of view are not offered here.
    if (!m->resultViewType.empty() && m->resultViewType.front() != u'{') m->resultViewError = E_NOTIMPL;
    if (!m->resultViewType.empty() && m->resultViewType.front() == u'{') {
        m->resultViewError = CLSIDFromString(m->resultViewType.c_str(), &control);
        if (SUCCEEDED(m->resultViewError)) m->resultViewError = createResultView(control, target.object.get());
        // The snap-in may have changed the selection while the control came up.
        if (m->selected != id) return S_OK;
    }
    if (m->view) m->view->resultViewChanged();
    m->component->Notify(target.object.get(), MMCN_ADD_IMAGES, LPARAM(m->resultImages.get()), LPARAM(id));
    m->component->Notify(target.object.get(), MMCN_SHOW, TRUE, LPARAM(id));
    // The snap-in may have removed the item while showing it.
    if (m->selected != id) return S_OK;
    m->verbs->reset();
    m->component->Notify(target.object.get(), MMCN_SELECT, MAKELONG(TRUE, TRUE), 0);
    if (m->view) m->view->resultViewChanged();
    return S_OK;
}

bool ConsoleSession::refreshOffered() const { return m->selected && m->verbs && m->verbs->offered(MMC_VERB_REFRESH); }
bool ConsoleSession::deleteOffered() const { return m->selected && m->verbs && m->verbs->offered(MMC_VERB_DELETE); }

HRESULT ConsoleSession::refresh() {
    if (!refreshOffered()) return S_FALSE;
    Target target = DataObjectOf(*m, m->selected);
    if (FAILED(target.hr)) return target.hr;
    return m->component->Notify(target.object.get(), MMCN_REFRESH, 0, 0);
}

HRESULT ConsoleSession::deleteSelected() {
    if (!deleteOffered()) return S_FALSE;
    Target target = DataObjectOf(*m, m->selected);
    if (FAILED(target.hr)) return target.hr;
    HRESULT hr = m->component->Notify(target.object.get(), MMCN_DELETE, 0, 0);
    if (hr == E_NOTIMPL) hr = m->data->Notify(target.object.get(), MMCN_DELETE, 0, 0);
    return hr;
}

HRESULT ConsoleSession::doubleClick(HSCOPEITEM id) {
    Target target = DataObjectOf(*m, id);
    if (FAILED(target.hr)) return target.hr;
    HRESULT hr = m->component->Notify(target.object.get(), MMCN_DBLCLICK, 0, 0);
    // Unhandled: the console's own default, opening the item.
    if (hr == E_NOTIMPL || hr == S_FALSE) {
        expand(id);
        return select(id);
    }
    return hr;
}

std::vector<MenuEntry> ConsoleSession::contextMenu(HSCOPEITEM id) {
    Target target = DataObjectOf(*m, id);
    if (FAILED(target.hr)) return {};
    ComPtr<IExtendContextMenu> extension;
    if (FAILED(m->data.queryInterface(IID_IExtendContextMenu, &extension))) return {};
    ComPtr<ContextMenuItems> items = com::NewComObject<ContextMenuItems>();
    if (!items) return {};
    long allowed = CCM_INSERTIONALLOWED_TOP | CCM_INSERTIONALLOWED_NEW | CCM_INSERTIONALLOWED_TASK |
                   CCM_INSERTIONALLOWED_VIEW;
    extension->AddMenuItems(target.object.get(), items.get(), &allowed);
    return items->all();
}

HRESULT ConsoleSession::command(HSCOPEITEM id, LONG commandId) {
    Target target = DataObjectOf(*m, id);
    if (FAILED(target.hr)) return target.hr;
    ComPtr<IExtendContextMenu> extension;
    HRESULT hr = m->data.queryInterface(IID_IExtendContextMenu, &extension);
    if (FAILED(hr)) return hr;
    return extension->Command(commandId, target.object.get());
}

void ConsoleSession::setStatusText(std::u16string text) {
    m->statusText = std::move(text);
    if (m->view) m->view->statusTextChanged(m->statusText);
}

HRESULT ConsoleSession::requestSelect(HSCOPEITEM id) {
    if (!m->tree.find(id)) return E_INVALIDARG;
    if (m->view) {
        m->view->selectRequested(id);
        return S_OK;
    }
    return select(id);
}

HWND ConsoleSession::mainWindow() { return m->view ? m->view->mainWindow() : nullptr; }

SnapinAboutInfo ConsoleSession::about() {
    SnapinAboutInfo info;
    info.name = m->name;
    ComPtr<ISnapinAbout> about;
    if (!m->data || FAILED(m->data.queryInterface(IID_ISnapinAbout, &about))) return info;
    LPOLESTR text = nullptr;
    if (about->GetSnapinDescription(&text) == S_OK) info.description = TakeTaskString(text);
    text = nullptr;
    if (about->GetProvider(&text) == S_OK) info.provider = TakeTaskString(text);
    text = nullptr;
    if (about->GetSnapinVersion(&text) == S_OK) info.version = TakeTaskString(text);
    HICON icon = nullptr;
    if (SUCCEEDED(about->GetSnapinImage(&icon)) && icon) {
        m->aboutIcons.push_back(icon);
        info.image = icon;
    }
    return info;
}

std::optional<std::u16string> ConsoleSession::helpTopic() {
    ComPtr<ISnapinHelp> help;
    if (!m->data || FAILED(m->data.queryInterface(IID_ISnapinHelp, &help))) return std::nullopt;
    LPOLESTR topic = nullptr;
    if (help->GetHelpTopic(&topic) != S_OK || !topic) {
        CoTaskMemFree(topic);
        return std::nullopt;
    }
    return TakeTaskString(topic);
}

}  // namespace lumivel::console
