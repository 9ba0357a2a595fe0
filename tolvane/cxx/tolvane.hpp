// Tolvane for C++ programs that want exceptions rather than message boxes, installed as
// <tolvane/tolvane.hpp>. Every function throws tolvane::Error (number and description, as
// tolvane/errors/error.h lists them) on failure and shows nothing; a failure changes nothing
// it was given. The formats are those of the Blowfish class (tolvane/cipher/blowfish.h), byte
// for byte: electronic-codebook mode with zero padding, the length-prefixed encrypted file,
// text through a single-byte ANSI code page.
//
// Also here, being exception-based already: CodePage (tolvane/platform/code_page.h),
// Base64Decode (tolvane/support/base64.h) and the settings (tolvane/support/registry.h).
#ifndef TOLVANE_CXX_TOLVANE_HPP_
#define TOLVANE_CXX_TOLVANE_HPP_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "tolvane/base/error.h"
#include "tolvane/base/export.h"
#include "tolvane/platform/code_page.h"
#include "tolvane/support/base64.h"
#include "tolvane/support/registry.h"

namespace tolvane {

// Told the bytes done so far and their total as a file operation goes (about ten times a
// second at most, and once when every byte is done). An exception it throws stops the
// operation, leaves the target as it was and goes on to the caller.
using FileProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// What checking an encrypted file found.
struct FileCheck {
  std::uint64_t plain_length = 0;  // the length its header gives
  // Whether the key was checked: it can be only where the length leaves zero padding (not a
  // multiple of 8); otherwise a wrong key goes unnoticed until the data is read.
  bool key_checked = false;
};

// A Blowfish key schedule and the number of threads a call may use. A value: copies are
// independent, each wiped when it goes; a moved-from cipher refuses every operation with
// -2147218103. One cipher may be used by several threads at once.
class TOLVANE_API Cipher {
 public:
  // Keys the cipher with 1 to 32767 bytes (only the first 72 count). Throws 9 "Subscript out
  // of range" for an empty key and 6 "Overflow" for a longer one.
  explicit Cipher(std::span<const std::uint8_t> key);
  Cipher(const Cipher& other);
  Cipher& operator=(const Cipher& other);
  Cipher(Cipher&& other) noexcept;
  Cipher& operator=(Cipher&& other) noexcept;
  ~Cipher();

  // How many threads one call may use: 0 for one per hardware thread, at most 64. One at first.
  void set_threads(unsigned count) noexcept;
  unsigned threads() const noexcept;

  // `in` into `out` in electronic-codebook mode. The sizes must be equal (-2147218102) and a
  // multiple of 8 (-2147218101); `in` and `out` are the same buffer or apart (5 when they
  // overlap otherwise). Allocates nothing.
  void Encrypt(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const;
  void Decrypt(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const;

  // The encrypted file of `source` at `target`, or the plaintext of the encrypted `source`.
  // The target is replaced whole once every byte is done and is left as it was on any
  // failure; source and target may be the same file. A missing source throws -2147218102, a
  // file that is not in the format (or, where it can tell, a wrong key) 321.
  void EncryptFile(const std::filesystem::path& source, const std::filesystem::path& target,
                   const FileProgress& progress = {}) const;
  void DecryptFile(const std::filesystem::path& source, const std::filesystem::path& target,
                   const FileProgress& progress = {}) const;
  // Runs every check DecryptFile makes before writing, and writes nothing.
  FileCheck CheckFile(const std::filesystem::path& path) const;

  // The cipher text of `text`: its bytes in `page`, one per UTF-16 code unit, zero padded to
  // a multiple of 8 and encrypted, read back through `page` one character per byte.
  // Characters the page lacks become a look-alike or "?". Throws 6 "Overflow" for text over
  // 2^31 - 8 code units.
  std::u16string EncryptText(std::u16string_view text, const CodePage& page) const;
  // The text of cipher text (a multiple of 8 code units, else -2147218101), cut before its
  // first NUL unless that is the first character.
  std::u16string DecryptText(std::u16string_view cipher_text, const CodePage& page) const;

 private:
  struct State;
  // The state, or -2147218103 for a moved-from cipher.
  const State& keyed() const;
  std::unique_ptr<State> state_;
};

// The hexadecimal code of text: each UTF-16 code unit as four uppercase digits, low byte
// first ("A" is "4100").
TOLVANE_API std::u16string HexCodeOf(std::u16string_view text);
// The text a hexadecimal code holds, lowercase digits accepted: pairs of digits are bytes, two
// bytes a code unit, low byte first; a last lone byte is a code unit of its own ("41" is "A").
// Throws 13 "Type mismatch" for a digit that is read and is not one.
TOLVANE_API std::u16string TextOfHexCode(std::u16string_view code);

}  // namespace tolvane

#endif  // TOLVANE_CXX_TOLVANE_HPP_
