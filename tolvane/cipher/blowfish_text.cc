// The text methods of Blowfish: text encryption through the ANSI code page, and the
// hexadecimal code.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "tolvane/base/error.h"
#include "tolvane/cipher/blowfish.h"
#include "tolvane/cipher/failure_labels.h"
#include "tolvane/core/hex_code.h"
#include "tolvane/core/text_cipher.h"
#include "tolvane/errors/reported_call.h"

namespace tolvane {
namespace {

// The hexadecimal methods count positions in signed 16 bits: 16384 bytes at most.
constexpr std::size_t kMaxHexTextUnits = 8192;
constexpr std::size_t kMaxHexDigits = 32768;

std::size_t PaddedLength(std::size_t n) noexcept { return (n + 7) / 8 * 8; }

// The text methods' conversion into bytes, a method of its own with its own label: converts
// text into its bytes in the call's code page, replacing `bytes`; on a failure (reported, a
// refused page included) `bytes` is left as it was.
void StringToByte(const ResolvedCodePage& page, std::u16string_view text, ByteArray& bytes) {
  RunReported(face::kStringToByte, [&] {
    const SecureBytes converted = AnsiBytes(page.Get(), text);
    bytes = ByteArray(std::span<const std::uint8_t>(converted.data(), converted.size()));
  });
}

}  // namespace

void Blowfish::sStringEncrypt(const std::u16string& strToEncrypt, std::u16string& strEncrypted) {
  RunReported(face::kStringEncrypt, [&] {
    // Padded to the count of code units; in a single-byte code page that is the byte count.
    if (strToEncrypt.size() > kMaxTextUnits) throw OverflowError();
    const std::size_t padded = PaddedLength(strToEncrypt.size());
    const ResolvedCodePage page = ResolvedCodePage::Active();
    ByteArray plain;
    StringToByte(page, strToEncrypt, plain);
    plain.Resize(padded);
    ByteArray cipher(padded);
    // A failure in sEncrypt is reported there; the cipher array then stays all zero and
    // becomes NUL characters, as callers of this method have always received.
    sEncrypt(plain, cipher);
    // Assigned last, and only once the whole result exists: the output may be the input.
    strEncrypted =
        TextOfAnsiBytes(page.Get(), std::span<const std::uint8_t>(cipher.data(), cipher.size()));
  });
}

void Blowfish::sStringDecrypt(const std::u16string& strToDecrypt, std::u16string& strUnencrypted) {
  RunReported(face::kStringDecrypt, [&] {
    CheckCipherText(strToDecrypt);
    const ResolvedCodePage page = ResolvedCodePage::Active();
    ByteArray cipher;
    StringToByte(page, strToDecrypt, cipher);
    // Sized from the cipher array; UBound refuses one that StringToByte failed to fill.
    ByteArray plain(static_cast<std::size_t>(std::int64_t{cipher.UBound()} + 1));
    sDecrypt(cipher, plain);
    std::u16string text =
        TextOfAnsiBytes(page.Get(), std::span<const std::uint8_t>(plain.data(), plain.size()));
    CutAtFirstNul(text);
    strUnencrypted = std::move(text);
  });
}

std::u16string Blowfish::fStringToHexCode(const std::u16string& strText) {
  std::u16string result;
  RunReported(face::kStringToHexCode, [&] {
    if (strText.size() > kMaxHexTextUnits) throw OverflowError();
    result = TextToHexCode(strText);
  });
  return result;
}

std::u16string Blowfish::fHexCodeToString(const std::u16string& strHex) {
  std::u16string result;
  RunReported(face::kHexCodeToString, [&] {
    if (strHex.size() > kMaxHexDigits) throw OverflowError();
    result = HexCodeToText(strHex);
  });
  return result;
}

}  // namespace tolvane
