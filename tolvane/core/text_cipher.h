#ifndef TOLVANE_CORE_TEXT_CIPHER_H_
#define TOLVANE_CORE_TEXT_CIPHER_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "tolvane/base/export.h"
#include "tolvane/base/wipe.h"
#include "tolvane/core/ecb.h"
#include "tolvane/core/key_schedule.h"

namespace tolvane {

// Text encryption: text goes through its bytes in the active ANSI code page
// (tolvane/platform/code_page.h), one byte per UTF-16 code unit, zero padded to a multiple of
// 8; the cipher bytes come back as text through the same code page, one character per byte,
// NUL characters included.

// The longest text the format's signed 32-bit lengths allow, padding included.
inline constexpr std::size_t kMaxTextUnits = 2147483647 - 7;

// The text's ANSI bytes, one per code unit. Throws what the code page throws.
TOLVANE_API SecureBytes AnsiBytes(std::u16string_view text);
// Bytes as text through the active ANSI code page, one code unit per byte. Throws what the
// code page throws.
TOLVANE_API std::u16string TextOfAnsiBytes(std::span<const std::uint8_t> bytes);

// The text's ANSI bytes, zero padded to a multiple of 8. Throws tolvane::Error 6 "Overflow"
// for text longer than kMaxTextUnits, and what the code page throws.
TOLVANE_API SecureBytes PaddedAnsiBytes(std::u16string_view text);

// Cuts decrypted text before its first NUL character, which drops the zero padding, unless
// that NUL is the first character. What is cut off is wiped.
TOLVANE_API void CutAtFirstNul(std::u16string& text) noexcept;

// The cipher text of `text`. Throws as PaddedAnsiBytes does.
TOLVANE_API std::u16string EncryptText(const KeySchedule& key, const CipherThreads& threads,
                                       std::u16string_view text);

// The text of cipher text. Throws tolvane::Error -2147218101 "String to decrypt should be sized
// divisible by 8." when its length is not a multiple of 8, and what the code page throws.
TOLVANE_API std::u16string DecryptText(const KeySchedule& key, const CipherThreads& threads,
                                       std::u16string_view cipher);

}  // namespace tolvane

#endif  // TOLVANE_CORE_TEXT_CIPHER_H_
