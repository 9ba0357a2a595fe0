#ifndef TOLVANE_CORE_TEXT_CIPHER_H_
#define TOLVANE_CORE_TEXT_CIPHER_H_

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "tolvane/base/error.h"
#include "tolvane/base/wipe.h"
#include "tolvane/core/ecb.h"
#include "tolvane/core/key_schedule.h"
#include "tolvane/platform/code_page.h"

namespace tolvane {

// Text encryption: text goes through its bytes in an ANSI code page that the caller chose
// (tolvane/platform/code_page.h), one byte per UTF-16 code unit, zero padded to a multiple of
// 8; the cipher bytes come back as text through the same code page, one character per byte,
// NUL characters included. Nothing here reads the process's active code page: each caller
// decides which page once, so that one operation never mixes two.

// The longest text the format's signed 32-bit lengths allow, padding included.
inline constexpr std::size_t kMaxTextUnits = 2147483647 - 7;

// The text's bytes in `page`, one per code unit, as the system converts. Throws what the
// system's conversion throws.
SecureBytes AnsiBytes(const CodePage& page, std::u16string_view text);
// Bytes as text through `page`, one code unit per byte. Throws what the system's conversion
// throws.
std::u16string TextOfAnsiBytes(const CodePage& page, std::span<const std::uint8_t> bytes);

// The text's bytes in `page`, zero padded to a multiple of 8. Throws tolvane::Error 6
// "Overflow" for text longer than kMaxTextUnits, and what the conversion throws.
SecureBytes PaddedAnsiBytes(const CodePage& page, std::u16string_view text);

// Cuts decrypted text before its first NUL character, which drops the zero padding, unless
// that NUL is the first character. What is cut off is wiped.
void CutAtFirstNul(std::u16string& text) noexcept;

// The cipher text of `text` through `page`. Throws as PaddedAnsiBytes does.
std::u16string EncryptText(const KeySchedule& key, const CipherThreads& threads,
                           const CodePage& page, std::u16string_view text);

// The checks DecryptText makes before it converts anything: throws tolvane::Error 6
// "Overflow" for cipher text longer than the signed 32-bit lengths allow, and -2147218101
// "String to decrypt should be sized divisible by 8." when its length is not a multiple of 8.
// A caller that resolves the code page only when it decrypts calls this first, so that these
// failures come before a refused page's, as they always have.
inline void CheckCipherText(std::u16string_view cipher) {
  if (cipher.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw OverflowError();
  }
  if (cipher.size() % 8 != 0) throw TextNotMultipleOf8Error();
}

// The text of cipher text through `page`. Throws as CheckCipherText does, and what the
// conversion throws.
std::u16string DecryptText(const KeySchedule& key, const CipherThreads& threads,
                           const CodePage& page, std::u16string_view cipher);

}  // namespace tolvane

#endif  // TOLVANE_CORE_TEXT_CIPHER_H_
