#ifndef TOLVANE_CORE_ENCRYPTED_FILE_H_
#define TOLVANE_CORE_ENCRYPTED_FILE_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>

#include "tolvane/base/byte_stream.h"
#include "tolvane/core/ecb.h"
#include "tolvane/core/key_schedule.h"

namespace tolvane {

// The length-prefixed encrypted format: the plaintext's length L as a signed 32-bit integer,
// least significant byte first, then the plaintext zero-padded to a multiple of 8 bytes and
// encrypted block by block in electronic-codebook mode. There is no signature or key check
// value, but the format allows two checks before anything is written: the cipher data must be
// exactly L padded to whole blocks, and the padding must decrypt to zero bytes.

inline constexpr std::size_t kFileHeaderBytes = 4;
// An encrypted file's length must fit the signed 32-bit lengths of the format's readers.
inline constexpr std::uint64_t kMaxEncryptedFileBytes = std::numeric_limits<std::int32_t>::max();
// The longest plaintext whose encrypted file stays below 2 GiB, so that every file encrypted
// can be decrypted again.
inline constexpr std::uint64_t kMaxPlainFileBytes = kMaxEncryptedFileBytes + 1 - 8;

// Told the bytes of the data done so far and their total, between chunks (at most about ten
// times a second) and once more when every byte is done. An exception it throws ends the
// streaming.
using ProgressFunction = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Throws tolvane::Error 6 "Overflow" when a plaintext of `length` bytes is too long for the
// format (kMaxPlainFileBytes).
void CheckPlainLength(std::uint64_t length);

// Writes the encrypted form of all of `source` (read from its start) to `sink`: the header,
// then the data chunk by chunk, transformed on `threads` while this thread reads and writes.
// Check the length first (CheckPlainLength). Throws what the source, the sink or `progress`
// throw; `sink` then holds a part, which the caller must discard.
void EncryptStream(const KeySchedule& key, const CipherThreads& threads, ByteSource& source,
                   ByteSink& sink, const ProgressFunction& progress);

// What reading an encrypted file's header found.
struct EncryptedLayout {
  std::uint64_t data_size = 0;     // the cipher data after the header
  std::uint64_t plain_length = 0;  // the stored length
  // Whether the key was checked against the zero padding: when the stored length is a
  // multiple of 8 there is none, and a wrong key goes unnoticed.
  bool key_checked = false;
};

// Reads the header of the encrypted file in `source` (from its start) and runs every check
// made before anything is written, in this order, throwing tolvane::Error: below 2 GiB (6);
// the 4-byte header and a stored length of 0 or more (9); cipher data of whole blocks
// (-2147218101 "Byte array must be sized divisible by 8."); cipher data exactly the stored
// length padded (321 "Invalid file format", naming `name`); and, when there is padding, that
// it decrypts to zero bytes (321, a wrong key or a damaged file). Leaves `source` at the start
// of the cipher data.
EncryptedLayout ReadEncryptedHeader(const KeySchedule& key, ByteSource& source,
                                    const std::filesystem::path& name);

// Writes the plaintext of the cipher data that `source` holds from where ReadEncryptedHeader
// left it, cut to the stored length, to `sink`. Throws as EncryptStream does.
void DecryptStream(const KeySchedule& key, const CipherThreads& threads, ByteSource& source,
                   const EncryptedLayout& layout, ByteSink& sink, const ProgressFunction& progress);

// The same on files, through the file layer (tolvane/platform/file_system.h): the source
// must name a regular file (else -2147218102 "Source file is not found"); the target is
// replaced whole and atomically once every byte is done, and is left exactly as it was on any
// failure; source and target may be the same file. Throws tolvane::Error.
void EncryptFile(const KeySchedule& key, const CipherThreads& threads,
                 const std::filesystem::path& source, const std::filesystem::path& target,
                 const ProgressFunction& progress);
// Every check of ReadEncryptedHeader comes before the target is touched.
void DecryptFile(const KeySchedule& key, const CipherThreads& threads,
                 const std::filesystem::path& source, const std::filesystem::path& target,
                 const ProgressFunction& progress);
// Opens `source` and runs ReadEncryptedHeader's checks on it; writes nothing.
EncryptedLayout CheckEncryptedFile(const KeySchedule& key, const std::filesystem::path& source);

}  // namespace tolvane

#endif  // TOLVANE_CORE_ENCRYPTED_FILE_H_
