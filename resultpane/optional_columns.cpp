// The provider's optional columns, "Expires" and "Restores Into": shown only when the user
// asked for them, each choice kept per user beside the column widths, switched without
// fetching the records again. "Restores Into" is worked out here from the shown records by
// the restore plan's own rule, a row at a time as the list draws it.
#include "lumivel/registry_key.h"
#include "lumivel/variant_holder.h"
#include "resultpane/panorel.h"
#include "shared/restores_into_column.h"

using lumivel::VariantHolder;

namespace panorel {

namespace {

constexpr unsigned kExpiresShown = 1, kRestoresIntoShown = 2;

LONG ViewTypeOf(unsigned shown) {
    switch (shown) {
        case kExpiresShown: return kViewTypeResultWithExpires;
        case kRestoresIntoShown: return kViewTypeResultWithRestoresInto;
        case kExpiresShown | kRestoresIntoShown: return kViewTypeResultWithBoth;
        default: return kPanorelTopPane;
    }
}

bool ColumnWanted(LPCWSTR value) {
    lumivel::RegistryKey columns;
    if (columns.open(HKEY_CURRENT_USER, kResultColumnsKey, KEY_READ) != ERROR_SUCCESS) return false;
    return columns.readDword(value).value_or(0) != 0;
}

void KeepColumnWanted(LPCWSTR value, bool shown) {
    lumivel::RegistryKey columns;
    // A choice that cannot be kept still holds for this session; nothing is lost by it.
    if (columns.create(HKEY_CURRENT_USER, kResultColumnsKey, KEY_SET_VALUE) == ERROR_SUCCESS)
        columns.writeDword(value, shown ? 1 : 0);
}

bool Offers(IProviderData* provider, LONG viewType) {
    VariantHolder offered;
    return provider && SUCCEEDED(provider->GetColumns(viewType, offered.get(), nullptr)) && offered->vt != VT_EMPTY;
}

}  // namespace

bool Panorel::expiresColumnShown() const {
    return m_topViewType == kViewTypeResultWithExpires || m_topViewType == kViewTypeResultWithBoth;
}

bool Panorel::restoresIntoColumnShown() const {
    return m_topViewType == kViewTypeResultWithRestoresInto || m_topViewType == kViewTypeResultWithBoth;
}

void Panorel::loadTopColumns() {
    m_expiresOffered = Offers(m_provider.get(), kViewTypeResultWithExpires);
    m_restoresIntoOffered = Offers(m_provider.get(), kViewTypeResultWithRestoresInto);
    unsigned wanted = (m_expiresOffered && ColumnWanted(kExpiresShownValue) ? kExpiresShown : 0) |
                      (m_restoresIntoOffered && ColumnWanted(kRestoresIntoShownValue) ? kRestoresIntoShown : 0);
    if (!(wanted && showTopColumns(ViewTypeOf(wanted)))) showTopColumns(kPanorelTopPane);
    m_fitColumnsPending = columnsAtDefaults();
}

void Panorel::showExpiresColumn(bool show) {
    if (!m_expiresOffered || show == expiresColumnShown()) return;
    if (showOptionalColumns((show ? kExpiresShown : 0) | (restoresIntoColumnShown() ? kRestoresIntoShown : 0)))
        KeepColumnWanted(kExpiresShownValue, show);
}

void Panorel::showRestoresIntoColumn(bool show) {
    if (!m_restoresIntoOffered || show == restoresIntoColumnShown()) return;
    if (showOptionalColumns((expiresColumnShown() ? kExpiresShown : 0) | (show ? kRestoresIntoShown : 0)))
        KeepColumnWanted(kRestoresIntoShownValue, show);
}

bool Panorel::showOptionalColumns(unsigned shown) {
    if (!m_provider) return false;
    // The widths as shown go into the provider's records first: the rebuilt columns take them.
    saveColumnWidths(m_topList, m_provider.get(), m_topViewType);
    const std::u16string previousKey = sortKey();
    if (!showTopColumns(ViewTypeOf(shown))) return false;
    // A hidden column may have been the sort column: the name orders the list then.
    if (size_t(m_sortColumn) >= m_topKeys.size()) m_sortColumn = 0;
    if (sortKey() != previousKey) m_records.sortBy(sortKey());
    redraw(m_topList);
    return true;
}

std::u16string Panorel::restoresInto(const PropertySet* record) {
    if (!m_listedTombstones) {
        // Every record held, shown or not: a parent filtered out of view still comes back first.
        m_indexedRecords = m_records.all();
        m_listedTombstones.emplace([this](size_t id) {
            const PropertySet* listed = m_indexedRecords[id];
            return lumivel::shared::ListedTombstones::Texts{listed->getText(u"distinguishedName"),
                                                             listed->getText(u"lastKnownParent")};
        });
        m_listedTombstones->reserve(m_indexedRecords.size());
        for (size_t i = 0; i < m_indexedRecords.size(); ++i)
            if (!m_indexedRecords[i]->IsNode) m_listedTombstones->add(m_indexedRecords[i]->getText(kNameKey), i);
    }
    return lumivel::shared::RestoredDnOf(record->getText(u"distinguishedName"), record->getText(u"lastKnownParent"),
                                         *m_listedTombstones);
}

void Panorel::forgetListedTombstones() {
    m_listedTombstones.reset();
    m_indexedRecords.clear();
}

}  // namespace panorel
