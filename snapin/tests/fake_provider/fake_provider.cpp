// A provider and a schema cache for the snap-in's tests: records from a small table, a fetch
// that can be held, menus with one command, and counters the tests read.
#include <chrono>
#include <string>
#include <thread>

#include "fake_provider_control.h"
#include "no_dispatch.h"
#include "lumivel/com_object.h"
#include "shared/object_list.h"
#include "shared/panorel_interface.h"
#include "shared/provider_interfaces.h"
#include "shared/schema_cache_interface.h"
#include "win/commctrl.h"
#include "win/user.h"

namespace {

using namespace lumivel::com;

FakeProviderControl g_control;

PropertySet* MakeRecord(const std::u16string& name, const char16_t* className, bool node) {
    PropertySet* record = PropertySet::create();
    if (!record) return nullptr;
    record->setName(name.c_str());
    record->setClassName(className);
    record->IsNode = node ? 1 : 0;
    // A domain is known by its GUID, whatever it was typed as.
    if (node) record->setText(u"guid", u"guid of " + name);
    return record;
}

class FakeProvider final
    : public ComObject<FakeProvider, NoDispatch<IRevivo>, IProviderCommands, IProviderData> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {
        InterfaceOf<FakeProvider, IRevivo>(IID_IRevivo),
        InterfaceOf<FakeProvider, IProviderCommands>(IID_IProviderCommands),
        InterfaceOf<FakeProvider, IProviderData>(IID_IProviderData),
    };
    FakeProvider() : m_ordinal(++g_control.providersCreated) {}

    HRESULT STDMETHODCALLTYPE EnumDeletedObjects(LONG_PTR, BSTR, VARIANT* objects) override {
        ++g_control.enumerations;
        g_control.inEnumeration = true;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (g_control.block && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        g_control.inEnumeration = false;
        if (g_control.enumerationFailure) return HRESULT(g_control.enumerationFailure.load());
        std::vector<PropertySet*> records;
        for (int i = 0; i < g_control.objectCount; ++i) {
            std::string name = "object " + std::to_string(i);
            records.push_back(MakeRecord(std::u16string(name.begin(), name.end()), u"user", false));
        }
        return lumivel::shared::BuildObjectList(records, objects);
    }
    HRESULT STDMETHODCALLTYPE BackupObjects(BSTR) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetNodes(LONG, LONG, LONG, VARIANT* nodes) override {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (g_control.blockNodes && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::vector<PropertySet*> records;
        std::string table = g_control.nodes;
        size_t start = 0;
        while (start < table.size()) {
            size_t end = table.find(';', start);
            std::string entry = table.substr(start, end == std::string::npos ? std::string::npos : end - start);
            size_t colon = entry.find(':');
            std::string name = entry.substr(0, colon);
            bool node = colon != std::string::npos && entry.substr(colon + 1) == "1";
            records.push_back(MakeRecord(std::u16string(name.begin(), name.end()), u"domainDNS", node));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return lumivel::shared::BuildObjectList(records, nodes);
    }
    HRESULT STDMETHODCALLTYPE GetMenu(LONG kind, VARIANT* selection, HMENU* menu, HINSTANCE* module) override {
        *module = nullptr;
        *menu = nullptr;
        if (kind != kMenuTypeContext) return S_OK;
        *menu = CreatePopupMenu();
        if (lumivel::shared::RecordFromVariant(selection)) {
            AppendMenuW(*menu, MF_STRING, kCommandRemove, u"&Remove");
            AppendMenuW(*menu, MF_STRING, kCommandChangeView, u"&Other View");
            // An id that does not fit beside a provider index.
            AppendMenuW(*menu, MF_STRING, 0x1234, u"&Too Big");
        } else {
            AppendMenuW(*menu, MF_STRING, kCommandConnect, u"&Connect To...");
            AppendMenuW(*menu, MF_SEPARATOR, 0, nullptr);
            HMENU sub = CreatePopupMenu();
            AppendMenuW(sub, MF_STRING, 5, u"Inner");
            AppendMenuW(*menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), u"More");
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExecuteCommand(HWND, LONG, LONG command, VARIANT* selection, VARIANT* result) override {
        g_control.lastCommandProvider = m_ordinal;
        g_control.lastCommand = command;
        if (command == kCommandConnect) {
            lumivel::shared::RecordToVariant(MakeRecord(u"gamma", u"domainDNS", true), result);
            return S_OK;
        }
        if (command == kCommandRemove) {
            VARIANT handle;
            VariantInit(&handle);
            PropertySet* record = lumivel::shared::RecordFromVariant(selection);
            if (record && record->getValue(u"NodeHandle", &handle)) {
                g_control.nodeHandleType = handle.vt;
                g_control.nodeHandle = handle.vt == VT_I8 ? handle.llVal : handle.lVal;
            }
            // As the provider answers: the header, then the removed node's record, which the
            // receiver holds already.
            PropertySet* head = PropertySet::create();
            head->setString(u"RefreshReason", u"ObjectsDeleted");
            PropertySet* list[] = {head, record};
            lumivel::shared::BuildObjectList(list, record ? 2 : 1, result);
        }
        if (command == kCommandChangeView) {
            PropertySet* head = PropertySet::create();
            head->setString(u"RefreshReason", u"viewchanged");
            head->setString(u"AlternateView", u"Backups");
            lumivel::shared::RecordToVariant(head, result);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReservedCommand6(LONG, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReservedCommand7(LONG, LONG, LONG) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetColumns(LONG, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ActivateObject(HWND, LONG_PTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetConsole(IUnknown*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeleteObjects(HWND, VARIANT*, VARIANT*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ReservedCommand(HWND, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ShowProperties(HWND, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDetails(VARIANT*, LONG*, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LinkClicked(HWND, VARIANT*, BSTR, VARIANT*) override { return E_NOTIMPL; }

private:
    // A command the real provider does not have.
    static constexpr LONG kCommandChangeView = 399;
    int m_ordinal;
};

// Indexes: "domainDNS" 3, its busy icon 7; the lists hold 9 images of each size.
class FakeSchemaCache final : public ComObject<FakeSchemaCache, NoDispatch<ISchemaCache>> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {
        InterfaceOf<FakeSchemaCache, ISchemaCache>(IID_ISchemaCache),
    };
    HRESULT STDMETHODCALLTYPE LookupObjectGuid(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LookupGuidObject(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLargeImageList(LONG_PTR* list) override { return MakeList(32, list); }
    HRESULT STDMETHODCALLTYPE GetSmallImageList(LONG_PTR* list) override { return MakeList(16, list); }
    HRESULT STDMETHODCALLTYPE GetIconIndex(BSTR name, LONG* index) override {
        std::u16string text = name ? name : u"";
        *index = -1;
        if (text == u"domainDNS") *index = 3;
        if (text == u"domainDNSBusy" && !g_control.noBusyIcon) *index = 7;
        if (text == u"domainDNSError" && g_control.failedIconAdded) *index = 9;
        return *index >= 0 ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE AddIconToImageList(BSTR name, LONG_PTR, LONG* index) override {
        const bool failed = name && std::u16string(name) == u"domainDNSError";
        if (failed) g_control.failedIconAdded = true;
        *index = failed ? 9 : 8;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsClassContainer(BSTR) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE InitializeActiveDirectoryIcons(LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSchemaContainers(LONG, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetImageListForNodeType(BSTR, LONG, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsClass(BSTR, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LookupFriendlyNames(BSTR, BSTR, BSTR*, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LookupFriendlyClassName(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPossibleChildren(BSTR, BSTR, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsInitialized() override { return S_OK; }

private:
    static HRESULT MakeList(int size, LONG_PTR* out) {
        HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 10, 8);
        if (!list || !ImageList_SetImageCount(list, 10)) return E_OUTOFMEMORY;
        *out = reinterpret_cast<LONG_PTR>(list);
        return S_OK;
    }
};

// {6B1D4F0E-7C35-4E54-9C2B-3A1F0E6D9B21}: a second provider class for the "Interfaces" key.
DEFINE_GUID(CLSID_FakeSecondProvider, 0x6B1D4F0E, 0x7C35, 0x4E54, 0x9C, 0x2B, 0x3A, 0x1F, 0x0E, 0x6D, 0x9B, 0x21);

constexpr ClassEntry kClasses[] = {
    {&CLSID_Revivo, CreateComObject<FakeProvider>},
    {&CLSID_FakeSecondProvider, CreateComObject<FakeProvider>},
    {&CLSID_SchemaCache, CreateComObject<FakeSchemaCache>},
    {&CLSID_Panorel, CreateFakePanorel},
};

}  // namespace

FakeProviderControl& FakeControl() { return g_control; }

extern "C" LUMIVEL_EXPORT FakeProviderControl* FakeProviderControlBlock() { return &g_control; }

STDAPI LUMIVEL_EXPORT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return GetClassObjectFromTable(kClasses, clsid, iid, object);
}

STDAPI LUMIVEL_EXPORT DllCanUnloadNow() { return S_FALSE; }
