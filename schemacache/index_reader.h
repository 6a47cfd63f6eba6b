// Loading the schema index files into schema-cache entries.
#pragma once

#include <string_view>
#include <vector>

#include "schemacache/schema_entry.h"

namespace glossar {

// Appends one entry per accepted record of ClassIndex.txt in the directory (the file name is
// appended to it as it stands), in file order. A missing or unreadable file yields none.
void LoadClassIndex(std::u16string_view directory, std::vector<SchemaEntry>* entries);

// Appends one entry per accepted record of AttributeIndex.txt. True only when the file opened
// and holds at least one byte.
bool LoadAttributeIndex(std::u16string_view directory, std::vector<SchemaEntry>* entries);

// The icon resource number of a class record: a decimal number with an optional sign after
// leading blanks, read up to the first other character; 0 when there is none.
LONG ParseIconNumber(std::u16string_view field);

}  // namespace glossar
