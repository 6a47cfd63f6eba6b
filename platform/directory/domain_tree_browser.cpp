// The domain tree browser (CLSID_DsDomainTreeBrowser, IDsBrowseDomainTree): a dialog listing
// the forest's domains; BrowseTo hands the chosen DNS name back in task memory, S_FALSE when
// the person cancels. A platform class, created in-process without registry entries.
#include "domain_tree_browser.h"

#include <algorithm>
#include <cstring>

#include "forest_domains.h"
#include "lumivel/com_object.h"
#include "lumivel/system_messages.h"
#include "win/commctrl.h"
#include "win/dsclient.h"
#include "win/errors.h"

namespace lumivel::directory {
namespace {

struct ChooseState {
    const std::vector<std::u16string>* domains;
    std::optional<std::u16string> choice;
};

int Selected(HWND dialog) { return ListView_GetNextItem(GetDlgItem(dialog, kBrowseDomainList), -1, LVNI_SELECTED); }

void Accept(HWND dialog, ChooseState& state) {
    int index = Selected(dialog);
    if (index < 0 || size_t(index) >= state.domains->size()) return;
    state.choice = (*state.domains)[size_t(index)];
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK BrowseProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<ChooseState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        state = reinterpret_cast<ChooseState*>(lParam);
        HWND list = GetDlgItem(dialog, kBrowseDomainList);
        RECT client;
        GetClientRect(list, &client);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = std::max<LONG>(client.right - 4, 50);
        column.pszText = const_cast<LPWSTR>(u"Domain");
        ListView_InsertColumn(list, 0, &column);
        for (size_t i = 0; i < state->domains->size(); ++i) {
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = int(i);
            item.pszText = const_cast<LPWSTR>((*state->domains)[i].c_str());
            ListView_InsertItem(list, &item);
        }
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
        return TRUE;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (!state || header->idFrom != UINT_PTR(kBrowseDomainList)) return FALSE;
        if (header->code == LVN_ITEMCHANGED) EnableWindow(GetDlgItem(dialog, IDOK), Selected(dialog) >= 0);
        if (header->code == NM_DBLCLK && reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem >= 0) Accept(dialog, *state);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && state) Accept(dialog, *state);
        if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
        return TRUE;
    case WM_CLOSE: EndDialog(dialog, IDCANCEL); return TRUE;
    default: return FALSE;
    }
}

void ShowFailure(HWND owner, HRESULT hr) {
    std::u16string text = SystemMessageText(DWORD(hr));
    if (text.empty()) text = u"The domains of the forest could not be read.";
    MessageBoxW(owner, text.c_str(), u"Browse for Domain", MB_OK | MB_ICONSTOP);
}

class DomainTreeBrowser final : public com::ComObject<DomainTreeBrowser, IDsBrowseDomainTree> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<DomainTreeBrowser, IDsBrowseDomainTree>(IID_IDsBrowseDomainTree),
    };

    HRESULT STDMETHODCALLTYPE BrowseTo(HWND hwndParent, LPWSTR* ppszTargetPath, DWORD) override {
        if (ppszTargetPath == nullptr) return E_POINTER;
        *ppszTargetPath = nullptr;
        std::vector<ForestDomain> forest;
        HRESULT hr = ReadForestDomains(m_server, &forest);
        if (SUCCEEDED(hr) && forest.empty()) hr = HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);
        if (FAILED(hr)) {
            ShowFailure(hwndParent, hr);
            return hr;
        }
        std::vector<std::u16string> names;
        for (const auto& domain : forest) names.push_back(domain.dnsName);
        bool failed = false;
        auto choice = ChooseDomain(hwndParent, names, &failed);
        if (failed) return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_CANCELLED);
        if (!choice) return S_FALSE;
        size_t bytes = (choice->size() + 1) * sizeof(WCHAR);
        auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (copy == nullptr) return E_OUTOFMEMORY;
        std::memcpy(copy, choice->c_str(), bytes);
        *ppszTargetPath = copy;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDomains(PDOMAIN_TREE* ppDomainTree, DWORD) override {
        if (ppDomainTree == nullptr) return E_POINTER;
        *ppDomainTree = nullptr;
        std::vector<ForestDomain> forest;
        HRESULT hr = ReadForestDomains(m_server, &forest);
        if (FAILED(hr)) return hr;
        return BuildDomainTree(forest, ppDomainTree);
    }

    HRESULT STDMETHODCALLTYPE FreeDomains(PDOMAIN_TREE* ppDomainTree) override {
        if (ppDomainTree == nullptr) return E_POINTER;
        FreeDomainTree(*ppDomainTree);
        *ppDomainTree = nullptr;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE FlushCachedDomains() override { return S_OK; }

    // Binds are the logged-on user's Kerberos binds: other credentials cannot be used.
    HRESULT STDMETHODCALLTYPE SetComputer(LPCWSTR pszComputerName, LPCWSTR pszUserName, LPCWSTR pszPassword) override {
        if ((pszUserName && *pszUserName) || (pszPassword && *pszPassword)) return E_INVALIDARG;
        m_server = pszComputerName ? std::u16string(pszComputerName) : std::u16string();
        return S_OK;
    }

private:
    std::u16string m_server;
};

}  // namespace

HRESULT CreateDomainTreeBrowserInstance(IUnknown* outer, REFIID riid, void** object) {
    return com::CreateComObject<DomainTreeBrowser, com::Aggregation::Refused>(outer, riid, object);
}

std::optional<std::u16string> ChooseDomain(HWND owner, const std::vector<std::u16string>& domains, bool* failed) {
    ChooseState state{&domains, std::nullopt};
    INT_PTR result = DialogBoxParamW(com::ThisModuleHandle(), MAKEINTRESOURCEW(kBrowseDomainDialog), owner, BrowseProc,
                                     reinterpret_cast<LPARAM>(&state));
    if (failed) *failed = result == -1;
    return result == IDOK ? state.choice : std::nullopt;
}

}  // namespace lumivel::directory
