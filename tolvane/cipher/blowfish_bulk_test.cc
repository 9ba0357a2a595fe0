// Holds the interleaved bulk path to the one-block-at-a-time transform, so that it can never
// drift from the published cipher (which the single-block path is tested against).

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/message_capture_testing.h"
#include "tests/support/test_vectors_testing.h"
#include "tolvane/cipher/blowfish.h"
#include "tolvane/core/bulk_kernel.h"
#include "tolvane/core/ecb.h"
#include "tolvane/core/key_schedule.h"
#include "tolvane/core/processor.h"
#include "tolvane/platform/worker_pool.h"

namespace tolvane {
namespace {

// ECB one block at a time: a single block never takes the interleaved path, so this is the
// block transform on each block in the block layout.
void SingleBlocks(const KeySchedule& key, bool decrypt, const std::uint8_t* in, std::uint8_t* out,
                  std::size_t blocks) {
  for (std::size_t i = 0; i < blocks; ++i) {
    if (decrypt) {
      key.DecryptBlocks(in + 8 * i, out + 8 * i, 1);
    } else {
      key.EncryptBlocks(in + 8 * i, out + 8 * i, 1);
    }
  }
}

// The bulk path, on the calling thread and the shared pool's workers as `threads` allows.
void Blocks(const KeySchedule& key, bool decrypt, const std::uint8_t* in, std::uint8_t* out,
            std::size_t blocks, unsigned threads = 1) {
  const CipherThreads with{&WorkerPool::Shared(), ResolveThreadCount(threads)};
  const std::span<const std::uint8_t> from(in, 8 * blocks);
  const std::span<std::uint8_t> to(out, 8 * blocks);
  if (decrypt) {
    EcbDecrypt(key, from, to, with);
  } else {
    EcbEncrypt(key, from, to, with);
  }
}

constexpr std::size_t kMaxBlocks = 256;
constexpr std::uint8_t kGuard = 0xA5;

std::vector<std::uint8_t> RandomBytes(std::mt19937& rng, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

KeySchedule RandomKey(std::mt19937& rng) { return KeySchedule(RandomBytes(rng, 1 + rng() % 72)); }

Blowfish RandomlyKeyed(std::mt19937& rng) {
  Blowfish bf;
  bf.sInitBF(ByteArray(RandomBytes(rng, 1 + rng() % 72)));
  return bf;
}

// Every length from 0 to 256 blocks, both directions, at every misalignment of input and
// output, with guard bytes on both sides of the output that must stay untouched.
TEST(BlowfishBulk, MatchesSingleBlocksForEveryLengthAndAlignment) {
  std::mt19937 rng(20261207);
  for (int trial = 0; trial < 4; ++trial) {
    const KeySchedule key = RandomKey(rng);
    for (std::size_t blocks = 0; blocks <= kMaxBlocks; ++blocks) {
      const std::size_t in_offset = blocks % 8;
      const std::size_t out_offset = (blocks / 8 + trial) % 8;
      const std::vector<std::uint8_t> in = RandomBytes(rng, in_offset + 8 * blocks);
      for (const bool decrypt : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "trial " << trial << ", " << blocks << " blocks, "
                                          << (decrypt ? "decrypt" : "encrypt"));
        std::vector<std::uint8_t> expected(8 * blocks);
        SingleBlocks(key, decrypt, in.data() + in_offset, expected.data(), blocks);
        std::vector<std::uint8_t> out(out_offset + 8 * blocks + 8, kGuard);
        Blocks(key, decrypt, in.data() + in_offset, out.data() + out_offset, blocks);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), out.begin() + out_offset));
        for (std::size_t i = 0; i < out_offset; ++i) ASSERT_EQ(out[i], kGuard);
        for (std::size_t i = out_offset + 8 * blocks; i < out.size(); ++i) {
          ASSERT_EQ(out[i], kGuard);
        }
      }
    }
  }
}

// Every kernel this build has, whichever this processor picks: each published vector in every
// lane position (the block repeated over three groups of lanes and a tail), and a long random
// input, in place and apart, against one block at a time.
TEST(BlowfishBulk, EveryKernelGivesThePublishedAndTheSingleBlockBytes) {
  const std::vector<testing::BlowfishVector> vectors = testing::LoadPublishedVectors();
  std::mt19937 rng(20261208);
  for (const BulkKernel& kernel : BulkKernels()) {
    SCOPED_TRACE(kernel.name);
    const std::size_t blocks = 3 * kernel.lanes + 1;
    for (const testing::BlowfishVector& v : vectors) {
      const KeySchedule key(v.key);
      std::vector<std::uint8_t> data(8 * blocks);
      for (std::size_t i = 0; i < blocks; ++i)
        std::copy(v.plain.begin(), v.plain.end(), &data[8 * i]);
      key.EncryptBlocks(kernel, data.data(), data.data(), blocks);
      for (std::size_t i = 0; i < blocks; ++i) {
        ASSERT_TRUE(std::equal(v.cipher.begin(), v.cipher.end(), &data[8 * i])) << "block " << i;
      }
      key.DecryptBlocks(kernel, data.data(), data.data(), blocks);
      for (std::size_t i = 0; i < blocks; ++i) {
        ASSERT_TRUE(std::equal(v.plain.begin(), v.plain.end(), &data[8 * i])) << "block " << i;
      }
    }
    const KeySchedule key = RandomKey(rng);
    const std::size_t long_blocks = 64 * 1024 + 5;
    const std::vector<std::uint8_t> in = RandomBytes(rng, 8 * long_blocks);
    for (const bool decrypt : {false, true}) {
      std::vector<std::uint8_t> expected(in.size());
      SingleBlocks(key, decrypt, in.data(), expected.data(), long_blocks);
      std::vector<std::uint8_t> apart(in.size());
      std::vector<std::uint8_t> in_place = in;
      if (decrypt) {
        key.DecryptBlocks(kernel, in.data(), apart.data(), long_blocks);
        key.DecryptBlocks(kernel, in_place.data(), in_place.data(), long_blocks);
      } else {
        key.EncryptBlocks(kernel, in.data(), apart.data(), long_blocks);
        key.EncryptBlocks(kernel, in_place.data(), in_place.data(), long_blocks);
      }
      EXPECT_EQ(apart, expected) << (decrypt ? "decrypt" : "encrypt");
      EXPECT_EQ(in_place, expected) << (decrypt ? "decrypt" : "encrypt");
    }
  }
}

// The kernel each kind of processor gets, from CPUID's signature as the processor reports it:
// a wrong field or a wrong design costs the processor its speed, though never its bytes.
TEST(BlowfishBulk, KernelChosenFromTheProcessorSignature) {
  struct Row {
    const char* vendor;
    unsigned signature;
    unsigned family, model;
    const char* x86_64_kernel;
  } rows[] = {
      {"AuthenticAMD", 0x00B00F21, 0x1A, 0x02, "8 lanes"},  // Zen 5
      {"AuthenticAMD", 0x00A10F11, 0x19, 0x11, "8 lanes"},  // Zen 4
      {"AuthenticAMD", 0x00830F10, 0x17, 0x31, "6 lanes"},  // Zen 2
      {"GenuineIntel", 0x000606A6, 6, 0x6A, "4 lanes"},     // Ice Lake server
      {"GenuineIntel", 0x00050657, 6, 0x55, "4 lanes"},     // Skylake server
      {"GenuineIntel", 0x000806F8, 6, 0x8F, "6 lanes"},     // Sapphire Rapids
      {"GenuineIntel", 0x000306C3, 6, 0x3C, "6 lanes"},     // Haswell: not listed
      {"HygonGenuine", 0x00900F02, 0x18, 0x00, "6 lanes"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.vendor);
    const Processor cpu = ProcessorOf(row.vendor, row.signature);
    EXPECT_EQ(cpu.family, row.family);
    EXPECT_EQ(cpu.model, row.model);
#if defined(__x86_64__)
    EXPECT_STREQ(ChooseBulkKernel(cpu).name, row.x86_64_kernel);
#endif
  }
}

// However a key is left, its schedule does not stay behind in memory: a schedule is wiped when
// it goes, and an instance moved from no longer holds one.
TEST(BlowfishBulk, LeftInstancesHoldNoKeySchedule) {
  alignas(KeySchedule) unsigned char storage[sizeof(KeySchedule)];
  const KeySchedule* key = new (storage) KeySchedule(std::vector<std::uint8_t>{'k', 'e', 'y'});
  key->~KeySchedule();
  EXPECT_TRUE(std::all_of(storage, storage + sizeof storage, [](unsigned char b) {
    return b == 0;
  })) << "destroyed";

  const struct {
    const char* how;
    void (*leave)(Blowfish&);
  } cases[] = {
      {"moved from", [](Blowfish& bf) { Blowfish to(std::move(bf)); }},
      {"moved from by assignment",
       [](Blowfish& bf) {
         Blowfish to;
         to = std::move(bf);
       }},
  };
  for (const auto& c : cases) {
    Blowfish bf;
    bf.sInitBF(ByteArray{'k', 'e', 'y'});
    c.leave(bf);
    testing::MessageCapture capture;
    ByteArray data(8);
    bf.sEncrypt(data, data);  // NOLINT(bugprone-use-after-move): what is left is the point
    EXPECT_EQ(capture.messages().size(), 1u) << c.how << ": still keyed";
  }
}

// In place, through the public methods: the bulk path reads each group of blocks before it
// writes any of them.
TEST(BlowfishBulk, PublicMethodsInPlaceMatchSingleBlocks) {
  std::mt19937 rng(5);
  for (std::size_t blocks = 1; blocks <= 40; ++blocks) {
    SCOPED_TRACE(::testing::Message() << blocks << " blocks");
    const std::vector<std::uint8_t> key_bytes = RandomBytes(rng, 1 + rng() % 72);
    Blowfish bf;
    bf.sInitBF(ByteArray(key_bytes));
    const std::vector<std::uint8_t> plain = RandomBytes(rng, 8 * blocks);
    std::vector<std::uint8_t> expected(plain.size());
    SingleBlocks(KeySchedule(key_bytes), false, plain.data(), expected.data(), blocks);

    ByteArray data(plain);
    bf.sEncrypt(data, data);
    ASSERT_EQ(data, ByteArray(expected));
    bf.sDecrypt(data, data);
    ASSERT_EQ(data, ByteArray(plain));
  }
}

// Threaded calls against the same instance on one thread, around the 256 KiB below which a
// call stays on the caller's thread and across the slice edges: odd block counts that leave
// a short last slice and a tail, misaligned buffers, in place, and more threads than cores.
TEST(BlowfishBulk, ThreadsGiveTheOneThreadBytes) {
  constexpr std::size_t kBreakEven = 256 * 1024 / 8;  // blocks
  struct Case {
    std::size_t blocks;
    unsigned threads;
    bool in_place;
    std::size_t misalign;
  };
  const Case cases[] = {
      {kBreakEven - 1, 2, false, 0},        {kBreakEven, 2, false, 0},
      {kBreakEven + 1, 2, true, 0},         {kBreakEven + 39, 2, false, 3},
      {3 * kBreakEven / 2 + 7, 3, true, 5}, {2 * kBreakEven + 1, 3, false, 1},
      {2 * kBreakEven + 77, 0, true, 7},    {4 * kBreakEven - 3, 8, false, 6},
  };
  std::mt19937 rng(16);
  const KeySchedule key = RandomKey(rng);
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> in = RandomBytes(rng, c.misalign + 8 * c.blocks);
    for (const bool decrypt : {false, true}) {
      SCOPED_TRACE(::testing::Message()
                   << c.blocks << " blocks, " << c.threads << " threads, "
                   << (c.in_place ? "in place, " : "") << (decrypt ? "decrypt" : "encrypt"));
      std::vector<std::uint8_t> expected(8 * c.blocks);
      Blocks(key, decrypt, in.data() + c.misalign, expected.data(), c.blocks);
      std::vector<std::uint8_t> out(c.misalign + 8 * c.blocks + 8, kGuard);
      const std::uint8_t* source = in.data() + c.misalign;
      if (c.in_place) {
        std::copy(in.begin(), in.end(), out.begin());
        source = out.data() + c.misalign;
      }
      const std::vector<std::uint8_t> before(out.begin(), out.begin() + c.misalign);
      Blocks(key, decrypt, source, out.data() + c.misalign, c.blocks, c.threads);
      ASSERT_TRUE(std::equal(expected.begin(), expected.end(), out.begin() + c.misalign));
      ASSERT_TRUE(std::equal(before.begin(), before.end(), out.begin()));
      for (std::size_t i = c.misalign + 8 * c.blocks; i < out.size(); ++i) {
        ASSERT_EQ(out[i], kGuard);
      }
    }
  }
}

// Callers on several threads at once share the library's workers: each gets its own bytes.
TEST(BlowfishBulk, ConcurrentThreadedCallersEachGetTheirOwnBytes) {
  std::mt19937 rng(61);
  const Blowfish one = RandomlyKeyed(rng);
  const ByteArray plain(RandomBytes(rng, 512 * 1024 + 8));
  ByteArray expected(plain.size());
  Blowfish(one).sEncrypt(plain, expected);

  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> callers;
  for (std::size_t t = 0; t < mismatches.size(); ++t) {
    callers.emplace_back([&, t] {
      Blowfish bf = one;
      bf.SetThreads(2 + static_cast<unsigned>(t));
      ByteArray data(plain.size());
      for (int i = 0; i < 8; ++i) {
        bf.sEncrypt(plain, data);
        mismatches[t] += data == expected ? 0 : 1;
        bf.sDecrypt(data, data);
        mismatches[t] += data == plain ? 0 : 1;
      }
    });
  }
  for (std::thread& t : callers) t.join();
  EXPECT_EQ(mismatches, std::vector<int>(mismatches.size(), 0));
}

#ifndef _WIN32
#if defined(__SANITIZE_ADDRESS__)
#define TOLVANE_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLVANE_LEAK_CHECKED 1
#endif
#endif

// Ends a forked child normally, static destructors and all; under the leak checker, which
// would count what the parent's other threads held as leaked, at once instead.
[[noreturn]] void ExitChild(int code) {
#ifdef TOLVANE_LEAK_CHECKED
  _exit(code);
#else
  std::exit(code);
#endif
}

// A child forked while another thread runs threaded calls has only the thread that forked: its
// own threaded calls must neither wait for the parent's workers nor for the lock or the
// conditions they held at the fork, and it must be able to exit normally.
TEST(BlowfishBulk, ForkedChildrenRunThreadedCalls) {
  std::mt19937 rng(24);
  const Blowfish one = RandomlyKeyed(rng);
  const ByteArray plain(RandomBytes(rng, 1 << 20));
  ByteArray expected(plain.size());
  Blowfish(one).sEncrypt(plain, expected);
  std::atomic<bool> stop{false};
  std::thread busy([&] {
    Blowfish bf = one;
    bf.SetThreads(3);
    ByteArray data(plain.size());
    while (!stop) bf.sEncrypt(plain, data);
  });
  int failed = 0;
  std::fflush(nullptr);  // nothing buffered for the children to write again
  for (int i = 0; i < 20; ++i) {
    const pid_t child = fork();
    if (child == 0) {
      alarm(10);  // a hang ends the child by SIGALRM, which the parent sees
      // Every other child exits without a call of its own: the pool it inherited goes then.
      if (i % 2 == 1) ExitChild(0);
      Blowfish bf = one;
      bf.SetThreads(3);
      ByteArray data(plain.size());
      bf.sEncrypt(plain, data);
      ExitChild(data == expected ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || status != 0) ++failed;
  }
  stop = true;
  busy.join();
  EXPECT_EQ(failed, 0);
}
#endif

}  // namespace
}  // namespace tolvane
