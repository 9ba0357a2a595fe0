#include "tolvane/cipher/blowfish.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/message_capture_testing.h"
#include "tests/support/test_vectors_testing.h"
#include "tolvane/base/error.h"
#include "tolvane/core/blowfish_tables.h"

namespace tolvane {
namespace {

using testing::MessageCapture;

Blowfish Keyed(const ByteArray& key) {
  Blowfish bf;
  bf.sInitBF(key);
  return bf;
}

// Encrypts a fixed 64-byte buffer: equal results mean equal key schedules for any purpose.
ByteArray Fingerprint(Blowfish& bf) {
  std::vector<std::uint8_t> plain(64);
  std::iota(plain.begin(), plain.end(), 0);
  ByteArray out(plain.size());
  bf.sEncrypt(plain, out);
  return out;
}

std::optional<std::int32_t> InitErrorNumber(Blowfish& bf, const ByteArray& key) {
  try {
    bf.sInitBF(key);
  } catch (const Error& e) {
    return e.number();
  }
  return std::nullopt;
}

TEST(BlowfishTables, AnchorWords) {
  EXPECT_EQ(blowfish_tables::kInitialP.front(), 0x243F6A88u);
  EXPECT_EQ(blowfish_tables::kInitialP.back(), 0x8979FB1Bu);
  EXPECT_EQ(blowfish_tables::kInitialS.front(), 0xD1310BA6u);
  EXPECT_EQ(blowfish_tables::kInitialS.back(), 0x3AC372E6u);
}

TEST(Blowfish, PublishedVectorsBothWays) {
  const auto vectors = testing::LoadPublishedVectors();
  ASSERT_EQ(vectors.size(), 34u + 24u);
  MessageCapture capture;
  for (const auto& v : vectors) {
    Blowfish bf = Keyed(v.key);
    ByteArray cipher(8);
    bf.sEncrypt(v.plain, cipher);
    EXPECT_EQ(cipher, ByteArray(v.cipher)) << "key of " << v.key.size() << " bytes";
    ByteArray plain(8);
    bf.sDecrypt(v.cipher, plain);
    EXPECT_EQ(plain, ByteArray(v.plain));
  }
  EXPECT_TRUE(capture.messages().empty());
}

TEST(Blowfish, EcbBlocksAreIndependentAndInPlaceWorks) {
  Blowfish bf = Keyed({1, 2, 3, 4, 5});
  ByteArray data{1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9, 9, 9, 9, 9, 1, 2, 3, 4, 5, 6, 7, 8};
  const ByteArray original = data;
  ByteArray cipher(24);
  bf.sEncrypt(data, cipher);
  EXPECT_TRUE(std::equal(cipher.begin(), cipher.begin() + 8, cipher.begin() + 16));

  ByteArray first(8);
  bf.sEncrypt(ByteArray(std::vector<std::uint8_t>(data.begin(), data.begin() + 8)), first);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), cipher.begin()));

  bf.sEncrypt(data, data);
  EXPECT_EQ(data, cipher);
  bf.sDecrypt(data, data);
  EXPECT_EQ(data, original);
}

TEST(Blowfish, DecryptInvertsEncryptForRandomKeysAndData) {
  std::mt19937 rng(7);
  MessageCapture capture;
  for (int trial = 0; trial < 50; ++trial) {
    std::vector<std::uint8_t> key(1 + rng() % 80);
    for (auto& b : key) b = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> plain(8 * (1 + rng() % 20));
    for (auto& b : plain) b = static_cast<std::uint8_t>(rng());
    Blowfish bf = Keyed(key);
    ByteArray cipher(plain.size());
    ByteArray back(plain.size());
    bf.sEncrypt(plain, cipher);
    bf.sDecrypt(cipher, back);
    EXPECT_EQ(back, ByteArray(plain));
  }
  EXPECT_TRUE(capture.messages().empty());
}

// The checks of sEncrypt and sDecrypt, their order, and the untouched output.
TEST(Blowfish, ByteArrayChecksInOrder) {
  const std::string kSubscript = "(9 - Subscript out of range)";
  const std::string kSize = "(-2147218102 - Need to pass two byte arrays the same size)";
  const std::string kMul8 = "(-2147218101 - Byte array must be sized divisible by 8.)";
  const std::string kKey = "(-2147218103 - Call sInitBF before calling this sub)";
  constexpr int kUnsized = -1;
  struct Case {
    bool decrypt;
    bool keyed;
    int in_size;  // kUnsized for an array never given a size
    int out_size;
    std::string expected;  // after the label; empty when no message is shown
  };
  const Case cases[] = {
      // sEncrypt: element check first, on the input then the output.
      {false, true, 0, 0, kSubscript},
      {false, false, 0, 0, kSubscript},
      {false, false, 8, 0, kSubscript},
      {false, false, kUnsized, 8, kSubscript},
      {false, false, 8, kUnsized, kSubscript},
      {false, false, 8, 16, kSize},
      {false, true, 8, 16, kSize},
      {false, false, 12, 12, kMul8},
      {false, false, 16, 16, kKey},
      {false, true, 16, 16, ""},
      // sDecrypt: no element check; two empty arrays pass.
      {true, true, 0, 0, ""},
      {true, false, 0, 0, kKey},
      {true, true, 8, 0, kSize},
      {true, false, kUnsized, 8, kSubscript},
      {true, false, 8, kUnsized, kSubscript},
      {true, true, 8, 16, kSize},
      {true, false, 12, 12, kMul8},
      {true, false, 16, 16, kKey},
      {true, true, 16, 16, ""},
  };
  const Blowfish keyed = Keyed({'k', 'e', 'y'});
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.decrypt ? "sDecrypt " : "sEncrypt ") << c.in_size << "/"
                                      << c.out_size << (c.keyed ? " keyed" : ""));
    auto make = [](int size, std::uint8_t fill) {
      return size == kUnsized ? ByteArray() : ByteArray(std::vector<std::uint8_t>(size, fill));
    };
    const ByteArray in = make(c.in_size, 0x11);
    ByteArray out = make(c.out_size, 0xAA);
    const ByteArray out_before = out;
    Blowfish bf = c.keyed ? keyed : Blowfish();
    MessageCapture capture;
    if (c.decrypt) {
      bf.sDecrypt(in, out);
    } else {
      bf.sEncrypt(in, out);
    }
    const auto messages = capture.messages();
    if (c.expected.empty()) {
      EXPECT_TRUE(messages.empty());
    } else {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0],
                std::string(c.decrypt ? "Blowfish, sDecrypt" : "Blowfish, sEncrypt") + c.expected);
      EXPECT_EQ(out, out_before);
    }
  }
}

TEST(Blowfish, KeysThatMustGiveTheSameSchedule) {
  std::vector<std::uint8_t> long_key(100);
  std::iota(long_key.begin(), long_key.end(), 1);
  auto prefix = [&](std::size_t n) {
    return std::vector<std::uint8_t>(long_key.begin(), long_key.begin() + n);
  };
  auto twice = [](std::vector<std::uint8_t> k) {
    k.insert(k.end(), k.begin(), k.end());
    return k;
  };
  struct Case {
    const char* what;
    std::vector<std::uint8_t> a, b;
  };
  const Case cases[] = {
      {"one byte acts as four", {0x5A}, {0x5A, 0x5A, 0x5A, 0x5A}},
      {"a key written twice", prefix(5), twice(prefix(5))},
      {"bytes after the 72nd", prefix(73), prefix(100)},
      {"exactly 72 bytes", prefix(72), prefix(100)},
  };
  for (const Case& c : cases) {
    Blowfish a = Keyed(c.a);
    Blowfish b = Keyed(c.b);
    EXPECT_EQ(Fingerprint(a), Fingerprint(b)) << c.what;
  }
  Blowfish short_key = Keyed(prefix(71));
  Blowfish full_key = Keyed(prefix(72));
  EXPECT_NE(Fingerprint(short_key), Fingerprint(full_key)) << "the 72nd byte counts";
}

TEST(Blowfish, RekeyingStartsFromTheInitialTables) {
  Blowfish fresh_b = Keyed({'B'});
  Blowfish bf = Keyed({'A'});
  bf.sInitBF(ByteArray{'B'});
  EXPECT_EQ(Fingerprint(bf), Fingerprint(fresh_b));
  bf.sInitBF(ByteArray{'B'});
  EXPECT_EQ(Fingerprint(bf), Fingerprint(fresh_b));
}

TEST(Blowfish, KeyLengthLimits) {
  Blowfish bf;
  EXPECT_EQ(InitErrorNumber(bf, ByteArray(std::vector<std::uint8_t>(32767, 3))), std::nullopt);
}

// A refused key leaves a fresh instance unkeyed and a keyed one with its old key.
TEST(Blowfish, RefusedKeysChangeNothing) {
  struct Case {
    const char* what;
    ByteArray key;
    std::int32_t number;
  };
  const Case cases[] = {
      {"never sized", ByteArray(), kErrSubscript},
      {"empty", ByteArray(0), kErrSubscript},
      {"32768 bytes", ByteArray(32768), kErrOverflow},
      {"a megabyte", ByteArray(1 << 20), kErrOverflow},
  };
  Blowfish reference = Keyed({'o', 'l', 'd'});
  const ByteArray old_fingerprint = Fingerprint(reference);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MessageCapture capture;
    Blowfish fresh;
    EXPECT_EQ(InitErrorNumber(fresh, c.key), c.number);
    Blowfish keyed = Keyed({'o', 'l', 'd'});
    EXPECT_EQ(InitErrorNumber(keyed, c.key), c.number);
    EXPECT_TRUE(capture.Take().empty()) << "sInitBF must not report";

    ByteArray out(8);
    fresh.sEncrypt(ByteArray(8), out);
    EXPECT_EQ(capture.Take(), std::vector<std::string>{
                                  "Blowfish, sEncrypt(-2147218103 - Call sInitBF before calling "
                                  "this sub)"});
    EXPECT_EQ(Fingerprint(keyed), old_fingerprint);
  }
}

TEST(Blowfish, CopyKeepsTheKeyAndMoveLeavesTheSourceUnkeyed) {
  Blowfish original = Keyed({9, 8, 7});
  EXPECT_EQ(original.Threads(), 1u);
  original.SetThreads(3);
  const ByteArray expected = Fingerprint(original);
  Blowfish copy = original;
  EXPECT_EQ(Fingerprint(copy), expected);
  EXPECT_EQ(copy.Threads(), 3u);
  Blowfish moved = std::move(original);
  EXPECT_EQ(Fingerprint(moved), expected);
  EXPECT_EQ(moved.Threads(), 3u);
  moved.SetThreads(0);
  EXPECT_EQ(moved.Threads(), std::max(1u, std::thread::hardware_concurrency()));
  MessageCapture capture;
  ByteArray out(8);
  original.sEncrypt(ByteArray(8), out);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(capture.messages().size(), 1u);
}

}  // namespace
}  // namespace tolvane
