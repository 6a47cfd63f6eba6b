// The verbs of the selected item (IConsoleVerb): what a snap-in enables on MMCN_SELECT and
// the console offers (Refresh on F5 and in the menus).
#pragma once

#include <map>

#include "lumivel/com_object.h"
#include "win/mmc.h"

namespace lumivel::console {

class ConsoleVerbs final : public com::ComObject<ConsoleVerbs, IConsoleVerb> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<ConsoleVerbs, IConsoleVerb>(IID_IConsoleVerb),
    };

    // A new selection starts with every verb disabled and hidden.
    void reset() {
        m_states.clear();
        m_default = MMC_VERB_NONE;
    }
    // Enabled and not hidden.
    bool offered(MMC_CONSOLE_VERB verb) const {
        auto it = m_states.find(verb);
        return it != m_states.end() && (it->second & ENABLED) && !(it->second & HIDDEN);
    }

    HRESULT STDMETHODCALLTYPE GetVerbState(MMC_CONSOLE_VERB eCmdID, MMC_BUTTON_STATE nState, BOOL* pState) override {
        if (!pState) return E_POINTER;
        if (!Known(eCmdID)) return E_INVALIDARG;
        auto it = m_states.find(eCmdID);
        DWORD state = it == m_states.end() ? DWORD(HIDDEN) : it->second;
        *pState = (state & nState) ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVerbState(MMC_CONSOLE_VERB eCmdID, MMC_BUTTON_STATE nState, BOOL bState) override {
        if (!Known(eCmdID)) return E_INVALIDARG;
        auto [it, added] = m_states.try_emplace(eCmdID, DWORD(HIDDEN));
        if (bState)
            it->second |= DWORD(nState);
        else
            it->second &= ~DWORD(nState);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetDefaultVerb(MMC_CONSOLE_VERB eCmdID) override {
        if (eCmdID != MMC_VERB_NONE && !Known(eCmdID)) return E_INVALIDARG;
        m_default = eCmdID;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultVerb(MMC_CONSOLE_VERB* peCmdID) override {
        if (!peCmdID) return E_POINTER;
        *peCmdID = m_default;
        return S_OK;
    }

private:
    static bool Known(MMC_CONSOLE_VERB verb) { return verb >= MMC_VERB_OPEN && verb <= MMC_VERB_CUT; }

    std::map<MMC_CONSOLE_VERB, DWORD> m_states;
    MMC_CONSOLE_VERB m_default = MMC_VERB_NONE;
};

}  // namespace lumivel::console
