// sStringEncrypt and sStringDecrypt on arbitrary text, keys and code pages.
//
// Encrypting then decrypting gives back the text as the code page carries it (code units it
// cannot represent become "?"), zero-padded and cut before the first NUL unless that NUL comes
// first: so every non-empty text without NUL characters, in the code page, comes back whole.
// Arbitrary cipher text is refused with one message when its length is no multiple of 8, and
// otherwise decrypts to text that encrypts back to it whenever nothing was cut. No other call
// shows a message, and nothing escapes.
//
// Input: one byte choosing the code page (bit 7: also try an instance never keyed), one byte
// of key length (1 to 64), the key, then the text as UTF-16, low byte first.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tolvane/cipher/blowfish.h"
#include "tolvane/platform/code_page.h"

namespace tolvane::fuzz {
namespace {

constexpr int kCodePages[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

std::size_t Padded(std::size_t n) { return (n + 7) / 8 * 8; }

// What decryption must give for `text`: each code unit as the code page carries it, NUL
// padding to the padded length, cut before the first NUL unless it is the first character.
std::u16string Expected(const CodePage& page, const std::u16string& text) {
  std::u16string out;
  for (const char16_t c : text) out.push_back(page.ToUnit(page.ToByte(c)));
  out.resize(Padded(text.size()), u'\0');
  const std::size_t nul = out.find(u'\0');
  if (nul != std::u16string::npos && nul > 0) out.resize(nul);
  return out;
}

bool Representable(const CodePage& page, const std::u16string& text) {
  for (const char16_t c : text) {
    if (page.ToUnit(page.ToByte(c)) != c) return false;
  }
  return true;
}

void CheckRoundTrip(Blowfish& bf, const CodePage& page, const std::u16string& text) {
  std::u16string cipher = u"untouched";
  bf.sStringEncrypt(text, cipher);
  if (text.empty()) {
    // Nothing to encrypt: sEncrypt reports its empty array, the cipher text is empty.
    FUZZ_CHECK(TakeMessages().size() == 1 && cipher.empty());
  } else {
    FUZZ_CHECK(TakeMessages().empty());
    FUZZ_CHECK(cipher.size() == Padded(text.size()));
  }
  // The output may be the input object.
  std::u16string same = text;
  bf.sStringEncrypt(same, same);
  FUZZ_CHECK(same == cipher);
  TakeMessages();

  std::u16string plain = u"untouched";
  bf.sStringDecrypt(cipher, plain);
  FUZZ_CHECK(TakeMessages().empty());
  FUZZ_CHECK(plain == Expected(page, text));
  if (!text.empty() && text.find(u'\0') == std::u16string::npos && Representable(page, text)) {
    FUZZ_CHECK(plain == text);
  }
  bf.sStringDecrypt(cipher, cipher);
  FUZZ_CHECK(cipher == plain);
  FUZZ_CHECK(TakeMessages().empty());
}

void CheckArbitraryCipherText(Blowfish& bf, const CodePage& page, const std::u16string& cipher) {
  std::u16string plain = u"untouched";
  bf.sStringDecrypt(cipher, plain);
  const auto messages = TakeMessages();
  if (cipher.size() % 8 != 0) {
    FUZZ_CHECK(messages.size() == 1 && plain == u"untouched");
    FUZZ_CHECK(messages[0] ==
               "Blowfish, sStringDecrypt(-2147218101 - String to decrypt should be sized "
               "divisible by 8.)");
    return;
  }
  FUZZ_CHECK(messages.empty());
  FUZZ_CHECK(plain.size() <= cipher.size());
  // Nothing cut (the plain text is whole, or began with NUL and was kept whole): encrypting
  // it again gives the cipher text, as far as the code page carries it.
  if (!cipher.empty() && plain.size() == cipher.size()) {
    std::u16string again;
    bf.sStringEncrypt(plain, again);
    FUZZ_CHECK(TakeMessages().empty());
    std::u16string carried;
    for (const char16_t c : cipher) carried.push_back(page.ToUnit(page.ToByte(c)));
    FUZZ_CHECK(again == carried);
  }
}

void CheckUnkeyed(const std::u16string& text) {
  Blowfish unkeyed;
  std::u16string cipher;
  unkeyed.sStringEncrypt(text, cipher);
  FUZZ_CHECK(TakeMessages().size() == 1);
  FUZZ_CHECK(cipher == std::u16string(Padded(text.size()), u'\0'));
  std::u16string plain = u"untouched";
  unkeyed.sStringDecrypt(std::u16string(Padded(text.size()) + 8, u'x'), plain);
  FUZZ_CHECK(TakeMessages().size() == 1);
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolvane;
  using namespace tolvane::fuzz;
  TakeMessages();
  Input input(data, size);
  const std::uint8_t options = input.Byte();
  const int code_page = kCodePages[(options & 0x7F) % std::size(kCodePages)];
  SetAnsiCodePage(code_page);
  const CodePage page = CodePage::Of(code_page);
  const std::size_t key_size = 1 + input.Byte() % 64;
  std::vector<std::uint8_t> key = input.Bytes(key_size);
  if (key.empty()) key.push_back(0);
  const std::u16string text = input.RestAsText();

  try {
    Blowfish bf;
    bf.sInitBF(ByteArray(key));
    CheckRoundTrip(bf, page, text);
    CheckArbitraryCipherText(bf, page, text);
    if (options & 0x80) CheckUnkeyed(text);
  } catch (...) {
    FUZZ_CHECK(!"an exception escaped");
  }
  return 0;
}
