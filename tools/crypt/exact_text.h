#ifndef TOOLS_CRYPT_EXACT_TEXT_H_
#define TOOLS_CRYPT_EXACT_TEXT_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "tolvane/platform/code_page.h"

namespace tolvane::crypt {

// A character that a code page cannot hold exactly: converting it to a byte and
// back does not give the character again (it becomes "?" or a look-alike).
struct InexactCharacter {
  std::size_t position;  // counted in characters, from 1
  char32_t character;
};

// The first character of `text` that `page` cannot hold exactly, if any. Text and keys that
// pass go through the code page and back unchanged.
std::optional<InexactCharacter> FindInexactCharacter(const CodePage& page,
                                                     std::u16string_view text);

// "U+4F60 '你'" (control characters without the quoted form).
std::string DescribeCharacter(char32_t character);

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_EXACT_TEXT_H_
