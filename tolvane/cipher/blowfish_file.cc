// The file methods of Blowfish: whole files in the length-prefixed format.
//
// An encrypted file is the plain length L as a signed 32-bit integer, least significant byte
// first, followed by the plaintext zero-padded to a multiple of 8 bytes and encrypted
// block by block as by sEncrypt. There is no signature or key check.
//
// Each method streams the file through one buffer of at most kChunkBytes: it reads a chunk,
// transforms it in place and appends it to a temporary file, and the buffer is wiped when
// freed. Cache-sized chunks keep the data hot between reading, the cipher and writing, and
// memory stays small whatever the file's size. The target is replaced only when every chunk
// succeeded, and then atomically (see AtomicFileWriter); any failure before leaves it as it
// was.

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include "tolvane/cipher/blowfish.h"
#include "tolvane/errors/error.h"
#include "tolvane/errors/reported_call.h"
#include "tolvane/platform/file_system.h"

namespace tolvane {
namespace {

constexpr std::size_t kHeaderBytes = 4;
constexpr std::uint64_t kMaxFileBytes = std::numeric_limits<std::int32_t>::max();
// The largest plaintext whose encrypted file stays below 2^31 bytes, so that every file
// encrypted here can be decrypted again.
constexpr std::uint64_t kMaxPlainBytes = kMaxFileBytes + 1 - 8;

std::array<std::uint8_t, kHeaderBytes> EncodeLength(std::uint32_t length) {
  return {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
          static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
}

std::int32_t DecodeLength(const std::array<std::uint8_t, kHeaderBytes>& bytes) {
  const std::uint32_t value = std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
                              (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
  return static_cast<std::int32_t>(value);
}

// A multiple of 8, so that every chunk but the last is whole blocks. 1 MiB measured fastest
// for a 256 MiB file (8 MiB and more fall out of the processor's caches).
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

std::size_t PaddedLength(std::uint64_t length) {
  return static_cast<std::size_t>((length + 7) / 8 * 8);
}

}  // namespace

void Blowfish::sFileEncrypt(const std::filesystem::path& strFileSrc,
                            const std::filesystem::path& strFileTrg) {
  RunReported("Blowfish, sFileEncrypt", [&] {
    if (!blnInit) throw NotKeyedError();

    InputFile source(strFileSrc);
    const std::uint64_t length = source.size();
    if (length > kMaxPlainBytes) throw OverflowError();

    AtomicFileWriter target(strFileTrg);
    target.Write(EncodeLength(static_cast<std::uint32_t>(length)));
    // An empty file has no blocks: it becomes the bare header, so every file round-trips.
    ByteArray chunk(std::min(PaddedLength(length), kChunkBytes));
    for (std::uint64_t done = 0; done < length;) {
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(length - done, kChunkBytes));
      if (n < chunk.size()) {
        // The last chunk: zero padding after the file's final bytes.
        chunk.Resize(PaddedLength(n));
        std::fill(chunk.begin() + n, chunk.end(), std::uint8_t{0});
      }
      source.ReadExactly({chunk.data(), n});
      if (!EncryptArray(chunk, chunk)) return;
      target.Write(chunk);
      done += n;
    }
    source.Close();
    target.Commit();
  });
}

void Blowfish::sFileDecrypt(const std::filesystem::path& strFileSrc,
                            const std::filesystem::path& strFileTrg) {
  RunReported("Blowfish, sFileDecrypt", [&] {
    if (!blnInit) throw NotKeyedError();

    InputFile source(strFileSrc);
    const std::uint64_t file_size = source.size();
    if (file_size > kMaxFileBytes) throw OverflowError();
    if (file_size < kHeaderBytes) throw SubscriptError();
    std::array<std::uint8_t, kHeaderBytes> header{};
    source.ReadExactly(header);
    const std::int32_t stored_length = DecodeLength(header);
    const std::uint64_t data_size = file_size - kHeaderBytes;

    // A stored length beyond the data gives a zero tail, a shorter one cuts the data; a
    // negative one is refused once all the data has deciphered.
    const std::uint64_t length = stored_length < 0 ? 0 : static_cast<std::uint64_t>(stored_length);
    AtomicFileWriter target(strFileTrg);
    ByteArray chunk(static_cast<std::size_t>(std::min<std::uint64_t>(data_size, kChunkBytes)));
    for (std::uint64_t done = 0; done < data_size;) {
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(data_size - done, kChunkBytes));
      if (n < chunk.size()) chunk.Resize(n);
      source.ReadExactly(chunk);
      // Cipher data that sDecrypt refuses (not a multiple of 8, found in the last chunk) ends
      // the method before the target is touched: in place it would destroy the only copy.
      if (!DecryptArray(chunk, chunk)) return;
      if (done < length) {
        target.Write(
            {chunk.data(), static_cast<std::size_t>(std::min<std::uint64_t>(length - done, n))});
      }
      done += n;
    }
    source.Close();
    if (stored_length < 0) throw SubscriptError();
    if (length > data_size) target.WriteZeros(length - data_size);
    target.Commit();
  });
}

}  // namespace tolvane
