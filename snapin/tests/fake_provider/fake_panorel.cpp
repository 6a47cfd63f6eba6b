// The result-pane control as the snap-in's tests see it: an in-place control that answers
// IPanorel, logs each call, and holds its top pane's records as the real control does (one
// reference each, let go when the pane is replaced or the window goes).
#include <cstring>
#include <string>
#include <vector>

#include "fake_provider_control.h"
#include "no_dispatch.h"
#include "lumivel/com_object.h"
#include "lumivel/text.h"
#include "shared/object_list.h"
#include "shared/panorel_interface.h"
#include "test_control/in_place_test_control.h"

namespace {

using namespace lumivel::com;

void Log(const std::string& step) {
    char* log = FakeControl().panorelLog;
    size_t used = std::strlen(log);
    std::string text = used ? "," + step : step;
    std::strncat(log, text.c_str(), sizeof(FakeControl().panorelLog) - used - 1);
}

class FakePanorel final : public ComObject<FakePanorel, lumivel::testing::InPlaceTestControl, NoDispatch<IPanorel>> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {
        InterfaceOf<FakePanorel, IPanorel>(IID_IPanorel),
        InterfaceOf<FakePanorel, IPanorel>(IID_IDispatch),
        InterfaceOf<FakePanorel, IOleObject>(IID_IOleObject),
        InterfaceOf<FakePanorel, IOleInPlaceObject>(IID_IOleInPlaceObject),
        InterfaceOf<FakePanorel, IOleInPlaceObject>(IID_IOleWindow),
    };
    FakePanorel() { ++FakeControl().panorelsLive; }
    ~FakePanorel() override {
        letGo();
        --FakeControl().panorelsLive;
    }

    HRESULT STDMETHODCALLTYPE SetInterfaces(IUnknown* provider, IUnknown* icons, IUnknown* console,
                                            IUnknown* names) override {
        Log("SetInterfaces(" + std::to_string(!!provider) + std::to_string(!!icons) + std::to_string(!!console) +
            std::to_string(!!names) + ")");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReleaseInterfaces() override {
        Log("ReleaseInterfaces");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetObjects(LONG pane, VARIANT* objects) override {
        std::vector<PropertySet*> records = objects ? lumivel::shared::ReadObjectList(objects) : std::vector<PropertySet*>();
        Log("SetObjects(" + std::to_string(pane) + "," + (objects ? std::to_string(records.size()) : "null") + ")");
        if (pane != kPanorelTopPane) return S_OK;
        for (PropertySet* record : records)
            if (record) record->addRef();
        letGo();
        m_top = records;
        std::string names;
        for (PropertySet* record : m_top)
            if (record) names += (names.empty() ? "" : ";") + lumivel::ToUtf8(std::u16string(record->getText(u"name")));
        std::strncpy(FakeControl().shownNames, names.c_str(), sizeof(FakeControl().shownNames) - 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_SelectedNode(LONG_PTR* node) override {
        if (!node) return E_POINTER;
        *node = m_selectedNode;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_SelectedNode(LONG_PTR node) override {
        m_selectedNode = node;
        auto* record = reinterpret_cast<PropertySet*>(node);
        Log("SelectedNode=" + (record ? lumivel::ToUtf8(std::u16string(record->getText(u"name"))) : std::string("0")));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMenuInterfaces(VARIANT* providers) override {
        std::vector<LONG_PTR> addresses = lumivel::shared::ReadAddressList(providers);
        FakeControl().menuProviderCount = int(addresses.size());
        FakeControl().menuProviderType = 0;
        if (providers && providers->vt == (VT_ARRAY | VT_VARIANT) && !addresses.empty()) {
            VARIANT* elements = nullptr;
            if (SUCCEEDED(SafeArrayAccessData(providers->parray, reinterpret_cast<void**>(&elements)))) {
                FakeControl().menuProviderType = elements[0].vt;
                SafeArrayUnaccessData(providers->parray);
            }
        }
        Log("SetMenuInterfaces(" + std::to_string(addresses.size()) + ")");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMode(LONG mode) override {
        Log("SetMode(" + std::to_string(mode) + ")");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_HSCOPEITEM(LONG_PTR* item) override {
        if (!item) return E_POINTER;
        *item = m_scopeItem;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_HSCOPEITEM(LONG_PTR item) override {
        m_scopeItem = item;
        Log(std::string("HSCOPEITEM=") + (item ? "item" : "0"));
        return S_OK;
    }

protected:
    void log(const char* step) override { Log(step); }
    HRESULT activationFailure() override { return HRESULT(FakeControl().panorelActivationFailure.load()); }
    void windowCreated(HWND window) override { FakeControl().panorelWindow = window; }
    // The window goes: the control lets go of its interfaces and records.
    void windowDestroying(HWND window) override {
        ReleaseInterfaces();
        letGo();
        if (FakeControl().panorelWindow == window) FakeControl().panorelWindow = nullptr;
    }

private:
    void letGo() {
        for (PropertySet* record : m_top)
            if (record) record->release();
        m_top.clear();
        FakeControl().shownNames[0] = 0;
    }

    std::vector<PropertySet*> m_top;
    LONG_PTR m_selectedNode = 0;
    LONG_PTR m_scopeItem = 0;
};

}  // namespace

HRESULT CreateFakePanorel(IUnknown* outer, REFIID iid, void** object) {
    return CreateComObject<FakePanorel>(outer, iid, object);
}
