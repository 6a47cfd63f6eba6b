// The name of an object's section in a backup: its objectGUID as 32 hexadecimal digits in
// storage order (as IADs::get_GUID reports it), no braces or hyphens.
#pragma once

#include <string>
#include <string_view>

namespace revivo {

// From the registry text form "a1b2c3d4-e5f6-a7b8-c9d0-e1f2a3b4c5d6" (braces allowed): the
// first three groups with their byte pairs reversed, the last two as they are
// ("d4c3b2a1f6e5b8a7c9d0e1f2a3b4c5d6"). Empty unless the text is exactly 8-4-4-4-12 hex digits.
std::u16string SectionNameOfGuidText(std::u16string_view guidText);

// From a tombstone's distinguished name: the GUID its mangled first relative name ends with.
// Empty for any other DN.
std::u16string SectionNameOfTombstone(std::u16string_view distinguishedName);

// Whether a text is a section name: 32 hexadecimal digits.
bool IsSectionName(std::u16string_view text);

}  // namespace revivo
