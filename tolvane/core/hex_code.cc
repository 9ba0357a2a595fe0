#include "tolvane/core/hex_code.h"

#include <cstddef>

#include "tolvane/base/error.h"

namespace tolvane {
namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

unsigned HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10u;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10u;
  throw Error(kErrTypeMismatch, "Type mismatch");
}

// How many bytes `digits` characters hold: the upper bound digits / 2 - 1 rounded half to
// even, plus one, as the code's first readers computed it. An even count gives one byte per
// pair; an odd count 2k + 1 gives k + 1 bytes, the last digit being a byte alone, when k is
// even, and k bytes, the last digit left unread, when k is odd.
std::size_t HexByteCount(std::size_t digits) noexcept {
  if (digits % 2 == 0) return digits / 2;
  const std::size_t k = digits / 2;
  return k % 2 == 0 ? k + 1 : k;
}

}  // namespace

std::u16string TextToHexCode(std::u16string_view text) {
  std::u16string hex(text.size() * 4, u'0');
  char16_t* out = hex.data();
  for (const char16_t unit : text) {
    const unsigned low = unit & 0xFFu;
    const unsigned high = unit >> 8;
    out[0] = kHexDigits[low >> 4];
    out[1] = kHexDigits[low & 0xFu];
    out[2] = kHexDigits[high >> 4];
    out[3] = kHexDigits[high & 0xFu];
    out += 4;
  }
  return hex;
}

std::u16string HexCodeToText(std::u16string_view hex) {
  const std::size_t digits = hex.size();
  const std::size_t bytes = HexByteCount(digits);
  // Bytes pair up low byte first; an odd last byte becomes a code unit of its own value.
  std::u16string text((bytes + 1) / 2, u'\0');
  for (std::size_t i = 0; i < bytes; ++i) {
    const std::size_t at = 2 * i;
    unsigned value = HexValue(hex[at]);
    if (at + 1 < digits) value = value * 16 + HexValue(hex[at + 1]);
    text[i / 2] = static_cast<char16_t>(text[i / 2] | (i % 2 == 0 ? value : value << 8));
  }
  return text;
}

}  // namespace tolvane
