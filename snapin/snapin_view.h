// SnapinView: the snap-in's component, one per console window. It shows a node's result
// view, sets the verbs of the selection and passes refreshes to the node.
#pragma once

#include "lumivel/com_object.h"
#include "win/mmc.h"

namespace snapin {

class SnapinData;

class SnapinView final : public lumivel::com::ComObject<SnapinView, IComponent> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<SnapinView, IComponent>(IID_IComponent),
    };

    explicit SnapinView(SnapinData* data);
    ~SnapinView() override;

    HRESULT STDMETHODCALLTYPE Initialize(LPCONSOLE lpConsole) override;
    HRESULT STDMETHODCALLTYPE Notify(LPDATAOBJECT lpDataObject, MMC_NOTIFY_TYPE event, LPARAM arg,
                                     LPARAM param) override;
    HRESULT STDMETHODCALLTYPE Destroy(MMC_COOKIE cookie) override;
    HRESULT STDMETHODCALLTYPE QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type,
                                              LPDATAOBJECT* ppDataObject) override;
    HRESULT STDMETHODCALLTYPE GetResultViewType(MMC_COOKIE cookie, LPOLESTR* ppViewType, long* pViewOptions) override;
    HRESULT STDMETHODCALLTYPE GetDisplayInfo(RESULTDATAITEM* pResultDataItem) override;
    HRESULT STDMETHODCALLTYPE CompareObjects(LPDATAOBJECT lpDataObjectA, LPDATAOBJECT lpDataObjectB) override;

private:
    void setVerbs(DWORD mask);

    // Counted, so that a console that lets the component data go first leaves no dangling
    // pointer here.
    lumivel::ComPtr<SnapinData> m_data;
    lumivel::ComPtr<IConsole> m_console;
};

}  // namespace snapin
