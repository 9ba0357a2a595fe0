#ifndef TOLVANE_SUPPORT_BASE64_H_
#define TOLVANE_SUPPORT_BASE64_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "tolvane/base/export.h"

namespace tolvane {

// Decodes standard Base64 (alphabet "A-Z a-z 0-9 + /", "=" padding) into bytes.
//
// Space, tab, CR and LF are skipped wherever they stand, so line-broken text decodes as it
// is. Every group must be complete: four characters, the last group possibly closed by "=="
// or "=". Anything else - a character outside the alphabet, a "=" that does not close the
// last group, text that ends inside a group, a group with a single character - throws
// tolvane::Error (kErrInvalidCall) whose description says what was wrong and at which offset
// (in code units, from 0). Nothing partial is returned. Failures reach the caller unreported.
TOLVANE_API std::vector<std::uint8_t> Base64Decode(std::string_view text);
TOLVANE_API std::vector<std::uint8_t> Base64Decode(std::u16string_view text);

}  // namespace tolvane

#endif  // TOLVANE_SUPPORT_BASE64_H_
