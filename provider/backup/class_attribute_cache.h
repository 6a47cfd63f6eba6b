// The attributes a class allows, gathered over the class, its superclasses and its auxiliary
// classes from the directory schema: the mandatory names (mustContain, systemMustContain) and
// the optional ones (mayContain, systemMayContain), each once, in the order first met, and a
// name both mandatory and optional in the mandatory list only. Every
// class is looked up in the schema once for the life of the provider object.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lumivel/com_ptr.h"
#include "win/adsi.h"

namespace revivo {

struct ClassAttributeEntry {
    std::u16string className;
    std::vector<std::u16string> mandatory;
    std::vector<std::u16string> optional;
};

class ClassAttributeCache {
public:
    // The cached entry of the class (names compared without regard to case), built on first
    // use. A class the schema cannot tell about gets empty lists. The schema is asked through
    // the server when one is given, else through the domain's default controller.
    const ClassAttributeEntry& GetClassAttributeLists(std::u16string_view className, std::u16string_view server);

    size_t Size() const { return m_entries.size(); }

    // The attributes the directory computes when asked for them by name and leaves out of a
    // request for all attributes ("*"); read from the schema once. False when the schema
    // cannot be asked.
    bool ConstructedAttributes(std::u16string_view server, std::vector<std::u16string>* names);

    // The attributes the schema marks confidential (searchFlags bit 0x80), read once: S_OK, or
    // why the schema could not tell, in which case nothing may be written.
    HRESULT LoadConfidentialAttributes(std::u16string_view server);
    bool IsConfidential(std::u16string_view name) const;

private:
    // The lDAPDisplayName of every attributeSchema the filter selects, over all pages.
    HRESULT SchemaAttributeNames(std::u16string_view filter, std::vector<std::u16string>* names);
    struct NoCaseLess {
        bool operator()(const std::u16string& left, const std::u16string& right) const;
    };
    HRESULT OpenSchema(std::u16string_view server);
    // Adds the class's own names to the entry and returns the classes it derives from, in the
    // order they are to be followed; *found tells whether the schema knows the class.
    std::vector<std::u16string> AddNamesOfClass(std::u16string_view className, ClassAttributeEntry* entry,
                                                bool* found = nullptr);
    bool Visited(std::u16string_view className) const;

    std::map<std::u16string, std::unique_ptr<ClassAttributeEntry>, NoCaseLess> m_entries;
    // Classes already followed while one entry is built; emptied before each new entry.
    std::vector<std::u16string> m_visited;
    lumivel::ComPtr<IDirectorySearch> m_schema;
    // A class the schema could not be asked about is tried again next time, not cached empty.
    ClassAttributeEntry m_unanswered;
    std::vector<std::u16string> m_constructed;
    bool m_constructedKnown = false;
    std::vector<std::u16string> m_confidential;  // case-folded, sorted
    bool m_confidentialKnown = false;
};

}  // namespace revivo
