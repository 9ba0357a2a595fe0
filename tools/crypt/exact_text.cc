#include "tools/crypt/exact_text.h"

#include <cstdio>

#include "tolvane/base/utf8.h"
#include "tolvane/platform/code_page.h"

namespace tolvane::crypt {
namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

}  // namespace

std::optional<InexactCharacter> FindInexactCharacter(const CodePage& page,
                                                     std::u16string_view text) {
  std::size_t position = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    ++position;
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      // No single-byte code page holds a character beyond the Basic Multilingual Plane.
      const char32_t character =
          0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      return InexactCharacter{position, character};
    }
    if (page.ToUnit(page.ToByte(unit)) != unit) return InexactCharacter{position, unit};
  }
  return std::nullopt;
}

std::string DescribeCharacter(char32_t character) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(character));
  if (character < 0x20 || (character >= 0x7F && character < 0xA0) ||
      (character >= 0xD800 && character < 0xE000)) {
    return code;
  }
  std::u16string units;
  if (character >= 0x10000) {
    units += static_cast<char16_t>(0xD800 + ((character - 0x10000) >> 10));
    units += static_cast<char16_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
  } else {
    units += static_cast<char16_t>(character);
  }
  return std::string(code) + " '" + Utf16ToUtf8(units) + "'";
}

}  // namespace tolvane::crypt
