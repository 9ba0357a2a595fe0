// The text methods of Blowfish: text encryption through the ANSI code page, and the
// hexadecimal code.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <utility>

#include "tolvane/base/error.h"
#include "tolvane/cipher/blowfish.h"
#include "tolvane/core/hex_code.h"
#include "tolvane/core/text_cipher.h"
#include "tolvane/errors/reported_call.h"

namespace tolvane {
namespace {

// The hexadecimal methods count positions in signed 16 bits: 16384 bytes at most.
constexpr std::size_t kMaxHexTextUnits = 8192;
constexpr std::size_t kMaxHexDigits = 32768;

std::size_t PaddedLength(std::size_t n) noexcept { return (n + 7) / 8 * 8; }

}  // namespace

void Blowfish::sStringToByte(const std::u16string& strText, ByteArray& bytes) {
  RunReported("Blowfish, sStringToByte", [&] {
    const SecureBytes converted = AnsiBytes(strText);
    bytes = ByteArray(std::span<const std::uint8_t>(converted.data(), converted.size()));
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
    strEncrypted = TextOfAnsiBytes(std::span<const std::uint8_t>(cipher.data(), cipher.size()));
  });
}

void Blowfish::sStringDecrypt(const std::u16string& strToDecrypt, std::u16string& strUnencrypted) {
  RunReported("Blowfish, sStringDecrypt", [&] {
    if (strToDecrypt.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      throw OverflowError();
    }
    if (strToDecrypt.size() % 8 != 0) throw TextNotMultipleOf8Error();
    ByteArray cipher;
    sStringToByte(strToDecrypt, cipher);
    // Sized from the cipher array; UBound refuses one that sStringToByte failed to fill.
    ByteArray plain(static_cast<std::size_t>(std::int64_t{cipher.UBound()} + 1));
    sDecrypt(cipher, plain);
    std::u16string text =
        TextOfAnsiBytes(std::span<const std::uint8_t>(plain.data(), plain.size()));
    CutAtFirstNul(text);
    strUnencrypted = std::move(text);
  });
}

std::u16string Blowfish::fStringToHexCode(const std::u16string& strText) {
  std::u16string result;
  RunReported("Blowfish, fStringToHexCode", [&] {
    if (strText.size() > kMaxHexTextUnits) throw OverflowError();
    result = TextToHexCode(strText);
  });
  return result;
}

std::u16string Blowfish::fHexCodeToString(const std::u16string& strHex) {
  std::u16string result;
  RunReported("Blowfish, fHexCodeToString", [&] {
    if (strHex.size() > kMaxHexDigits) throw OverflowError();
    result = HexCodeToText(strHex);
  });
  return result;
}

}  // namespace tolvane
