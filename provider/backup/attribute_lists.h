// The provider's attribute lists from "Revivo_Config.inf" (the machine's, else the one beside
// the provider module):
// "Restricted.Attributes" (never written into a backup, skipped when a backup is read) and
// "Post.Attributes" (read and kept; nothing depends on it). The provider object owns one
// AttributeLists; it is used on that object's thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"

namespace revivo {

inline constexpr char16_t kConfigurationFileName[] = u"Revivo_Config.inf";
inline constexpr char16_t kRestrictedAttributesSection[] = u"Restricted.Attributes";
inline constexpr char16_t kPostAttributesSection[] = u"Post.Attributes";

// Attribute names kept sorted without regard to case and searched by bisection, because the
// backup writer asks once for every attribute of every object.
class AttributeNameList {
public:
    void Clear() { m_names.clear(); }
    bool Empty() const { return m_names.empty(); }
    size_t Size() const { return m_names.size(); }
    // Replaces the content; duplicates are kept and harmless.
    void Assign(std::vector<std::u16string> names);
    bool Contains(std::u16string_view name) const;

private:
    std::vector<std::u16string> m_names;
};

class AttributeLists {
public:
    // The file beside the module this code is linked into.
    AttributeLists();
    // A file elsewhere, for tests and tools.
    explicit AttributeLists(std::u16string configurationPath);

    const std::u16string& ConfigurationPath() const { return m_path; }
    const AttributeNameList& Restricted() const { return m_restricted; }
    const AttributeNameList& Post() const { return m_post; }

    // Empties both lists and fills them again from the file; a missing file or section leaves
    // that list empty.
    void Load();
    // An empty restricted list is loaded first, so edits show until the first entry appears.
    bool IsRestricted(std::u16string_view attribute);

private:
    std::u16string m_path;
    AttributeNameList m_restricted;
    AttributeNameList m_post;
};

// The provider's entry points.
bool IsRestrictedAttribute(AttributeLists& lists, LPCWSTR attribute);
void LoadAttributeLists(AttributeLists& lists);

// The machine's copy in the configuration folder (/etc/lumivel) when there is one; else the
// directory of the module holding this code (cut after its last '/' or '\', kept) plus the
// file name, or the bare file name when the module path cannot be had.
std::u16string ConfigurationFilePath();

}  // namespace revivo
