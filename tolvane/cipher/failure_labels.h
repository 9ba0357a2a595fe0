#ifndef TOLVANE_CIPHER_FAILURE_LABELS_H_
#define TOLVANE_CIPHER_FAILURE_LABELS_H_

// The labels the face shows failures under, "Blowfish, <method>", and which method's label a
// failure of each operation carries: for the face's own methods, and for a host that does the
// same work on the core (tolvane-crypt) and must report each failure as the face always has.
// Not an installed header; inline, as a tool linked to the shared library finds nothing of it
// exported.

#include <string_view>

#include "tolvane/base/error.h"
#include "tolvane/core/text_cipher.h"  // the code page's error number

namespace tolvane::face {

inline constexpr std::string_view kEncrypt = "Blowfish, sEncrypt";
inline constexpr std::string_view kDecrypt = "Blowfish, sDecrypt";
inline constexpr std::string_view kFileEncrypt = "Blowfish, sFileEncrypt";
inline constexpr std::string_view kFileDecrypt = "Blowfish, sFileDecrypt";
inline constexpr std::string_view kStringToByte = "Blowfish, sStringToByte";
inline constexpr std::string_view kStringEncrypt = "Blowfish, sStringEncrypt";
inline constexpr std::string_view kStringDecrypt = "Blowfish, sStringDecrypt";
inline constexpr std::string_view kStringToHexCode = "Blowfish, fStringToHexCode";
inline constexpr std::string_view kHexCodeToString = "Blowfish, fHexCodeToString";

// What a host does as one of the face's methods does it.
enum class Operation {
  kEncryptText,    // sStringEncrypt
  kDecryptText,    // sStringDecrypt
  kHexCodeToText,  // fHexCodeToString
  kEncryptFile,    // sFileEncrypt
  kDecryptFile,    // sFileDecrypt
};

// The label the face shows `error` under when `operation` fails with it: that of the method
// whose step failed. A refused code page is the text conversion's (sStringToByte); text to
// encrypt that RequireFaceText refuses is the empty array's (sEncrypt); cipher data of no
// whole blocks in a file is the byte-array method's (sDecrypt). Anything else is the
// operation's own method's.
inline std::string_view FailureLabel(Operation operation, const Error& error) noexcept {
  switch (operation) {
    case Operation::kEncryptText:
      if (error.number() == kErrUnsupportedCodePage) return kStringToByte;
      return error.number() == kErrSubscript ? kEncrypt : kStringEncrypt;
    case Operation::kDecryptText:
      return error.number() == kErrUnsupportedCodePage ? kStringToByte : kStringDecrypt;
    case Operation::kHexCodeToText:
      return kHexCodeToString;
    case Operation::kEncryptFile:
      return kFileEncrypt;
    case Operation::kDecryptFile:
      return error.number() == kErrNotMultipleOf8 ? kDecrypt : kFileDecrypt;
  }
  return {};
}

// What the face refuses though the core does it without complaint: empty text to encrypt,
// which sStringEncrypt hands to sEncrypt as an empty array, refused with 9 "Subscript out of
// range" (the face then gives empty cipher text). Throws that error; anything else passes.
inline void RequireFaceText(Operation operation, std::u16string_view text) {
  if (operation == Operation::kEncryptText && text.empty()) throw SubscriptError();
}

}  // namespace tolvane::face

#endif  // TOLVANE_CIPHER_FAILURE_LABELS_H_
