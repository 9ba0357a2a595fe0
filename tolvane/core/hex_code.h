#ifndef TOLVANE_CORE_HEX_CODE_H_
#define TOLVANE_CORE_HEX_CODE_H_

#include <string>
#include <string_view>

namespace tolvane {

// The hexadecimal code of text: each UTF-16 code unit as two bytes, low byte first, each byte
// as two uppercase hexadecimal digits. Any length; exact for any text.
std::u16string TextToHexCode(std::u16string_view text);

// The text a hexadecimal code holds; lowercase digits are accepted. Pairs of digits are bytes,
// two bytes a code unit, low byte first. An odd count of 2k + 1 digits reads the last digit
// alone as a byte when k is even and ignores it when k is odd. An odd number of bytes makes
// the last byte a code unit of its own value (high byte 0): "41" gives "A". Throws
// tolvane::Error 13 "Type mismatch" for a digit that is read and is not one of 0-9, A-F, a-f.
std::u16string HexCodeToText(std::u16string_view hex);

}  // namespace tolvane

#endif  // TOLVANE_CORE_HEX_CODE_H_
