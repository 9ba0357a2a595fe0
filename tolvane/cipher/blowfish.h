#ifndef TOLVANE_CIPHER_BLOWFISH_H_
#define TOLVANE_CIPHER_BLOWFISH_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "tolvane/base/export.h"
#include "tolvane/cipher/byte_array.h"

namespace tolvane {

class KeySchedule;
struct CipherThreads;

// What Blowfish::CheckEncryptedFile could tell about the key.
enum class FileKeyCheck {
  // The padding after the stored length decrypted to zero bytes: the key fits.
  kKeyFits,
  // The stored length is a multiple of 8, so there is no padding to check the key against.
  kKeyNotCheckable,
};

// The Blowfish block cipher (64-bit blocks, 16 rounds) in electronic-codebook mode, with
// zero padding for text and files.
//
// Key the instance with sInitBF, then call the other methods any number of times. Every
// method except sInitBF handles its own failures: it shows them through ReportError (see
// tolvane/errors/report.h) under the label "Blowfish, <method>" and returns normally, with
// its outputs as far as it had got. No exception ever leaves those methods.
//
// Not thread-safe: one instance must not be used from two threads at once. Separate
// instances are independent. By default every call runs on the caller's thread alone; see
// SetThreads for large inputs.
class TOLVANE_API Blowfish {
 public:
  Blowfish() noexcept;
  // Copying copies the key schedule and the thread setting; moving leaves the source
  // unkeyed.
  Blowfish(const Blowfish& other);
  Blowfish& operator=(const Blowfish& other);
  Blowfish(Blowfish&& other) noexcept;
  Blowfish& operator=(Blowfish&& other) noexcept;
  // Wipes the key schedule.
  ~Blowfish();

  // Keys the instance with 1 to 32767 bytes; bytes after the 72nd have no effect. Throws
  // tolvane::Error (never reports): 9 "Subscript out of range" for a key never given a size
  // or an empty one, 6 "Overflow" for more than 32767 bytes. A failed call leaves the
  // instance exactly as it was, key and all.
  void sInitBF(const ByteArray& ByteKey);

  // The most threads one call of this instance may use for the cipher work: 1, the default,
  // keeps everything on the caller's thread; 0 means one per hardware thread; at most 64.
  // With more than one, an input of at least 256 KiB is cut into contiguous slices that the
  // caller's thread and the library's worker threads transform at the same time, with the
  // same result; smaller inputs stay on the caller's thread. The workers are started on
  // first use, shared by all instances, and only ever read the key schedule; every check
  // and every report stays on the caller's thread.
  void SetThreads(unsigned count);
  // The effective setting: 0 resolved to the number of hardware threads.
  unsigned Threads() const noexcept { return intThreads; }

  // Encrypts bytToEncrypt into bytEncrypted, which must already have the same size, a
  // multiple of 8 bytes; the output is overwritten, never resized. The same array may be
  // passed as both, to encrypt in place. Checks, in this order, each reported under
  // "Blowfish, sEncrypt" with the output left untouched: both arrays hold at least one byte
  // (9), equal sizes, a multiple of 8, the instance is keyed.
  void sEncrypt(const ByteArray& bytToEncrypt, ByteArray& bytEncrypted);
  // Decrypts likewise. Two empty arrays are accepted and leave nothing to do; there is no
  // check for at least one byte.
  void sDecrypt(const ByteArray& bytToDecrypt, ByteArray& bytUnencrypted);

  // Encrypts a whole file into the length-prefixed format: the plain length as 4 bytes,
  // least significant first, then the zero-padded plaintext encrypted as by sEncrypt.
  void sFileEncrypt(const std::filesystem::path& strFileSrc,
                    const std::filesystem::path& strFileTrg);
  // Decrypts a file in that format back to the plaintext at its stored length. Before anything
  // is written it checks the source, in this order: the instance is keyed; the source exists;
  // it is below 2 GiB (6); it holds the 4-byte header and a stored length of 0 or more (9); its
  // cipher data are whole blocks (-2147218101, shown under "Blowfish, sDecrypt"); the cipher
  // data are exactly the stored length padded to a multiple of 8 (321 "Invalid file format");
  // and, when the stored length is not a multiple of 8, the padding decrypts to zero bytes
  // (321, a wrong key or a damaged file). A source that fails any of these leaves the target,
  // and in place the source, exactly as they were.
  void sFileDecrypt(const std::filesystem::path& strFileSrc,
                    const std::filesystem::path& strFileTrg);
  // Runs the checks sFileDecrypt makes before it writes, and throws the tolvane::Error that
  // sFileDecrypt would show; writes nothing and shows nothing. Tells whether the key could be
  // checked: when the stored length is a multiple of 8 a wrong key goes unnoticed.
  FileKeyCheck CheckEncryptedFile(const std::filesystem::path& strFileSrc) const;

  // Called by sFileEncrypt and sFileDecrypt with the bytes of the source's data done so far
  // and their total: between chunks, at most about ten times a second, and once more when
  // every byte is done (before the target is put in place). An exception it throws ends the
  // method as a failure, with the target untouched. Empty: no calls. Copied with the instance.
  using ProgressCallback = std::function<void(std::uint64_t done, std::uint64_t total)>;
  void SetProgressCallback(ProgressCallback callback);

  // Encrypts text through its bytes in the active ANSI code page (tolvane/platform/
  // code_page.h), zero padded to a multiple of 8 code units; the cipher text holds one
  // character per cipher byte and may hold NUL characters. Code units the code page cannot
  // represent, each half of a surrogate pair included, are encrypted as "?". The output is
  // assigned last and may be the input object. Empty text makes sEncrypt report
  // 9 "Subscript out of range" and gives empty cipher text. On an unkeyed instance sEncrypt
  // reports the missing key and the cipher text is all NUL characters.
  void sStringEncrypt(const std::u16string& strToEncrypt, std::u16string& strEncrypted);
  // Decrypts cipher text and cuts the result before its first NUL character, unless that
  // NUL is the first character. Cipher text whose length is not a multiple of 8 is reported
  // as -2147218101 "String to decrypt should be sized divisible by 8." with the output
  // unchanged. Empty cipher text gives empty text, with no report on a keyed instance.
  void sStringDecrypt(const std::u16string& strToDecrypt, std::u16string& strUnencrypted);
  // Each UTF-16 code unit as four uppercase hexadecimal digits, low byte first. At most
  // 8192 code units: more is reported as 6 "Overflow" and gives empty text.
  std::u16string fStringToHexCode(const std::u16string& strText);
  // The reverse of fStringToHexCode; lowercase digits are accepted; empty code gives empty
  // text. Pairs of digits are bytes, two bytes a code unit, low byte first. An odd count of
  // 2k + 1 digits reads the last digit alone as a byte when k is even and ignores it when
  // k is odd. An odd number of bytes makes the last byte a code unit of its own value (high
  // byte 0): "41" gives "A". A digit that is read and is not one of 0-9, A-F, a-f is
  // reported as 13 "Type mismatch"; more than 32768 characters as 6 "Overflow"; either
  // gives empty text.
  std::u16string fHexCodeToString(const std::u16string& strHex);

 private:
  // The work itself is the core's (tolvane/core/); this class adds the checks in the order
  // its methods have always made them, and reports what fails.
  // The threads a call may use, with the process's worker pool when more than one.
  struct CipherThreads CipherThreadsOf() const noexcept;

  // The key schedule; none until sInitBF succeeds, which is the key-set flag.
  std::unique_ptr<KeySchedule> schedule_;
  // Threads a call may use, already resolved (never 0).
  unsigned intThreads = 1;
  ProgressCallback progress_;
};

}  // namespace tolvane

#endif  // TOLVANE_CIPHER_BLOWFISH_H_
