#include "tolvane/core/text_cipher.h"

#include <cstddef>
#include <limits>
#include <utility>

#include "tolvane/base/error.h"
#include "tolvane/platform/code_page.h"

namespace tolvane {

SecureBytes AnsiBytes(std::u16string_view text) {
  SecureBytes bytes(text.size());
  TextToAnsi(text, bytes);
  return bytes;
}

std::u16string TextOfAnsiBytes(std::span<const std::uint8_t> bytes) { return AnsiToText(bytes); }

SecureBytes PaddedAnsiBytes(std::u16string_view text) {
  // Padded to the count of code units; in a single-byte code page that is the byte count.
  if (text.size() > kMaxTextUnits) throw OverflowError();
  SecureBytes bytes((text.size() + 7) / 8 * 8);
  TextToAnsi(text, std::span<std::uint8_t>(bytes.data(), text.size()));
  return bytes;
}

void CutAtFirstNul(std::u16string& text) noexcept {
  const std::size_t nul = text.find(u'\0');
  if (nul == std::u16string::npos || nul == 0) return;
  // What follows the cut may be plaintext: wipe it rather than leave it in the buffer.
  SecureWipe(text.data() + nul, (text.size() - nul) * sizeof(char16_t));
  text.resize(nul);
}

std::u16string EncryptText(const KeySchedule& key, const CipherThreads& threads,
                           std::u16string_view text) {
  SecureBytes bytes = PaddedAnsiBytes(text);
  EcbEncrypt(key, bytes, bytes, threads);
  return AnsiToText(bytes);
}

std::u16string DecryptText(const KeySchedule& key, const CipherThreads& threads,
                           std::u16string_view cipher) {
  if (cipher.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw OverflowError();
  }
  if (cipher.size() % 8 != 0) throw TextNotMultipleOf8Error();
  SecureBytes bytes = AnsiBytes(cipher);
  EcbDecrypt(key, bytes, bytes, threads);
  std::u16string text = AnsiToText(bytes);
  CutAtFirstNul(text);
  return text;
}

}  // namespace tolvane
