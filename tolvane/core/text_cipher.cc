#include "tolvane/core/text_cipher.h"

#include <cstddef>
#include <utility>

#include "tolvane/base/error.h"
#include "tolvane/platform/system_code_page.h"

namespace tolvane {

SecureBytes AnsiBytes(const CodePage& page, std::u16string_view text) {
  SecureBytes bytes(text.size());
  system_code_page::Encode(page.number(), text, bytes);
  return bytes;
}

std::u16string TextOfAnsiBytes(const CodePage& page, std::span<const std::uint8_t> bytes) {
  std::u16string text(bytes.size(), u'\0');
  system_code_page::Decode(page.number(), bytes, text);
  return text;
}

SecureBytes PaddedAnsiBytes(const CodePage& page, std::u16string_view text) {
  // Padded to the count of code units; in a single-byte code page that is the byte count.
  if (text.size() > kMaxTextUnits) throw OverflowError();
  SecureBytes bytes((text.size() + 7) / 8 * 8);
  system_code_page::Encode(page.number(), text, std::span<std::uint8_t>(bytes.data(), text.size()));
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
                           const CodePage& page, std::u16string_view text) {
  SecureBytes bytes = PaddedAnsiBytes(page, text);
  EcbEncrypt(key, bytes, bytes, threads);
  return TextOfAnsiBytes(page, bytes);
}

std::u16string DecryptText(const KeySchedule& key, const CipherThreads& threads,
                           const CodePage& page, std::u16string_view cipher) {
  CheckCipherText(cipher);
  SecureBytes bytes = AnsiBytes(page, cipher);
  EcbDecrypt(key, bytes, bytes, threads);
  std::u16string text = TextOfAnsiBytes(page, bytes);
  CutAtFirstNul(text);
  return text;
}

}  // namespace tolvane
