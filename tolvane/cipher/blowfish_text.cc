// The text methods of Blowfish: text encryption through the ANSI code page, and the
// hexadecimal code.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <utility>

#include "tolvane/cipher/blowfish.h"
#include "tolvane/base/error.h"
#include "tolvane/errors/reported_call.h"
#include "tolvane/platform/code_page.h"
#include "tolvane/base/wipe.h"

namespace tolvane {
namespace {

// Lengths are signed 32-bit, and the padded length must fit as well.
constexpr std::size_t kMaxTextUnits = std::numeric_limits<std::int32_t>::max() - 7;
// The hexadecimal methods count positions in signed 16 bits: 16384 bytes at most.
constexpr std::size_t kMaxHexTextUnits = 8192;
constexpr std::size_t kMaxHexDigits = 32768;

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

std::size_t PaddedLength(std::size_t n) noexcept { return (n + 7) / 8 * 8; }

Error TypeMismatchError() { return Error(kErrTypeMismatch, "Type mismatch"); }

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  throw TypeMismatchError();
}

// How many bytes fHexCodeToString reads from `digits` characters: the upper bound
// digits / 2 - 1 rounded half to even, plus one. An even count gives one byte per pair; an
// odd count 2k + 1 gives k + 1 bytes, the last digit being a byte alone, when k is even, and
// k bytes, the last digit left unread, when k is odd.
std::size_t HexByteCount(std::size_t digits) noexcept {
  if (digits % 2 == 0) return digits / 2;
  const std::size_t k = digits / 2;
  return k % 2 == 0 ? k + 1 : k;
}

}  // namespace

void Blowfish::sStringToByte(const std::u16string& strText, ByteArray& bytes) {
  RunReported("Blowfish, sStringToByte", [&] {
    ByteArray converted(strText.size());
    TextToAnsi(strText, std::span(converted.data(), converted.size()));
    bytes = std::move(converted);
  });
}

void Blowfish::sStringEncrypt(const std::u16string& strToEncrypt, std::u16string& strEncrypted) {
  RunReported("Blowfish, sStringEncrypt", [&] {
    // Padded to the count of code units; in a single-byte code page that is the byte count.
    if (strToEncrypt.size() > kMaxTextUnits) throw OverflowError();
    const std::size_t padded = PaddedLength(strToEncrypt.size());
    ByteArray plain;
    sStringToByte(strToEncrypt, plain);
    plain.Resize(padded);
    ByteArray cipher(padded);
    // A failure in sEncrypt is reported there; the cipher array then stays all zero and
    // becomes NUL characters, as callers of this method have always received.
    sEncrypt(plain, cipher);
    // Assigned last, and only once the whole result exists: the output may be the input.
    strEncrypted = AnsiToText(std::span<const std::uint8_t>(cipher.data(), cipher.size()));
  });
}

void Blowfish::sStringDecrypt(const std::u16string& strToDecrypt, std::u16string& strUnencrypted) {
  RunReported("Blowfish, sStringDecrypt", [&] {
    if (strToDecrypt.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      throw OverflowError();
    }
    if (strToDecrypt.size() % 8 != 0) {
      throw Error(kErrNotMultipleOf8, "String to decrypt should be sized divisible by 8.");
    }
    ByteArray cipher;
    sStringToByte(strToDecrypt, cipher);
    // Sized from the cipher array; UBound refuses one that sStringToByte failed to fill.
    ByteArray plain(static_cast<std::size_t>(std::int64_t{cipher.UBound()} + 1));
    sDecrypt(cipher, plain);
    std::u16string text = AnsiToText(std::span<const std::uint8_t>(plain.data(), plain.size()));
    // The zero padding goes by cutting before the first NUL, unless the text starts with one.
    const std::size_t nul = text.find(u'\0');
    if (nul != std::u16string::npos && nul > 0) {
      // What follows the cut may be plaintext: wipe it rather than leave it in the buffer.
      SecureWipe(text.data() + nul, (text.size() - nul) * sizeof(char16_t));
      text.resize(nul);
    }
    strUnencrypted = std::move(text);
  });
}

std::u16string Blowfish::fStringToHexCode(const std::u16string& strText) {
  std::u16string result;
  RunReported("Blowfish, fStringToHexCode", [&] {
    if (strText.size() > kMaxHexTextUnits) throw OverflowError();
    std::u16string hex(strText.size() * 4, u'0');
    char16_t* out = hex.data();
    for (const char16_t unit : strText) {
      const unsigned low = unit & 0xFFu;
      const unsigned high = unit >> 8;
      out[0] = kHexDigits[low >> 4];
      out[1] = kHexDigits[low & 0xFu];
      out[2] = kHexDigits[high >> 4];
      out[3] = kHexDigits[high & 0xFu];
      out += 4;
    }
    result = std::move(hex);
  });
  return result;
}

std::u16string Blowfish::fHexCodeToString(const std::u16string& strHex) {
  std::u16string result;
  RunReported("Blowfish, fHexCodeToString", [&] {
    const std::size_t digits = strHex.size();
    if (digits > kMaxHexDigits) throw OverflowError();
    const std::size_t bytes = HexByteCount(digits);
    // Bytes pair up low byte first; an odd last byte becomes a code unit of its own value.
    std::u16string text((bytes + 1) / 2, u'\0');
    for (std::size_t i = 0; i < bytes; ++i) {
      const std::size_t at = 2 * i;
      unsigned value = static_cast<unsigned>(HexValue(strHex[at]));
      if (at + 1 < digits) value = value * 16 + static_cast<unsigned>(HexValue(strHex[at + 1]));
      text[i / 2] = static_cast<char16_t>(text[i / 2] | (i % 2 == 0 ? value : value << 8));
    }
    result = std::move(text);
  });
  return result;
}

}  // namespace tolvane
