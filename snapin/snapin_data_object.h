// The data object handed to the console for a node: it answers the console's clipboard
// formats and, in a private format, its own address, by which the snap-in finds the node
// again. Addresses are pointer-sized here.
#pragma once

#include "lumivel/com_object.h"
#include "win/mmc.h"

namespace snapin {

class ScopeNode;

class SnapinDataObject final : public lumivel::com::ComObject<SnapinDataObject, IDataObject> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<SnapinDataObject, IDataObject>(IID_IDataObject),
    };

    SnapinDataObject(ScopeNode* node, DATA_OBJECT_TYPES type) : m_node(node), m_type(type) {}

    ScopeNode* node() const { return m_node; }
    DATA_OBJECT_TYPES type() const { return m_type; }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    ScopeNode* m_node;
    DATA_OBJECT_TYPES m_type;
};

}  // namespace snapin
