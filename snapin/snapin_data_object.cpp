#include "snapin/snapin_data_object.h"

#include "snapin/scope_node.h"
#include "snapin/snapin_module.h"

namespace snapin {

namespace {

HRESULT WriteAll(IStream* stream, const void* data, ULONG size) {
    ULONG written = 0;
    HRESULT hr = stream->Write(data, size, &written);
    if (SUCCEEDED(hr) && written != size) hr = STG_E_MEDIUMFULL;
    return hr;
}

}  // namespace

HRESULT SnapinDataObject::GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) {
    if (!pformatetc || !pmedium) return E_POINTER;
    UINT format = pformatetc->cfFormat;
    bool known = false;
    for (ClipboardFormat candidate : {ClipboardFormat::DisplayName, ClipboardFormat::NodeType,
                                      ClipboardFormat::NodeTypeText, ClipboardFormat::SnapinClassId,
                                      ClipboardFormat::DataObjectAddress})
        known = known || format == ClipboardFormatNumber(candidate);
    if (!known || !m_node) return DV_E_FORMATETC;
    if (pmedium->tymed != TYMED_HGLOBAL || !pmedium->hGlobal) return DV_E_TYMED;

    lumivel::ComPtr<IStream> stream;
    HRESULT hr = CreateStreamOnHGlobal(pmedium->hGlobal, FALSE, stream.put());
    if (FAILED(hr)) return hr;
    if (format == ClipboardFormatNumber(ClipboardFormat::DisplayName)) {
        LPCWSTR name = m_node->displayName() ? m_node->displayName() : u"";
        size_t length = std::char_traits<char16_t>::length(name);
        return WriteAll(stream.get(), name, ULONG((length + 1) * sizeof(WCHAR)));
    }
    if (format == ClipboardFormatNumber(ClipboardFormat::NodeType))
        return WriteAll(stream.get(), &m_node->nodeType(), sizeof(GUID));
    if (format == ClipboardFormatNumber(ClipboardFormat::NodeTypeText)) {
        LPOLESTR text = nullptr;
        hr = StringFromCLSID(m_node->nodeType(), &text);
        if (FAILED(hr)) return hr;
        hr = WriteAll(stream.get(), text, ULONG((std::char_traits<char16_t>::length(text) + 1) * sizeof(WCHAR)));
        CoTaskMemFree(text);
        return hr;
    }
    if (format == ClipboardFormatNumber(ClipboardFormat::SnapinClassId))
        return WriteAll(stream.get(), &CLSID_RevivoSnapin, sizeof(CLSID));
    // The private format: this object's address, pointer-sized.
    LONG_PTR address = reinterpret_cast<LONG_PTR>(static_cast<IDataObject*>(this));
    return WriteAll(stream.get(), &address, sizeof(address));
}

}  // namespace snapin
