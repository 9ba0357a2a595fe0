// The file methods of Blowfish: whole files in the length-prefixed format.
//
// An encrypted file is the plain length L as a signed 32-bit integer, least significant byte
// first, followed by the plaintext zero-padded to a multiple of 8 bytes and encrypted
// block by block as by sEncrypt. There is no signature or key check value, but the format
// itself allows two checks before anything is written: the cipher data must be exactly the
// stored length padded to whole blocks, and the padding must decrypt to zero bytes. They keep
// a text file, a cut file or a lying header (which could ask for 2 GiB of zeros) from
// replacing the target, and catch a wrong key whenever there is padding to check.
//
// Each method streams the file through two buffers of at most kChunkBytes (StreamChunks):
// while one chunk is transformed in place, the one before it is appended to a temporary file
// and the one after it read into the buffer that frees up, and the buffers are wiped when
// freed. Cache-sized chunks keep the data hot between reading, the cipher and writing, and
// memory stays small whatever the file's size. With more than one thread allowed
// (SetThreads), the workers transform while this thread reads and writes; with one, the same
// steps run one after the other. The target is replaced only when every chunk
// succeeded, and then atomically (see AtomicFileWriter); any failure before leaves it as it
// was.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "tolvane/cipher/blowfish.h"
#include "tolvane/base/error.h"
#include "tolvane/errors/report.h"
#include "tolvane/errors/reported_call.h"
#include "tolvane/platform/file_system.h"
#include "tolvane/base/wipe.h"

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

std::uint64_t PaddedLength(std::uint64_t length) { return (length + 7) / 8 * 8; }

// UTF-8 on every platform: path.string() would be the ANSI code page on Windows, which may
// not hold the name.
std::string Quoted(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return "'" + std::string(name.begin(), name.end()) + "'";
}

Error FormatError(const std::filesystem::path& path, std::uint64_t data_size,
                  std::uint64_t stored_length) {
  return Error(kErrBadFileFormat,
               "Invalid file format: " + Quoted(path) + " holds " + std::to_string(data_size) +
                   " bytes of cipher data, its stored length " + std::to_string(stored_length) +
                   " needs " + std::to_string(PaddedLength(stored_length)));
}

Error WrongKeyError(const std::filesystem::path& path) {
  return Error(kErrBadFileFormat,
               "Invalid file format: " + Quoted(path) +
                   " ends in padding that does not decrypt to zero bytes (wrong key, or a "
                   "damaged file)");
}

// Calls a progress callback between chunks, at most every kInterval, and once at the end.
// Reading the clock once per chunk of a megabyte costs nothing measurable.
class Progress {
 public:
  Progress(const Blowfish::ProgressCallback& callback, std::uint64_t total)
      : callback_(callback), total_(total), last_(Clock::now()) {}

  void Update(std::uint64_t done) {
    if (!callback_ || done == total_) return;  // the end is Finish's, and only once
    const Clock::time_point now = Clock::now();
    if (now - last_ < kInterval) return;
    last_ = now;
    callback_(done, total_);
  }
  void Finish() {
    if (callback_) callback_(total_, total_);
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kInterval{100};

  const Blowfish::ProgressCallback& callback_;
  std::uint64_t total_;
  Clock::time_point last_;
};

// Calls a callable through a plain function pointer, as TransformDuring takes it.
template <typename Body>
void RunBody(void* body) {
  (*static_cast<std::remove_reference_t<Body>*>(body))();
}

// Streams `total` bytes through the cipher in chunks of kChunkBytes: read(span) fills the
// next chunk, which is zero-padded to whole blocks and transformed in place, and
// write(offset, span) takes it with its offset in the data. The transform of chunk k
// overlaps writing chunk k - 1 and then reading chunk k + 1 into the buffer that frees.
template <typename Transform, typename Read, typename Write>
void StreamChunks(std::uint64_t total, Transform&& transform, Read&& read, Write&& write) {
  if (total == 0) return;
  const std::uint64_t chunks = (total + kChunkBytes - 1) / kChunkBytes;
  const std::size_t buffer_bytes =
      static_cast<std::size_t>(std::min<std::uint64_t>(PaddedLength(total), kChunkBytes));
  ByteArray buffers(2 * buffer_bytes);
  const auto slot = [&](std::uint64_t k) { return buffers.data() + (k % 2) * buffer_bytes; };
  const auto padded = [&](std::uint64_t k) {
    return static_cast<std::size_t>(
        PaddedLength(std::min<std::uint64_t>(total - k * kChunkBytes, kChunkBytes)));
  };
  const auto load = [&](std::uint64_t k) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(total - k * kChunkBytes, kChunkBytes));
    read(std::span<std::uint8_t>(slot(k), n));
    // Zero padding after the data's final bytes.
    std::fill(slot(k) + n, slot(k) + padded(k), std::uint8_t{0});
  };
  const auto store = [&](std::uint64_t k) {
    write(k * kChunkBytes, std::span<const std::uint8_t>(slot(k), padded(k)));
  };

  load(0);
  for (std::uint64_t k = 0; k < chunks; ++k) {
    auto io = [&] {
      if (k > 0) store(k - 1);
      if (k + 1 < chunks) load(k + 1);
    };
    transform(slot(k), padded(k) / 8, io);
  }
  store(chunks - 1);
}

}  // namespace

struct Blowfish::EncryptedSource {
  InputFile file;
  std::uint64_t data_size;      // the cipher data after the header: the stored length padded
  std::uint64_t stored_length;  // the plaintext's length
  FileKeyCheck key_check;
};

Blowfish::EncryptedSource Blowfish::OpenEncryptedSource(const std::filesystem::path& path) const {
  if (!blnInit) throw NotKeyedError();

  InputFile source(path);
  const std::uint64_t file_size = source.size();
  if (file_size > kMaxFileBytes) throw OverflowError();
  if (file_size < kHeaderBytes) throw SubscriptError();
  std::array<std::uint8_t, kHeaderBytes> header{};
  source.ReadExactly(header);
  const std::int32_t stored = DecodeLength(header);
  if (stored < 0) throw SubscriptError();
  const std::uint64_t data_size = file_size - kHeaderBytes;
  if (data_size % 8 != 0) throw NotMultipleOf8Error();

  const auto length = static_cast<std::uint64_t>(stored);
  if (data_size != PaddedLength(length)) throw FormatError(path, data_size, length);

  // The zero padding encrypted with the right key decrypts to zeros; anything else is a
  // wrong key or a damaged last block. Only the last block is read.
  FileKeyCheck key_check = FileKeyCheck::kKeyNotCheckable;
  if (const std::size_t used = static_cast<std::size_t>(length % 8); used != 0) {
    std::array<std::uint8_t, 8> block{};
    source.ReadAt(file_size - block.size(), block);
    DecryptBlocks(block.data(), block.data(), 1);
    const bool zero_padding =
        std::all_of(block.begin() + used, block.end(), [](std::uint8_t b) { return b == 0; });
    SecureWipe(block.data(), block.size());
    if (!zero_padding) throw WrongKeyError(path);
    key_check = FileKeyCheck::kKeyFits;
  }
  return {std::move(source), data_size, length, key_check};
}

FileKeyCheck Blowfish::CheckEncryptedFile(const std::filesystem::path& strFileSrc) const {
  return OpenEncryptedSource(strFileSrc).key_check;
}

void Blowfish::SetProgressCallback(ProgressCallback callback) { progress_ = std::move(callback); }

void Blowfish::sFileEncrypt(const std::filesystem::path& strFileSrc,
                            const std::filesystem::path& strFileTrg) {
  RunReported("Blowfish, sFileEncrypt", [&] {
    if (!blnInit) throw NotKeyedError();

    InputFile source(strFileSrc);
    const std::uint64_t length = source.size();
    if (length > kMaxPlainBytes) throw OverflowError();

    AtomicFileWriter target(strFileTrg, &source);
    target.Write(EncodeLength(static_cast<std::uint32_t>(length)));
    Progress progress(progress_, length);
    // An empty file has no blocks: it becomes the bare header, so every file round-trips.
    StreamChunks(
        length,
        [&](std::uint8_t* data, std::size_t blocks, auto& body) {
          TransformDuring(false, data, blocks, RunBody<decltype(body)>, &body);
        },
        [&](std::span<std::uint8_t> chunk) { source.ReadExactly(chunk); },
        [&](std::uint64_t offset, std::span<const std::uint8_t> chunk) {
          target.Write(chunk);
          progress.Update(std::min(length, offset + chunk.size()));
        });
    source.Close();
    progress.Finish();
    target.Commit();
  });
}

void Blowfish::sFileDecrypt(const std::filesystem::path& strFileSrc,
                            const std::filesystem::path& strFileTrg) {
  RunReported("Blowfish, sFileDecrypt", [&] {
    std::optional<EncryptedSource> source;
    try {
      source.emplace(OpenEncryptedSource(strFileSrc));
    } catch (const Error& error) {
      // Cipher data of no whole blocks is what sDecrypt refuses: shown under its label, as
      // when it refused them itself.
      if (error.number() != kErrNotMultipleOf8) throw;
      ReportError("Blowfish, sDecrypt", error);
      return;
    }

    const std::uint64_t data_size = source->data_size;
    const std::uint64_t length = source->stored_length;
    AtomicFileWriter target(strFileTrg, &source->file);
    Progress progress(progress_, data_size);
    // The data are whole blocks (checked above), so only the last chunk holds padding, which
    // is dropped.
    StreamChunks(
        data_size,
        [&](std::uint8_t* data, std::size_t blocks, auto& body) {
          TransformDuring(true, data, blocks, RunBody<decltype(body)>, &body);
        },
        [&](std::span<std::uint8_t> chunk) { source->file.ReadExactly(chunk); },
        [&](std::uint64_t offset, std::span<const std::uint8_t> chunk) {
          const std::uint64_t wanted = offset < length ? length - offset : 0;
          target.Write(
              chunk.first(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, chunk.size()))));
          progress.Update(offset + chunk.size());
        });
    source->file.Close();
    progress.Finish();
    target.Commit();
  });
}

}  // namespace tolvane
