#include "tools/crypt/exact_text.h"

#include <cstdio>

#include "tolvane/base/utf8.h"
#include "tolvane/platform/code_page.h"

namespace tolvane::crypt {

std::optional<InexactCharacter> FindInexactCharacter(const CodePage& page,
                                                     std::u16string_view text) {
  std::size_t position = 1;
  for (std::size_t i = 0; i < text.size(); ++position) {
    const Utf16Character character = DecodeUtf16(text, i);
    // No single-byte code page holds a character beyond the Basic Multilingual Plane.
    if (character.length == 2) return InexactCharacter{position, character.code_point};
    const char16_t unit = text[i];
    if (page.ToUnit(page.ToByte(unit)) != unit) return InexactCharacter{position, unit};
    i += character.length;
  }
  return std::nullopt;
}

std::string DescribeCharacter(char32_t character) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(character));
  if (character < 0x20 || (character >= 0x7F && character < 0xA0) || IsSurrogate(character)) {
    return code;
  }
  std::string text = std::string(code) + " '";
  AppendUtf8(text, character);
  return text + "'";
}

}  // namespace tolvane::crypt
