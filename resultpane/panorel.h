// Panorel: the result-pane control. A windowed ActiveX control that shows a scope node's
// records in an owner-data list above a splitter and, below it, a second list or a read-only
// details text; columns, icons, menus and commands come from the providers, the schema cache
// and the console it is handed through IPanorel.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "lumivel/com_object.h"
#include "lumivel/com_ptr.h"
#include "lumivel/dispatch_table.h"
#include "resultpane/record_filter.h"
#include "resultpane/record_order.h"
#include "shared/panorel_interface.h"
#include "shared/restore_chain.h"
#include "shared/provider_interfaces.h"
#include "shared/schema_cache_interface.h"
#include "win/commctrl.h"
#include "win/mmc.h"
#include "win/ocidl.h"
#include "win/oleidl.h"
#include "win/richedit.h"

namespace snapin {
class ScopeNode;
}

namespace panorel {

struct PreparedList;

extern const lumivel::com::DispatchInterface kPanorelDispatch;
extern const lumivel::com::TypeLibraryInfo kPanorelTypeLibrary;
extern const lumivel::com::CoclassDescription kPanorelCoclass;

// Child window ids and the gap between the panes.
inline constexpr int kTopListId = 100;
inline constexpr int kBottomListId = 101;
inline constexpr int kTextPaneId = 102;
// The filter bar above the top list, and its height.
inline constexpr int kFilterEditId = 103;
inline constexpr int kFilterLabelId = 104;
inline constexpr int kDeletedAfterCheckId = 105;
inline constexpr int kDeletedAfterPickerId = 106;
inline constexpr int kDeletedBeforeCheckId = 107;
inline constexpr int kDeletedBeforePickerId = 108;
inline constexpr int kFilterBarHeight = 28;
inline constexpr int kPaneGap = 4;
inline constexpr int kMinBottomHeight = 50;
// The height of the bottom pane a person dragged the splitter to, kept per user: the window's
// height differs between sessions, the details' need does not.
inline constexpr char16_t kPanesKey[] = u"Software\\Tarvo Software\\Tarvo Lumivel\\Panes";
inline constexpr char16_t kBottomHeightValue[] = u"BottomHeight";
inline constexpr int kMaxColumnWidth = 2048;
inline constexpr int kMaxSavedColumnWidth = 1024;
inline constexpr int kFallbackColumnWidth = 100;

// The control's window class, registered once per process.
inline constexpr WCHAR kPanorelWindowClass[] = u"TarvoPanorelWindow";

// Context-menu kinds handed to GetMenu and ExecuteCommand.
inline constexpr LONG kMenuKindSelection = 1;
inline constexpr LONG kMenuKindNode = 0x401;
inline constexpr LONG kMenuKindBottom = 2;

class Panorel final
    : public lumivel::com::ComObject<Panorel, lumivel::com::DispatchFromTable<IPanorel, kPanorelDispatch>,
                                     IOleObject, IOleInPlaceObjectWindowless, IOleInPlaceActiveObject, IOleControl,
                                     IViewObjectEx, IPersistStreamInit, IPersistStorage, ISpecifyPropertyPages,
                                     IProvideClassInfo2, IDataObject> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<Panorel, IPanorel>(IID_IPanorel),
        lumivel::com::InterfaceOf<Panorel, IPanorel>(IID_IDispatch),
        lumivel::com::InterfaceOf<Panorel, IViewObjectEx>(IID_IViewObjectEx),
        lumivel::com::InterfaceOf<Panorel, IViewObjectEx>(IID_IViewObject2),
        lumivel::com::InterfaceOf<Panorel, IViewObjectEx>(IID_IViewObject),
        lumivel::com::InterfaceOf<Panorel, IOleInPlaceObjectWindowless>(IID_IOleInPlaceObjectWindowless),
        lumivel::com::InterfaceOf<Panorel, IOleInPlaceObjectWindowless>(IID_IOleInPlaceObject),
        lumivel::com::InterfaceOf<Panorel, IOleInPlaceObjectWindowless>(IID_IOleWindow),
        lumivel::com::InterfaceOf<Panorel, IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject),
        lumivel::com::InterfaceOf<Panorel, IOleControl>(IID_IOleControl),
        lumivel::com::InterfaceOf<Panorel, IOleObject>(IID_IOleObject),
        lumivel::com::InterfaceOf<Panorel, IPersistStreamInit>(IID_IPersistStreamInit),
        lumivel::com::InterfaceOf<Panorel, IPersistStreamInit>(IID_IPersist),
        lumivel::com::InterfaceOf<Panorel, ISpecifyPropertyPages>(IID_ISpecifyPropertyPages),
        lumivel::com::InterfaceOf<Panorel, IPersistStorage>(IID_IPersistStorage),
        lumivel::com::InterfaceOf<Panorel, IDataObject>(IID_IDataObject),
        lumivel::com::InterfaceOf<Panorel, IProvideClassInfo2>(IID_IProvideClassInfo2),
        lumivel::com::InterfaceOf<Panorel, IProvideClassInfo2>(IID_IProvideClassInfo),
    };

    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    Panorel();
    ~Panorel() override;

    // IPanorel
    HRESULT STDMETHODCALLTYPE SetInterfaces(IUnknown* ipProvider, IUnknown* ipIconCache, IUnknown* ipConsole,
                                            IUnknown* ipConsoleNamespace) override;
    HRESULT STDMETHODCALLTYPE ReleaseInterfaces() override;
    HRESULT STDMETHODCALLTYPE SetObjects(LONG lPane, VARIANT* pvarObjects) override;
    HRESULT STDMETHODCALLTYPE get_SelectedNode(LONG_PTR* plNode) override;
    HRESULT STDMETHODCALLTYPE put_SelectedNode(LONG_PTR lNode) override;
    HRESULT STDMETHODCALLTYPE SetMenuInterfaces(VARIANT* pvarInterfaces) override;
    HRESULT STDMETHODCALLTYPE SetMode(LONG lMode) override;
    HRESULT STDMETHODCALLTYPE get_HSCOPEITEM(LONG_PTR* plItem) override;
    HRESULT STDMETHODCALLTYPE put_HSCOPEITEM(LONG_PTR lItem) override;

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* pClientSite) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** ppClientSite) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) override;
    HRESULT STDMETHODCALLTYPE Close(DWORD dwSaveOption) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD dwWhichMoniker, IMoniker* pmk) override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* pDataObject, BOOL fCreation, DWORD dwReserved) override;
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD dwReserved, IDataObject** ppDataObject) override;
    HRESULT STDMETHODCALLTYPE DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex,
                                     HWND hwndParent, LPCRECT lprcPosRect) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) override;
    HRESULT STDMETHODCALLTYPE Update() override;
    HRESULT STDMETHODCALLTYPE IsUpToDate() override;
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* pClsid) override;
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) override;
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwConnection) override;
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** ppenumAdvise) override;
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) override;
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* pLogpal) override;

    // IOleWindow, IOleInPlaceObject(Windowless), IOleInPlaceActiveObject
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL fEnterMode) override;
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;
    HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) override;
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget** ppDropTarget) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG lpmsg) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL fActivate) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL fActivate) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow,
                                           BOOL fFrameWindow) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL fEnable) override;

    // IOleControl
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* pCI) override;
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* pMsg) override;
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID dispID) override;
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL bFreeze) override;

    // IViewObject, IViewObject2, IViewObjectEx
    HRESULT STDMETHODCALLTYPE Draw(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                                   HDC hdcTargetDev, HDC hdcDraw, LPCRECTL lprcBounds, LPCRECTL lprcWBounds,
                                   ContinueDrawing pfnContinue,
                                   ULONG_PTR dwContinue) override;
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                                          HDC hicTargetDev, LOGPALETTE** ppColorSet) override;
    HRESULT STDMETHODCALLTYPE Freeze(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DWORD* pdwFreeze) override;
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD dwFreeze) override;
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD dwDrawAspect, LONG lindex, DVTARGETDEVICE* ptd, LPSIZEL lpsizel) override;
    HRESULT STDMETHODCALLTYPE GetRect(DWORD dwAspect, LPRECTL pRect) override;
    HRESULT STDMETHODCALLTYPE GetViewStatus(DWORD* pdwStatus) override;
    HRESULT STDMETHODCALLTYPE QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc, LONG lCloseHint,
                                            DWORD* pHitResult) override;
    HRESULT STDMETHODCALLTYPE QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT pRectLoc, LONG lCloseHint,
                                           DWORD* pHitResult) override;
    HRESULT STDMETHODCALLTYPE GetNaturalExtent(DWORD dwAspect, LONG lindex, DVTARGETDEVICE* ptd, HDC hicTargetDev,
                                               DVEXTENTINFO* pExtentInfo, LPSIZEL pSizel) override;

    // IPersist, IPersistStreamInit, IPersistStorage: the control keeps no state of its own.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(IStream* pStm) override;
    HRESULT STDMETHODCALLTYPE Save(IStream* pStm, BOOL fClearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* pcbSize) override;
    HRESULT STDMETHODCALLTYPE InitNew() override;
    HRESULT STDMETHODCALLTYPE InitNew(IStorage* pStg) override;
    HRESULT STDMETHODCALLTYPE Load(IStorage* pStg) override;
    HRESULT STDMETHODCALLTYPE Save(IStorage* pStgSave, BOOL fSameAsLoad) override;
    HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage* pStgNew) override;
    HRESULT STDMETHODCALLTYPE HandsOffStorage() override;

    // ISpecifyPropertyPages, IProvideClassInfo(2)
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pPages) override;
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** ppTI) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD dwGuidKind, GUID* pGUID) override;

    // IDataObject: the control offers no data.
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* pformatetc) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink,
                                      DWORD* pdwConnection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD dwConnection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override;

    // The window side (pane_window.cpp).
    LRESULT handleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window() const { return m_window; }
    HWND topList() const { return m_topList; }
    HWND bottomList() const { return m_bottomList; }
    HWND textPane() const { return m_textPane; }
    int splitPosition() const { return m_split; }
    LONG mode() const { return m_mode; }
    int sortColumn() const { return m_sortColumn; }
    bool sortAscending() const { return m_records.ascending(); }
    // The provider's optional "Expires" column: whether it has one and whether it is shown.
    bool expiresColumnOffered() const { return m_expiresOffered; }
    bool expiresColumnShown() const;
    // Shows or hides it at once over the shown records, keeping the choice for the user.
    void showExpiresColumn(bool show);
    // The same for the optional "Restores Into" column.
    bool restoresIntoColumnOffered() const { return m_restoresIntoOffered; }
    bool restoresIntoColumnShown() const;
    void showRestoresIntoColumn(bool show);
    // The DN the record's tombstone would get if restored now, through the records held;
    // empty when a deleted parent is not listed.
    std::u16string restoresInto(const PropertySet* record);
    // The filter bar (filter_bar.cpp).
    HWND filterEdit() const { return m_filterEdit; }
    HWND deletedAfterCheck() const { return m_afterCheck; }
    HWND deletedAfterPicker() const { return m_afterPicker; }
    HWND deletedBeforeCheck() const { return m_beforeCheck; }
    HWND deletedBeforePicker() const { return m_beforePicker; }
    const RecordFilter& filter() const { return m_filter; }
    // Empties the bar: every record is shown again.
    void clearFilter();
    // The keyboard goes to the filter text, all of it selected.
    void focusFilter();
    // Whether a list handed over is still being ordered on a worker (its rows not yet shown).
    bool handOverPending() const;
    // Whether a worker may still read the records of a list handed over (for tests).
    bool workerReadsRecords() const;
    // Lists of at least this many records are ordered on a worker (tests lower it).
    void prepareOnWorkerFrom(size_t records) { m_prepareOnWorkerFrom = records; }
    // Makes the control's window as a child of `parent`; false when it cannot.
    bool createWindow(HWND parent, const RECT& position);

private:
    // Window side.
    void createChildren(HWND hwnd);
    void layout(int width, int height);
    void dragSplitter(int y);
    // Where the first layout at this height puts the split: the kept bottom height, else a
    // third of the height for the bottom pane.
    int firstSplit(int height) const;
    bool overSurface(POINT client) const;
    void paint(HDC dc, const RECT& bounds);
    LRESULT notify(NMHDR* header);
    void displayInfo(HWND list, NMLVDISPINFOW* info);
    void infoTip(NMLVGETINFOTIPW* tip);
    void columnClicked(int column);
    long findItem(const NMLVFINDITEMW* find);
    void doubleClicked(HWND list);
    void deleteKey();
    void linkClicked(const ENLINK* link);
    void destroyed();

    // Filter bar (filter_bar.cpp).
    void createFilterBar(HWND hwnd);
    // Places the bar across the top; returns the height it takes.
    int layoutFilterBar(int width);
    void filterCommand(int id, int code);
    FilterCriteria filterCriteria() const;
    void applyFilter();
    void showFilteredRecords();
    // Selects the shown rows of these records; the details follow once.
    void selectRecords(const std::unordered_set<const PropertySet*>& records);
    // The console's status bar: how many deleted objects the shown node has, and how many pass.
    void showStatus();

    // First-run column widths (column_fit.cpp).
    bool columnsAtDefaults() const;
    // False while the list has no width to fit into.
    bool fitColumnsToPane();

    // Data side (panorel.cpp).
    // The top columns of the view type the user's choice asks for, from the main provider.
    void loadTopColumns();
    // Puts the four columns and the optional ones asked for (bits: 1 "Expires", 2 "Restores
    // Into") into the top list, keeping the shown widths; false when the provider has not got them.
    bool showOptionalColumns(unsigned shown);
    // The records changed: "Restores Into" indexes them anew when next asked.
    void forgetListedTombstones();
    // Puts the main provider's columns of a view type into the top list; false when it has none.
    bool showTopColumns(LONG viewType);
    void loadBottomColumns(bool refreshDetails);
    void insertColumns(HWND list, const VARIANT* columns);
    void saveColumnWidths(HWND list, IProviderData* provider, LONG pane);
    // Drops the control's references to the records; while a command runs they are held
    // until it ends instead.
    void releaseRecords(std::vector<PropertySet*>& records);
    // While one lives, records the control lets go of stay alive: a command's selection names
    // them by bare address, and a list handed over meanwhile (a refresh or a worker's ordered
    // list, run from the menu's or a dialog's loop) must not free them under it.
    class CommandScope {
    public:
        explicit CommandScope(Panorel& control) : m_control(control) {
            // The command may write the records it is given: no worker may read them then.
            m_control.awaitWorkerReads();
            ++m_control.m_commandsRunning;
        }
        ~CommandScope();
        CommandScope(const CommandScope&) = delete;
        CommandScope& operator=(const CommandScope&) = delete;

    private:
        Panorel& m_control;
    };
    // Empties both panes and lets go of their records.
    void clearPanes();
    PropertySet* record(HWND list, long index) const;
    std::vector<PropertySet*> selectedTopRecords() const;
    // What a list that replaces the shown one keeps of the view (kept_view.cpp): the records
    // selected and the one at the top, found again in the new list by record or by name.
    struct KeptView {
        std::vector<PropertySet*> selected;
        std::vector<std::u16string> selectedNames;
        PropertySet* top = nullptr;
        std::u16string topName;
    };
    KeptView keptView() const;
    // After the new list is in place, before the old records are let go; true when it
    // selected rows (the details then follow them).
    bool restoreView(const KeptView& kept);
    // A large list ordered on a worker (background_hand_over.cpp): false, with the records
    // left to the caller, when it is to be handed over at once.
    bool startPreparing(std::vector<PropertySet*>& records);
    // Until no worker reads records any more, those of lists overtaken included.
    void awaitWorkerReads();
    void showPrepared(const std::shared_ptr<PreparedList>& prepared);
    // Orders a whole list and indexes it for the filter on this thread.
    void orderAtOnce(const std::vector<PropertySet*>& records);
    // The end of every hand-over of a whole list: the rows counted, the view kept where it
    // can be, the old records let go, and the status said when a list was handed over.
    void finishHandOver(const KeptView& kept, std::vector<PropertySet*>& old, bool listed);
    // A list that differs a little from the one shown, laid over it (list_difference.cpp):
    // false, with nothing done, when it differs too much for that.
    bool applyDifference(const std::vector<PropertySet*>& records);
    PropertySet* selectedNodeRecord() const { return reinterpret_cast<PropertySet*>(m_selectedNode); }
    // Shows the details of the selected rows, or of the shown node when none is selected.
    void selectionChanged();
    void showDetails(LONG mode, VARIANT* details);
    void fillBottomList(VARIANT* details);
    // Shows these records below, holding the references they come with.
    void replaceBottomRecords(std::vector<PropertySet*> records);
    void setText(const WCHAR* text);
    void redraw(HWND list);
    std::u16string sortKey() const;
    std::vector<lumivel::ComPtr<IProviderCommands>> menuCommands() const;

    // Commands (commands.cpp).
    // The mouse opens the menu where it is; the keyboard at the focused row.
    enum class MenuOpenedBy { Mouse, Keyboard };
    void contextMenu(HWND list, MenuOpenedBy by = MenuOpenedBy::Mouse);
    POINT menuPoint(HWND list, MenuOpenedBy by) const;
    void handleResult(HRESULT result, VARIANT* list);
    void objectsDeleted(const std::vector<PropertySet*>& deleted);
    void objectsAdded(const std::vector<PropertySet*>& added);
    snapin::ScopeNode* shownNode() const;

    // In-place activation (ole_control.cpp).
    HRESULT activateInPlace(IOleClientSite* site, HWND parentHint, LPCRECT position);

    // Interfaces, each held with one reference.
    lumivel::ComPtr<ISchemaCache> m_schemaCache;
    lumivel::ComPtr<IProviderData> m_provider;
    lumivel::ComPtr<IConsole2> m_console;
    lumivel::ComPtr<IConsoleNameSpace2> m_namespace;

    // The shown records, each retained while shown, and the filter that picks them.
    RecordFilter m_filter;
    TopRecords m_records;
    // Set while the filter puts the selection back: the details follow once, afterwards.
    bool m_quietSelection = false;
    std::vector<PropertySet*> m_bottomRecords;
    // Column keys per column index.
    std::vector<std::u16string> m_topKeys;
    std::vector<std::u16string> m_bottomKeys;
    std::vector<lumivel::ComPtr<IUnknown>> m_menuProviders;
    // The view type of the top columns shown, and whether the provider has the one with "Expires".
    LONG m_topViewType = kPanorelTopPane;
    bool m_expiresOffered = false;
    bool m_restoresIntoOffered = false;
    // The records "Restores Into" looks deleted parents up in, by the GUID of their names;
    // built when the column first needs it after the records changed.
    std::vector<PropertySet*> m_indexedRecords;
    std::optional<lumivel::shared::ListedTombstones> m_listedTombstones;
    // The columns wait for records (and a width) to be fitted to.
    bool m_fitColumnsPending = false;

    LONG_PTR m_selectedNode = 0;
    LONG_PTR m_scopeItem = 0;
    int m_sortColumn = 0;
    PropertySet* m_lastShown = nullptr;
    // The top pane's list as last handed over, in its order.
    std::vector<PropertySet*> m_topInput;
    // The list being ordered on a worker, and what tells the worker's end that this control
    // is gone.
    std::shared_ptr<PreparedList> m_preparing;
    // Every list whose worker may still read its records, overtaken ones too.
    std::vector<std::weak_ptr<PreparedList>> m_workersReading;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    // Commands under way, and the records let go of meanwhile (see CommandScope).
    int m_commandsRunning = 0;
    std::vector<PropertySet*> m_heldRecords;
    size_t m_prepareOnWorkerFrom;
    LONG m_mode = kPanorelModeTopOnly;
    int m_split = 0;
    bool m_dragging = false;
    bool m_dragged = false;  // since the button went down

    HWND m_window = nullptr;
    HWND m_topList = nullptr;
    HWND m_bottomList = nullptr;
    HWND m_textPane = nullptr;
    HWND m_filterLabel = nullptr;
    HWND m_filterEdit = nullptr;
    HWND m_afterCheck = nullptr;
    HWND m_afterPicker = nullptr;
    HWND m_beforeCheck = nullptr;
    HWND m_beforePicker = nullptr;
    HIMAGELIST m_smallImages = nullptr;
    HIMAGELIST m_largeImages = nullptr;

    lumivel::ComPtr<IOleClientSite> m_site;
    lumivel::ComPtr<IOleInPlaceSite> m_inPlaceSite;
    // The view's advise sink, held by its IUnknown (the sink's own declaration is not needed).
    lumivel::ComPtr<IUnknown> m_viewSink;
    RECT m_position{};
};

}  // namespace panorel
