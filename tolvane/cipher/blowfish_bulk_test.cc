// Holds the interleaved bulk path to the one-block-at-a-time transform, so that it can never
// drift from the published cipher (which the single-block path is tested against).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <random>
#include <utility>
#include <vector>

#include "tolvane/cipher/blowfish.h"

namespace tolvane {

struct BlowfishBlockPeer {
  // ECB one block at a time: a single block never takes the interleaved path, so this is
  // BFEncipher / BFDecipher on each block in the block layout.
  static void SingleBlocks(const Blowfish& bf, bool decrypt, const std::uint8_t* in,
                           std::uint8_t* out, std::size_t blocks) {
    for (std::size_t i = 0; i < blocks; ++i) Blocks(bf, decrypt, in + 8 * i, out + 8 * i, 1);
  }
  static void Blocks(const Blowfish& bf, bool decrypt, const std::uint8_t* in, std::uint8_t* out,
                     std::size_t blocks) {
    if (decrypt) {
      bf.DecryptBlocks(in, out, blocks);
    } else {
      bf.EncryptBlocks(in, out, blocks);
    }
  }
  // Keys an instance in a buffer of its own, runs `leave` on it and tells whether the storage
  // of its P-array and S-boxes is then all zero; destroys it afterwards unless `leave` did.
  static bool ScheduleZeroAfter(void (*leave)(Blowfish&), bool leave_destroys) {
    alignas(Blowfish) unsigned char storage[sizeof(Blowfish)];
    Blowfish* bf = new (storage) Blowfish;
    bf->sInitBF(ByteArray{'k', 'e', 'y'});
    const auto* p = reinterpret_cast<const unsigned char*>(bf->lngP.data());
    const auto* s = reinterpret_cast<const unsigned char*>(bf->lngS.data());
    leave(*bf);
    const auto zero = [](unsigned char b) { return b == 0; };
    const bool wiped = std::all_of(p, p + sizeof(Blowfish::lngP), zero) &&
                       std::all_of(s, s + sizeof(Blowfish::lngS), zero);
    if (!leave_destroys) bf->~Blowfish();
    return wiped;
  }
};

namespace {

constexpr std::size_t kMaxBlocks = 256;
constexpr std::uint8_t kGuard = 0xA5;

std::vector<std::uint8_t> RandomBytes(std::mt19937& rng, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

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
    const Blowfish bf = RandomlyKeyed(rng);
    for (std::size_t blocks = 0; blocks <= kMaxBlocks; ++blocks) {
      const std::size_t in_offset = blocks % 8;
      const std::size_t out_offset = (blocks / 8 + trial) % 8;
      const std::vector<std::uint8_t> in = RandomBytes(rng, in_offset + 8 * blocks);
      for (const bool decrypt : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "trial " << trial << ", " << blocks << " blocks, "
                                          << (decrypt ? "decrypt" : "encrypt"));
        std::vector<std::uint8_t> expected(8 * blocks);
        BlowfishBlockPeer::SingleBlocks(bf, decrypt, in.data() + in_offset, expected.data(),
                                        blocks);
        std::vector<std::uint8_t> out(out_offset + 8 * blocks + 8, kGuard);
        BlowfishBlockPeer::Blocks(bf, decrypt, in.data() + in_offset, out.data() + out_offset,
                                  blocks);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), out.begin() + out_offset));
        for (std::size_t i = 0; i < out_offset; ++i) ASSERT_EQ(out[i], kGuard);
        for (std::size_t i = out_offset + 8 * blocks; i < out.size(); ++i) {
          ASSERT_EQ(out[i], kGuard);
        }
      }
    }
  }
}

// However an instance is left, its key schedule does not stay behind in memory.
TEST(BlowfishBulk, LeftInstancesHoldNoKeySchedule) {
  const struct {
    const char* how;
    void (*leave)(Blowfish&);
    bool destroys;
  } cases[] = {
      {"destroyed", [](Blowfish& bf) { bf.~Blowfish(); }, true},
      {"moved from", [](Blowfish& bf) { Blowfish to(std::move(bf)); }, false},
      {"moved from by assignment",
       [](Blowfish& bf) {
         Blowfish to;
         to = std::move(bf);
       },
       false},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(BlowfishBlockPeer::ScheduleZeroAfter(c.leave, c.destroys)) << c.how;
  }
}

// In place, through the public methods: the bulk path reads each group of blocks before it
// writes any of them.
TEST(BlowfishBulk, PublicMethodsInPlaceMatchSingleBlocks) {
  std::mt19937 rng(5);
  for (std::size_t blocks = 1; blocks <= 40; ++blocks) {
    SCOPED_TRACE(::testing::Message() << blocks << " blocks");
    const Blowfish bf_template = RandomlyKeyed(rng);
    Blowfish bf = bf_template;
    const std::vector<std::uint8_t> plain = RandomBytes(rng, 8 * blocks);
    std::vector<std::uint8_t> expected(plain.size());
    BlowfishBlockPeer::SingleBlocks(bf, false, plain.data(), expected.data(), blocks);

    ByteArray data(plain);
    bf.sEncrypt(data, data);
    ASSERT_EQ(data, ByteArray(expected));
    bf.sDecrypt(data, data);
    ASSERT_EQ(data, ByteArray(plain));
  }
}

}  // namespace
}  // namespace tolvane
