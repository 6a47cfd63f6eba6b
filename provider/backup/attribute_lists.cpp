#include "provider/backup/attribute_lists.h"

#include <algorithm>

#include "lumivel/machine_config.h"
#include "provider/backup/inf_file.h"
#include "provider/backup/module_directory.h"
#include "shared/text_helpers.h"
#include "win/processes.h"
#include "win/strings.h"

namespace revivo {

namespace {

int CompareNoCase(std::u16string_view left, std::u16string_view right) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, left.data(), static_cast<int>(left.size()),
                          right.data(), static_cast<int>(right.size())) -
           CSTR_EQUAL;
}

bool LessNoCase(std::u16string_view left, std::u16string_view right) { return CompareNoCase(left, right) < 0; }

std::vector<std::u16string> ReadKeys(InfFile& file, LPCWSTR section) {
    std::vector<std::u16string> names;
    LPWSTR* fields = nullptr;
    LONG count = 0;
    if (file.ReadSectionField(section, 0, &fields, &count)) {
        names.reserve(static_cast<size_t>(count));
        for (LONG i = 0; i < count; ++i) {
            if (fields[i]) names.emplace_back(fields[i]);
        }
    }
    FreeFieldArray(fields, count);
    return names;
}

}  // namespace

void AttributeNameList::Assign(std::vector<std::u16string> names) {
    std::sort(names.begin(), names.end(), LessNoCase);
    m_names = std::move(names);
}

bool AttributeNameList::Contains(std::u16string_view name) const {
    auto found = std::lower_bound(m_names.begin(), m_names.end(), name,
                                  [](const std::u16string& entry, std::u16string_view wanted) {
                                      return LessNoCase(entry, wanted);
                                  });
    return found != m_names.end() && CompareNoCase(*found, name) == 0;
}

AttributeLists::AttributeLists() : m_path(ConfigurationFilePath()) {}

AttributeLists::AttributeLists(std::u16string configurationPath) : m_path(std::move(configurationPath)) {}

void AttributeLists::Load() {
    m_restricted.Clear();
    m_post.Clear();
    InfFile file(m_path.c_str());
    m_restricted.Assign(ReadKeys(file, kRestrictedAttributesSection));
    m_post.Assign(ReadKeys(file, kPostAttributesSection));
}

bool AttributeLists::IsRestricted(std::u16string_view attribute) {
    if (m_restricted.Empty()) Load();
    return m_restricted.Contains(attribute);
}

bool IsRestrictedAttribute(AttributeLists& lists, LPCWSTR attribute) {
    return attribute && lists.IsRestricted(attribute);
}

void LoadAttributeLists(AttributeLists& lists) { lists.Load(); }

std::u16string ConfigurationFilePath() {
    // The machine's copy is the administrator's to edit; the module's is what was shipped.
    const std::string machine = lumivel::MachineConfigFile("Revivo_Config.inf");
    if (!machine.empty()) return lumivel::shared::WidenText(machine);
    return ModuleDirectory() + kConfigurationFileName;
}

}  // namespace revivo
