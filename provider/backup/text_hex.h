// The hexadecimal encodings of backup values. Text hex: the UTF-16LE bytes of a text, low byte
// of each character first, two upper-case digits per byte ("abc" is 610062006300). Byte hex:
// the bytes of a byte string, two upper-case digits each.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace revivo {

std::u16string EncodeTextHex(std::u16string_view text);
std::u16string EncodeByteHex(const unsigned char* bytes, size_t count);

// The inverse of EncodeTextHex: the text and its length in bytes. Digits of either case are
// read. False, with nothing stored, for anything a writer of text hex cannot have written:
// a length that is not whole groups of four digits, a character that is not a hex digit, or
// a text holding a NUL.
bool DecodeTextHex(std::u16string_view hex, std::u16string* text, size_t* byteLength);

// The inverse of EncodeByteHex, digits of either case. False, with nothing stored, for an odd
// number of digits or a character that is not a hex digit.
bool DecodeByteHex(std::u16string_view hex, std::vector<unsigned char>* bytes);

}  // namespace revivo
