// The provider's optional "Expires" column: shown only when the user asked for it, the choice
// kept per user beside the column widths, switched without fetching the records again.
#include "lumivel/registry_key.h"
#include "lumivel/variant_holder.h"
#include "resultpane/panorel.h"

using lumivel::VariantHolder;

namespace panorel {

namespace {

bool ExpiresColumnWanted() {
    lumivel::RegistryKey columns;
    if (columns.open(HKEY_CURRENT_USER, kResultColumnsKey, KEY_READ) != ERROR_SUCCESS) return false;
    return columns.readDword(kExpiresShownValue).value_or(0) != 0;
}

void KeepExpiresColumnWanted(bool shown) {
    lumivel::RegistryKey columns;
    // A choice that cannot be kept still holds for this session; nothing is lost by it.
    if (columns.create(HKEY_CURRENT_USER, kResultColumnsKey, KEY_SET_VALUE) == ERROR_SUCCESS)
        columns.writeDword(kExpiresShownValue, shown ? 1 : 0);
}

}  // namespace

void Panorel::loadTopColumns() {
    VariantHolder offered;
    m_expiresOffered = m_provider &&
                       SUCCEEDED(m_provider->GetColumns(kViewTypeResultWithExpires, offered.get(), nullptr)) &&
                       offered->vt != VT_EMPTY;
    if (!(m_expiresOffered && ExpiresColumnWanted() && showTopColumns(kViewTypeResultWithExpires)))
        showTopColumns(kPanorelTopPane);
    m_fitColumnsPending = columnsAtDefaults();
}

void Panorel::showExpiresColumn(bool show) {
    if (!m_provider || !m_expiresOffered || show == expiresColumnShown()) return;
    // The widths as shown go into the provider's records first: the rebuilt columns take them.
    saveColumnWidths(m_topList, m_provider.get(), m_topViewType);
    const std::u16string previousKey = sortKey();
    if (!showTopColumns(show ? kViewTypeResultWithExpires : kPanorelTopPane)) return;
    KeepExpiresColumnWanted(show);
    // The hidden column may have been the sort column: the name orders the list then.
    if (size_t(m_sortColumn) >= m_topKeys.size()) m_sortColumn = 0;
    if (sortKey() != previousKey) m_records.sortBy(sortKey());
    redraw(m_topList);
}

}  // namespace panorel
