// The walk of the forest's extended rights and directory schema that yields the records of
// the two schema index files.
#pragma once

#include <string>
#include <vector>

namespace taxonis {

struct IndexLists {
    std::vector<std::u16string> classes;
    // The extended rights first, then the attributes.
    std::vector<std::u16string> attributes;
};

// Walks through ADSI: the children of the extended-rights container one at a time, then the
// classSchema and attributeSchema objects of the schema container 100 at a time, with the
// friendly names and icons of the display-specifier service. An object that cannot be read
// is skipped. True only when every enumeration ran to its normal end: what a walk cut short
// collected must not replace complete index files.
bool WalkSchema(IndexLists* lists);

}  // namespace taxonis
