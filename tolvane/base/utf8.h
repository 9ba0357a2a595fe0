#ifndef TOLVANE_BASE_UTF8_H_
#define TOLVANE_BASE_UTF8_H_

#include <string>
#include <string_view>

#include "tolvane/base/export.h"

namespace tolvane {

// Part of the public C++ API, for the core's text and for tolvane-crypt.

// Decodes UTF-8 into UTF-16 code units. Throws tolvane::Error 5 with the byte offset for
// anything that is not well-formed UTF-8 (overlong forms, surrogates, truncated sequences).
TOLVANE_API std::u16string Utf8ToUtf16(std::string_view utf8);

// Encodes UTF-16 as UTF-8. A lone surrogate, which has no UTF-8 form, becomes U+FFFD.
TOLVANE_API std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace tolvane

#endif  // TOLVANE_BASE_UTF8_H_
