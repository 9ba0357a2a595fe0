// The encrypted format, streamed.
//
// Each direction streams the data through two buffers of at most kChunkBytes (StreamChunks):
// while one chunk is transformed in place, the one before it goes to the sink and the one
// after it is read into the buffer that frees up, and the buffers are wiped when freed.
// Cache-sized chunks keep the data hot between reading, the cipher and writing, and memory
// stays small whatever the size. With more than one thread allowed, the pool's workers
// transform while this thread reads and writes; with one, the same steps run one after the
// other.

#include "tolvane/core/encrypted_file.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <type_traits>

#include "tolvane/base/error.h"
#include "tolvane/base/wipe.h"
#include "tolvane/platform/file_system.h"

namespace tolvane {
namespace {

// A multiple of 8, so that every chunk but the last is whole blocks. 1 MiB measured fastest
// for a 256 MiB file (8 MiB and more fall out of the processor's caches).
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

std::uint64_t PaddedLength(std::uint64_t length) { return (length + 7) / 8 * 8; }

std::array<std::uint8_t, kFileHeaderBytes> EncodeLength(std::uint32_t length) {
  return {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
          static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
}

std::int32_t DecodeLength(const std::array<std::uint8_t, kFileHeaderBytes>& bytes) {
  const std::uint32_t value = std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
                              (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
  return static_cast<std::int32_t>(value);
}

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

// Calls a progress function between chunks, at most every kInterval, and once at the end.
// Reading the clock once per chunk of a megabyte costs nothing measurable.
class Progress {
 public:
  Progress(const ProgressFunction& callback, std::uint64_t total)
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

  const ProgressFunction& callback_;
  std::uint64_t total_;
  Clock::time_point last_;
};

// Calls a callable through a plain function pointer, as EcbTransformDuring takes it.
template <typename Body>
void RunBody(void* body) {
  (*static_cast<std::remove_reference_t<Body>*>(body))();
}

// Streams `total` bytes of `source` through the cipher in chunks of kChunkBytes: each chunk is
// zero-padded to whole blocks and transformed in place, and write(offset, span) takes it with
// its offset in the data. The transform of chunk k overlaps writing chunk k - 1 and then
// reading chunk k + 1 into the buffer that frees.
template <typename Write>
void StreamChunks(const KeySchedule& key, bool decrypt, const CipherThreads& threads,
                  ByteSource& source, std::uint64_t total, Write&& write) {
  if (total == 0) return;
  const std::uint64_t chunks = (total + kChunkBytes - 1) / kChunkBytes;
  const std::size_t buffer_bytes =
      static_cast<std::size_t>(std::min<std::uint64_t>(PaddedLength(total), kChunkBytes));
  SecureBytes buffers(2 * buffer_bytes);
  const auto slot = [&](std::uint64_t k) { return buffers.data() + (k % 2) * buffer_bytes; };
  const auto length = [&](std::uint64_t k) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(total - k * kChunkBytes, kChunkBytes));
  };
  const auto padded = [&](std::uint64_t k) {
    return static_cast<std::size_t>(PaddedLength(length(k)));
  };
  const auto load = [&](std::uint64_t k) {
    source.ReadExactly(std::span<std::uint8_t>(slot(k), length(k)));
    // Zero padding after the data's final bytes.
    std::fill(slot(k) + length(k), slot(k) + padded(k), std::uint8_t{0});
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
    EcbTransformDuring(key, decrypt, slot(k), padded(k) / 8, threads, RunBody<decltype(io)>, &io);
  }
  store(chunks - 1);
}

}  // namespace

void CheckPlainLength(std::uint64_t length) {
  if (length > kMaxPlainFileBytes) throw OverflowError();
}

void EncryptStream(const KeySchedule& key, const CipherThreads& threads, ByteSource& source,
                   ByteSink& sink, const ProgressFunction& progress) {
  const std::uint64_t length = source.size();
  CheckPlainLength(length);
  sink.Write(EncodeLength(static_cast<std::uint32_t>(length)));
  Progress shown(progress, length);
  // An empty source has no blocks: it becomes the bare header, so every file round-trips.
  StreamChunks(key, false, threads, source, length,
               [&](std::uint64_t offset, std::span<const std::uint8_t> chunk) {
                 sink.Write(chunk);
                 shown.Update(std::min(length, offset + chunk.size()));
               });
  shown.Finish();
}

EncryptedLayout ReadEncryptedHeader(const KeySchedule& key, ByteSource& source,
                                    const std::filesystem::path& name) {
  const std::uint64_t file_size = source.size();
  if (file_size > kMaxEncryptedFileBytes) throw OverflowError();
  if (file_size < kFileHeaderBytes) throw SubscriptError();
  std::array<std::uint8_t, kFileHeaderBytes> header{};
  source.ReadExactly(header);
  const std::int32_t stored = DecodeLength(header);
  if (stored < 0) throw SubscriptError();
  EncryptedLayout layout;
  layout.data_size = file_size - kFileHeaderBytes;
  if (layout.data_size % 8 != 0) throw NotMultipleOf8Error();
  layout.plain_length = static_cast<std::uint64_t>(stored);
  if (layout.data_size != PaddedLength(layout.plain_length)) {
    throw FormatError(name, layout.data_size, layout.plain_length);
  }

  // The zero padding encrypted with the right key decrypts to zeros; anything else is a wrong
  // key or a damaged last block. Only the last block is read.
  if (const std::size_t used = static_cast<std::size_t>(layout.plain_length % 8); used != 0) {
    std::array<std::uint8_t, 8> block{};
    source.ReadAt(file_size - block.size(), block);
    key.DecryptBlocks(block.data(), block.data(), 1);
    const bool zero_padding =
        std::all_of(block.begin() + used, block.end(), [](std::uint8_t b) { return b == 0; });
    SecureWipe(block.data(), block.size());
    if (!zero_padding) throw WrongKeyError(name);
    layout.key_checked = true;
  }
  return layout;
}

void DecryptStream(const KeySchedule& key, const CipherThreads& threads, ByteSource& source,
                   const EncryptedLayout& layout, ByteSink& sink,
                   const ProgressFunction& progress) {
  const std::uint64_t length = layout.plain_length;
  Progress shown(progress, layout.data_size);
  // The data are whole blocks (checked with the header), so only the last chunk holds
  // padding, which is dropped.
  StreamChunks(key, true, threads, source, layout.data_size,
               [&](std::uint64_t offset, std::span<const std::uint8_t> chunk) {
                 const std::uint64_t wanted = offset < length ? length - offset : 0;
                 sink.Write(chunk.first(
                     static_cast<std::size_t>(std::min<std::uint64_t>(wanted, chunk.size()))));
                 shown.Update(offset + chunk.size());
               });
  shown.Finish();
}

void EncryptFile(const KeySchedule& key, const CipherThreads& threads,
                 const std::filesystem::path& source, const std::filesystem::path& target,
                 const ProgressFunction& progress) {
  InputFile input(source);
  CheckPlainLength(input.size());
  AtomicFileWriter output(target, &input);
  EncryptStream(key, threads, input, output, progress);
  input.Close();
  output.Commit();
}

void DecryptFile(const KeySchedule& key, const CipherThreads& threads,
                 const std::filesystem::path& source, const std::filesystem::path& target,
                 const ProgressFunction& progress) {
  InputFile input(source);
  const EncryptedLayout layout = ReadEncryptedHeader(key, input, source);
  AtomicFileWriter output(target, &input);
  DecryptStream(key, threads, input, layout, output, progress);
  input.Close();
  output.Commit();
}

EncryptedLayout CheckEncryptedFile(const KeySchedule& key, const std::filesystem::path& source) {
  InputFile input(source);
  return ReadEncryptedHeader(key, input, source);
}

}  // namespace tolvane
