// The file methods of Blowfish: whole files in the length-prefixed format.
//
// An encrypted file is the plain length L as a signed 32-bit integer, least significant byte
// first, followed by the plaintext zero-padded to a multiple of 8 bytes and encrypted
// block by block as by sEncrypt. There is no signature or key check.
//
// Each method holds the file in memory once: it reads into one buffer, transforms it in place
// and writes the same buffer out, and the buffer is wiped when freed. The target is replaced
// only when everything before succeeded, and then atomically (see AtomicFileWriter).

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

std::size_t PaddedLength(std::uint64_t length) {
  return static_cast<std::size_t>((length + 7) / 8 * 8);
}

Error NotKeyedError() { return Error(kErrNotKeyed, "Call sInitBF before calling this sub"); }

}  // namespace

void Blowfish::sFileEncrypt(const std::filesystem::path& strFileSrc,
                            const std::filesystem::path& strFileTrg) {
  RunReported("Blowfish, sFileEncrypt", [&] {
    if (!blnInit) throw NotKeyedError();

    InputFile source(strFileSrc);
    const std::uint64_t length = source.size();
    if (length > kMaxPlainBytes) throw OverflowError();
    // The padding bytes are zero from the start; the file fills the front.
    ByteArray data(PaddedLength(length));
    source.ReadExactly({data.data(), static_cast<std::size_t>(length)});
    source.Close();

    // An empty file has no blocks: it becomes the bare header, so every file round-trips.
    if (!data.empty() && !EncryptArray(data, data)) return;

    AtomicFileWriter target(strFileTrg);
    target.Write(EncodeLength(static_cast<std::uint32_t>(length)));
    target.Write(data);
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
    ByteArray data(static_cast<std::size_t>(file_size - kHeaderBytes));
    source.ReadExactly(header);
    source.ReadExactly(data);
    source.Close();

    // Cipher data that sDecrypt refuses (not a multiple of 8) must not replace the target:
    // in place it would destroy the only copy.
    if (!DecryptArray(data, data)) return;
    const std::int32_t stored_length = DecodeLength(header);
    if (stored_length < 0) throw SubscriptError();

    // A stored length beyond the data gives a zero tail, a shorter one cuts the data.
    const std::size_t length = static_cast<std::size_t>(stored_length);
    AtomicFileWriter target(strFileTrg);
    target.Write({data.data(), std::min(length, data.size())});
    if (length > data.size()) target.WriteZeros(length - data.size());
    target.Commit();
  });
}

}  // namespace tolvane
