// IProviderCommands::ExecuteCommand and IRevivo::BackupObjects.
#include <vector>

#include "provider/revivo.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

namespace revivo {

namespace {

// A command result's header record.
PropertySet* resultHeader(LPCWSTR reason) {
    PropertySet* header = PropertySet::create();
    if (header) header->setString(u"RefreshReason", reason);
    return header;
}

void handOut(PropertySet* header, const std::vector<LONG_PTR>& records, VARIANT* result) {
    if (!header) return;
    if (!result) {
        header->release();
        return;
    }
    std::vector<LONG_PTR> list{reinterpret_cast<LONG_PTR>(header)};
    list.insert(list.end(), records.begin(), records.end());
    if (FAILED(lumivel::BuildAddressList(list, result))) header->release();
}

}  // namespace

STDMETHODIMP Revivo::ExecuteCommand(HWND hwndParent, LONG, LONG lCommandId, VARIANT* pvarSelection,
                                    VARIANT* pvarResult) {
    std::vector<PropertySet*> selection = lumivel::ReadObjectList(pvarSelection, lumivel::ListForm::VariantArrayOnly);
    PropertySet* single = selection.size() == 1 ? selection.front() : nullptr;
    if (single && !single->has(u"FocusedDC")) FillInFocusedDC(single);

    switch (lCommandId) {
        case kCommandConnect: {
            PropertySet* node = nullptr;
            if (ConnectToDomain(hwndParent, &node) == S_OK && node) {
                if (pvarResult)
                    lumivel::RecordToVariant(node, pvarResult);
                else
                    node->release();
            }
            return S_OK;
        }
        case kCommandBackup:
            // FIXME: the "Perform Backup" dialog comes with the backup component.
            return S_FALSE;
        case kCommandRestore: {
            if (!single) return S_FALSE;
            RestoredTombstones restored;
            HRESULT result = Restore(hwndParent, single, &restored);
            // What came back is no longer a tombstone, also when a later step failed.
            std::vector<LONG_PTR> records;
            std::u16string selectedName(single->getText(u"distinguishedName"));
            for (const std::u16string& name : restored) {
                LONG_PTR listed = forgetTombstone(name);
                // The selection is the caller's own record; a parent is reported at the address
                // the latest listing of its naming context handed out, which the receiver still
                // holds, and not at all when that listing no longer has it.
                if (lumivel::EqualsNoCase(name, selectedName))
                    records.push_back(reinterpret_cast<LONG_PTR>(single));
                else if (listed)
                    records.push_back(listed);
            }
            if (result != S_OK) return S_FALSE;
            handOut(resultHeader(u"ObjectsDeleted"), records, pvarResult);
            MessageBoxW(hwndParent, u"The object was successfully restored.", u"Success", MB_OK | MB_ICONINFORMATION);
            return S_OK;
        }
        case kCommandChooseDomainController: {
            if (!single) return S_OK;
            std::u16string chosen;
            if (ChooseDomainController(hwndParent, single, &chosen)) {
                single->setText(u"FocusedDC", chosen);
                PropertySet* header = resultHeader(u"ChangeFocusedDC");
                if (header) header->setText(u"FocusedDC", chosen);
                handOut(header, {}, pvarResult);
            }
            return S_OK;
        }
        case kCommandRemove: {
            if (!single || RemoveStoredNode(single) != 0) return S_FALSE;
            handOut(resultHeader(u"ObjectsDeleted"), {reinterpret_cast<LONG_PTR>(single)}, pvarResult);
            return S_OK;
        }
        default:
            return S_FALSE;
    }
}

STDMETHODIMP Revivo::BackupObjects(BSTR) {
    // FIXME: the backup writer comes with the backup component; until then nothing is written.
    return S_OK;
}

}  // namespace revivo
