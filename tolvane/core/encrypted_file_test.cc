// The encrypted format streamed over an in-memory byte source and sink: what any host other
// than the file layer (standard streams, buffers) relies on.

#include "tolvane/core/encrypted_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "tolvane/base/error.h"
#include "tolvane/platform/worker_pool.h"

namespace tolvane {
namespace {

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t size() const noexcept override { return bytes_.size(); }
  void ReadExactly(std::span<std::uint8_t> buffer) override {
    ReadAt(at_, buffer);
    at_ += buffer.size();
  }
  void ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override {
    if (offset + buffer.size() > bytes_.size()) throw Error(kErrPathAccess, "short");
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(),
                buffer.begin());
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint64_t at_ = 0;
};

// Keeps what it is given; refuses everything after `limit` bytes.
class MemorySink final : public ByteSink {
 public:
  explicit MemorySink(std::size_t limit = SIZE_MAX) : limit_(limit) {}
  void Write(std::span<const std::uint8_t> bytes) override {
    if (bytes_.size() + bytes.size() > limit_) throw Error(kErrDiskFull, "full");
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
  std::vector<std::uint8_t> bytes_;

 private:
  std::size_t limit_;
};

// Around the 1 MiB chunk edges, one thread and several: the stream is the header and the
// plaintext zero-padded and encrypted whole, and decrypts back to the plaintext alone.
TEST(EncryptedStream, RoundTripsAcrossChunkEdgesMatchingWholeEcb) {
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  const KeySchedule key(std::vector<std::uint8_t>{'k', 'e', 'y'});
  std::mt19937 rng(21);
  for (const std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{8}, kChunk - 1,
                                   kChunk, kChunk + 1, 2 * kChunk + 3}) {
    for (const unsigned threads : {1u, 3u}) {
      SCOPED_TRACE(::testing::Message() << length << " bytes, " << threads << " threads");
      const CipherThreads with{&WorkerPool::Shared(), threads};
      std::vector<std::uint8_t> plain(length);
      for (auto& b : plain) b = static_cast<std::uint8_t>(rng());

      MemorySource source(plain);
      MemorySink encrypted;
      std::uint64_t last_done = 0;
      EncryptStream(key, with, source, encrypted, [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, length);
        last_done = done;
      });
      std::vector<std::uint8_t> expected((length + 7) / 8 * 8);
      std::copy(plain.begin(), plain.end(), expected.begin());
      EcbEncrypt(key, expected, expected, {});
      const std::uint32_t n = static_cast<std::uint32_t>(length);
      expected.insert(expected.begin(),
                      {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                       static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)});
      ASSERT_EQ(encrypted.bytes_, expected);
      EXPECT_EQ(last_done, length) << "the last call reports every byte done";

      MemorySource back(encrypted.bytes_);
      const EncryptedLayout layout = ReadEncryptedHeader(key, back, "x");
      EXPECT_EQ(layout.key_checked, length % 8 != 0);
      MemorySink decrypted;
      DecryptStream(key, with, back, layout, decrypted, {});
      ASSERT_EQ(decrypted.bytes_, plain);
    }
  }
}

// However slowly the chunks go out, so that each is reported, the end (total, total) is
// reported once, encrypting and decrypting.
TEST(EncryptedStream, TheEndIsReportedOnce) {
  struct SlowSink final : ByteSink {
    void Write(std::span<const std::uint8_t>) override {
      std::this_thread::sleep_for(std::chrono::milliseconds(110));
    }
  };
  const KeySchedule key(std::vector<std::uint8_t>{'k'});
  MemorySource plain(std::vector<std::uint8_t>((1 << 20) + 1, 7));
  MemorySink encrypted;
  EncryptStream(key, {}, plain, encrypted, {});
  for (const bool encrypt : {true, false}) {
    MemorySource source(encrypt ? std::vector<std::uint8_t>((1 << 20) + 1, 7) : encrypted.bytes_);
    SlowSink sink;
    int calls = 0, ends = 0;
    const ProgressFunction note = [&](std::uint64_t done, std::uint64_t total) {
      ++calls;
      ends += done == total ? 1 : 0;
    };
    if (encrypt) {
      EncryptStream(key, {}, source, sink, note);
    } else {
      DecryptStream(key, {}, source, ReadEncryptedHeader(key, source, "x"), sink, note);
    }
    EXPECT_GT(calls, 1) << encrypt;
    EXPECT_EQ(ends, 1) << encrypt;
  }
}

// A sink that fails, or a progress function that throws, ends the stream with its error.
TEST(EncryptedStream, FailuresOfTheSinkAndTheProgressFunctionEndIt) {
  const KeySchedule key(std::vector<std::uint8_t>{'k'});
  const std::vector<std::uint8_t> plain(3 << 20, 7);
  const struct {
    std::size_t sink_limit;
    bool progress_throws;
    std::int32_t number;
  } cases[] = {{2, false, kErrDiskFull},
               {(1 << 20) + 100, false, kErrDiskFull},
               {SIZE_MAX, true, kErrInvalidCall}};
  for (const auto& c : cases) {
    MemorySource source(plain);
    MemorySink sink(c.sink_limit);
    try {
      EncryptStream(key, {}, source, sink, [&](std::uint64_t, std::uint64_t) {
        if (c.progress_throws) throw Error(kErrInvalidCall, "stop");
      });
      ADD_FAILURE() << "no failure for limit " << c.sink_limit;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.number);
    }
  }
}

}  // namespace
}  // namespace tolvane
