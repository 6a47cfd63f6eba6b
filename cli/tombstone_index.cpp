#include "cli/tombstone_index.h"

#include "cli/terminal_text.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"

namespace lumivel_cli {

namespace {

void insert(std::unordered_map<std::u16string, PropertySet*>& map, std::u16string_view key, PropertySet* record) {
    if (key.empty()) return;
    auto [at, added] = map.emplace(lumivel::FoldCase(key), record);
    if (!added && at->second != record) at->second = nullptr;
}

PropertySet* lookUp(const std::unordered_map<std::u16string, PropertySet*>& map, std::u16string_view key) {
    auto at = map.find(lumivel::FoldCase(key));
    return at == map.end() ? nullptr : at->second;
}

}  // namespace

std::u16string GuidOfTombstoneArgument(std::u16string_view text) {
    std::u16string_view guid = text;
    if (guid.size() == 38 && guid.front() == u'{' && guid.back() == u'}') guid = guid.substr(1, 36);
    if (lumivel::shared::IsGuidText(guid)) return std::u16string(guid);
    return lumivel::shared::TombstoneGuidOfDn(text);
}

TombstoneIndex::TombstoneIndex(const std::vector<PropertySet*>& tombstones) {
    m_byDn.reserve(tombstones.size());
    m_byGuid.reserve(tombstones.size());
    for (PropertySet* record : tombstones) {
        insert(m_byDn, record->getText(u"distinguishedName"), record);
        insert(m_byGuid, lumivel::shared::TombstoneGuid(record->getText(u"name")), record);
    }
}

PropertySet* TombstoneIndex::byGuid(std::u16string_view guid) const { return lookUp(m_byGuid, guid); }

PropertySet* TombstoneIndex::findExactly(std::u16string_view wanted) const {
    if (PropertySet* record = lookUp(m_byDn, wanted)) return record;
    std::u16string_view guid = wanted;
    if (guid.size() >= 2 && guid.front() == u'{' && guid.back() == u'}') guid = guid.substr(1, guid.size() - 2);
    return lookUp(m_byGuid, guid);
}

PropertySet* TombstoneIndex::find(std::u16string_view wanted) const {
    if (PropertySet* record = findExactly(wanted)) return record;
    // A DN as TSV printed it has its backslashes doubled; the GUID it holds makes a second
    // reading safe.
    std::optional<std::string> unescaped = UnescapeField(lumivel::shared::NarrowText(wanted));
    if (!unescaped) return nullptr;
    std::u16string plain = lumivel::shared::WidenText(*unescaped);
    return plain == wanted ? nullptr : findExactly(plain);
}

PropertySet* FindTombstone(const std::vector<PropertySet*>& tombstones, const std::u16string& wanted) {
    return TombstoneIndex(tombstones).find(wanted);
}

}  // namespace lumivel_cli
