#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/blowfish_file_testing.h"
#include "tolvane/errors/report.h"

namespace tolvane {
namespace {

using namespace file_testing;  // NOLINT(google-build-using-namespace): the shared fixture

TEST_F(BlowfishFileTest, PublishedVectorInTheFileFormat) {
  Blowfish zero_key = Keyed(ByteArray(8));
  WriteBytes(dir_ / "p", Bytes(8, 0));
  zero_key.sFileEncrypt(dir_ / "p", dir_ / "c");
  EXPECT_EQ(ReadBytes(dir_ / "c"),
            (Bytes{8, 0, 0, 0, 0x4E, 0xF9, 0x97, 0x45, 0x61, 0x98, 0xDD, 0x78}));
  EXPECT_TRUE(capture_.messages().empty());
}

TEST_F(BlowfishFileTest, SizesHeaderAndPadding) {
  const struct {
    std::size_t plain;
    std::size_t file;
  } cases[] = {{0, 4}, {1, 12}, {5, 12}, {8, 12}, {9, 20}, {16, 20}, {300, 308}};
  for (const auto& c : cases) {
    const Bytes plain = RandomBytes(c.plain, static_cast<unsigned>(c.plain));
    WriteBytes(dir_ / "p", plain);
    bf_.sFileEncrypt(dir_ / "p", dir_ / "c");
    const Bytes file = ReadBytes(dir_ / "c");
    EXPECT_EQ(file.size(), c.file) << c.plain;
    EXPECT_EQ(file, Concat(LengthHeader(static_cast<std::int32_t>(c.plain)), CipherOf(bf_, plain)))
        << c.plain;
  }
  EXPECT_TRUE(capture_.messages().empty());
}

TEST_F(BlowfishFileTest, RoundTripsKeepEveryByteIncludingTrailingZeros) {
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 40; ++n) lengths.push_back(n);
  lengths.push_back((3 << 20) + 5);
  for (std::size_t n : lengths) {
    Bytes plain = RandomBytes(n, static_cast<unsigned>(n) + 7);
    for (std::size_t i = n / 2; i < n; ++i) plain[i] = 0;
    WriteBytes(dir_ / "p", plain);
    bf_.sFileEncrypt(dir_ / "p", dir_ / "c");
    Blowfish other = Keyed({'s', 'e', 'c', 'r', 'e', 't'});
    other.sFileDecrypt(dir_ / "c", dir_ / "d");
    EXPECT_EQ(ReadBytes(dir_ / "d"), plain) << n;
  }
  EXPECT_TRUE(capture_.messages().empty());
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"p", "c", "d"}));
}

TEST_F(BlowfishFileTest, InPlaceBothWaysAndLongerTargetsReplaced) {
  const Bytes plain = RandomBytes(21, 1);
  WriteBytes(dir_ / "f", plain);
  bf_.sFileEncrypt(dir_ / "f", dir_ / "f");
  EXPECT_EQ(ReadBytes(dir_ / "f"), Concat(LengthHeader(21), CipherOf(bf_, plain)));

  WriteBytes(dir_ / "long", Bytes(5000, 0xAA));
  bf_.sFileDecrypt(dir_ / "f", dir_ / "long");
  EXPECT_EQ(ReadBytes(dir_ / "long"), plain);
  bf_.sFileDecrypt(dir_ / "f", dir_ / "f");
  EXPECT_EQ(ReadBytes(dir_ / "f"), plain);
  EXPECT_TRUE(capture_.messages().empty());
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"f", "long"}));
}

// Where the stored length leaves padding, a wrong key is caught before anything is written;
// where it is a multiple of 8 it cannot be, and the wrong bytes are written without a word.
TEST_F(BlowfishFileTest, WrongKeyIsCaughtWheneverThereIsPaddingToCheck) {
  Blowfish wrong = Keyed({'w', 'r', 'o', 'n', 'g'});
  const struct {
    std::size_t length;
    FileKeyCheck check;
  } cases[] = {{1001, FileKeyCheck::kKeyFits},
               {1, FileKeyCheck::kKeyFits},
               {1000, FileKeyCheck::kKeyNotCheckable},
               {0, FileKeyCheck::kKeyNotCheckable}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    const Bytes plain = RandomBytes(c.length, 3);
    WriteBytes(dir_ / "p", plain);
    bf_.sFileEncrypt(dir_ / "p", dir_ / "c");
    EXPECT_EQ(bf_.CheckEncryptedFile(dir_ / "c"), c.check);
    WriteBytes(dir_ / "d", {'o', 'l', 'd'});
    wrong.sFileDecrypt(dir_ / "c", dir_ / "d");
    const std::vector<std::string> messages = capture_.Take();
    if (c.check == FileKeyCheck::kKeyFits) {
      const std::string expected =
          kDecLabel + "(321 - Invalid file format: '" + (dir_ / "c").string() +
          "' ends in padding that does not decrypt to zero bytes (wrong key, or a damaged file))";
      EXPECT_EQ(messages, std::vector<std::string>{expected});
      EXPECT_EQ(ReadBytes(dir_ / "d"), (Bytes{'o', 'l', 'd'}));
      EXPECT_THROW(wrong.CheckEncryptedFile(dir_ / "c"), Error);
    } else {
      EXPECT_TRUE(messages.empty());
      EXPECT_EQ(ReadBytes(dir_ / "d").size(), c.length);
      EXPECT_EQ(wrong.CheckEncryptedFile(dir_ / "c"), FileKeyCheck::kKeyNotCheckable);
      // Not lost: the same wrong key encrypts them back to the very file.
      wrong.sFileEncrypt(dir_ / "d", dir_ / "d");
      EXPECT_EQ(ReadBytes(dir_ / "d"), ReadBytes(dir_ / "c"));
    }
  }
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"p", "c", "d"}));
}

// Each failure is reported once under the right label, and neither the target nor the source
// changes; a decryption fails alike in place, and CheckEncryptedFile throws the very error.
// Sources are written before each case; "t" always holds its old content.
TEST_F(BlowfishFileTest, FailuresLeaveEveryFileAsItWas) {
  fs::create_directory(dir_ / "folder");
  ASSERT_TRUE(testing::MakeFileThatIsNoSource(dir_ / "special"));
  WriteBytes(dir_ / "plain", RandomBytes(10, 4));
  const Bytes cipher = CipherOf(bf_, RandomBytes(10, 4));  // 16 bytes
  const Bytes cipher20 = CipherOf(bf_, RandomBytes(20, 4));
  const Bytes big = CipherOf(bf_, RandomBytes(3 << 20, 4));
  const fs::path src = dir_ / "src";
  const std::string bad = kDecLabel + "(321 - Invalid file format: '" + src.string() + "'";
  Blowfish unkeyed;
  const struct {
    Blowfish* bf;
    bool encrypt;
    fs::path source;
    std::string message;
    std::optional<Bytes> src_content = std::nullopt;  // written to `src` first
  } cases[] = {
      {&unkeyed, true, dir_ / "missing", kEncLabel + kNotKeyed},
      {&unkeyed, false, dir_ / "plain", kDecLabel + kNotKeyed},
      {&bf_, true, dir_ / "missing", kEncLabel + kNotFound},
      {&bf_, false, dir_ / "folder", kDecLabel + kNotFound},
      {&bf_, true, dir_ / "special", kEncLabel + kNotFound},
      {&bf_, true, dir_ / "plain" / "x", kEncLabel + kNotFound},
      {&bf_, true, "", kEncLabel + kNotFound},
      {&bf_, false, src, kDecLabel + kSubscript, Bytes{}},
      {&bf_, false, src, kDecLabel + kSubscript, Bytes{1, 0, 0}},
      {&bf_, false, src, kDecLabel + kSubscript, Concat(LengthHeader(-1), cipher)},
      // A negative length is found before the cipher data's size.
      {&bf_, false, src, kDecLabel + kSubscript, Concat(LengthHeader(-8), Bytes(13))},
      // Cipher data of 13 bytes: sDecrypt refuses it and the target must stay as it was.
      {&bf_, false, src,
       "Blowfish, sDecrypt(-2147218101 - Byte array must be sized divisible by 8.)",
       Concat(LengthHeader(8), RandomBytes(13, 5))},
      // Stored lengths that do not match the cipher data: above, far below, a file cut at a
      // block edge, a bare header claiming data, a text file, a lie on a multi-chunk file,
      // and a block more than the stored length needs.
      {&bf_, false, src, bad + " holds 16 bytes of cipher data, its stored length 20 needs 24)",
       Concat(LengthHeader(20), cipher)},
      {&bf_, false, src, bad + " holds 16 bytes of cipher data, its stored length 3 needs 8)",
       Concat(LengthHeader(3), cipher)},
      {&bf_, false, src, bad + " holds 16 bytes of cipher data, its stored length 0 needs 0)",
       Concat(LengthHeader(0), cipher)},
      {&bf_, false, src, bad + " holds 16 bytes of cipher data, its stored length 20 needs 24)",
       Concat(LengthHeader(20), Bytes(cipher20.begin(), cipher20.begin() + 16))},
      {&bf_, false, src, bad + " holds 0 bytes of cipher data, its stored length 7 needs 8)",
       LengthHeader(7)},
      {&bf_, false, src,
       bad + " holds 8 bytes of cipher data, its stored length 1819043176 needs 1819043176)",
       Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}},
      {&bf_, false, src,
       bad + " holds 3145728 bytes of cipher data, its stored length 3145748 needs 3145752)",
       Concat(LengthHeader((3 << 20) + 20), big)},
      {&bf_, false, src, bad + " holds 24 bytes of cipher data, its stored length 10 needs 16)",
       Concat(Concat(LengthHeader(10), cipher), Bytes(8))},
      // The last block damaged: its padding no longer decrypts to zeros.
      {&bf_, false, src,
       bad + " ends in padding that does not decrypt to zero bytes (wrong key, or a damaged file))",
       Concat(LengthHeader(10), Concat(Bytes(cipher.begin(), cipher.begin() + 8), Bytes(8, 1)))},
  };
  WriteBytes(src, {});
  for (const auto& c : cases) {
    for (const bool in_place : {false, true}) {
      if (in_place && (c.encrypt || c.source != src)) continue;
      SCOPED_TRACE(c.message + (in_place ? " in place" : ""));
      if (c.src_content) WriteBytes(src, *c.src_content);
      const Bytes old_target = RandomBytes(33, 6);
      WriteBytes(dir_ / "t", old_target);
      const Bytes old_source = fs::is_regular_file(c.source) ? ReadBytes(c.source) : Bytes{};
      const fs::path target = in_place ? c.source : dir_ / "t";
      if (c.encrypt) {
        c.bf->sFileEncrypt(c.source, target);
      } else {
        c.bf->sFileDecrypt(c.source, target);
        try {
          c.bf->CheckEncryptedFile(c.source);
          ADD_FAILURE() << "CheckEncryptedFile passed";
        } catch (const Error& e) {
          EXPECT_TRUE(c.message.ends_with(FormatErrorMessage("", e))) << e.what();
        }
      }
      EXPECT_EQ(capture_.Take(), std::vector<std::string>{c.message});
      EXPECT_EQ(ReadBytes(dir_ / "t"), old_target);
      if (fs::is_regular_file(c.source)) {
        EXPECT_EQ(ReadBytes(c.source), old_source);
      }
      EXPECT_EQ(dir_.Names(), (std::set<std::string>{"folder", "special", "plain", "src", "t"}));
    }
  }
}

// Files longer than the methods read at once: sizes around 1 MiB and over several MiB, on one
// thread and on two, give the format's bytes and decrypt back; cipher data that are not whole
// blocks only at their end still leave the target as it was.
TEST_F(BlowfishFileTest, FilesLongerThanOneReadBehaveAsShortOnes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  for (const auto& [size, threads] : {std::pair{kMiB - 1, 1u},
                                      {kMiB, 1u},
                                      {kMiB + 1, 1u},
                                      {3 * kMiB + 13, 1u},
                                      {3 * kMiB + 13, 2u}}) {
    SCOPED_TRACE(::testing::Message() << size << " bytes, " << threads << " threads");
    bf_.SetThreads(threads);
    const Bytes plain = RandomBytes(size, 12);
    WriteBytes(dir_ / "p", plain);
    bf_.sFileEncrypt(dir_ / "p", dir_ / "c");
    ASSERT_EQ(ReadBytes(dir_ / "c"),
              Concat(LengthHeader(static_cast<std::int32_t>(size)), CipherOf(bf_, plain)));
    bf_.sFileDecrypt(dir_ / "c", dir_ / "c");
    ASSERT_EQ(ReadBytes(dir_ / "c"), plain);
  }

  const Bytes cipher = CipherOf(bf_, RandomBytes(3 * kMiB, 13));
  const Bytes broken = Concat(LengthHeader(8), Concat(cipher, Bytes(13)));
  WriteBytes(dir_ / "c", broken);
  bf_.sFileDecrypt(dir_ / "c", dir_ / "c");
  EXPECT_EQ(capture_.Take(),
            std::vector<std::string>{
                "Blowfish, sDecrypt(-2147218101 - Byte array must be sized divisible by 8.)"});
  EXPECT_EQ(ReadBytes(dir_ / "c"), broken);
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"p", "c"}));
}

// Progress: a copy of the instance keeps the callback; calls between chunks come at most about
// ten times a second, and one more ends each method with done equal to the total (the source's
// data). A callback that throws fails the method with the target untouched.
TEST_F(BlowfishFileTest, ProgressIsThrottledAndEndsWithTheTotal) {
  constexpr std::size_t kSize = (4 << 20) + 5;
  WriteBytes(dir_ / "p", RandomBytes(kSize, 14));
  std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
  bf_.SetProgressCallback([&](std::uint64_t done, std::uint64_t total) {
    calls.emplace_back(done, total);
    if (done == 0) throw Error(kErrInternal, "stopped");  // only the empty file's final call
  });
  Blowfish throws_other;
  throws_other.sInitBF(ByteArray{'k'});
  throws_other.SetProgressCallback([](std::uint64_t, std::uint64_t) { throw 42; });
  Blowfish copy = bf_;
  const struct {
    bool encrypt;
    const char* source;
    std::uint64_t total;
  } cases[] = {{true, "p", kSize}, {false, "c", kSize + 3}, {true, "empty", 0}};
  WriteBytes(dir_ / "empty", {});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    calls.clear();
    WriteBytes(dir_ / "t", {'o', 'l', 'd'});
    const auto start = std::chrono::steady_clock::now();
    c.encrypt ? copy.sFileEncrypt(dir_ / c.source, dir_ / "t")
              : copy.sFileDecrypt(dir_ / c.source, dir_ / "t");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_FALSE(calls.empty());
    EXPECT_LE(calls.size(), 2 + static_cast<std::size_t>(elapsed / std::chrono::milliseconds(95)));
    EXPECT_EQ(calls.back(), std::make_pair(c.total, c.total));
    for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
      EXPECT_EQ(calls[i].second, c.total);
      EXPECT_LT(calls[i].first, calls[i + 1].first);
    }
    if (c.total == 0) {
      EXPECT_EQ(capture_.Take(), std::vector<std::string>{kEncLabel + "(51 - stopped)"});
      EXPECT_EQ(ReadBytes(dir_ / "t"), (Bytes{'o', 'l', 'd'}));
    } else if (c.encrypt) {
      fs::rename(dir_ / "t", dir_ / "c");
    } else {
      EXPECT_EQ(ReadBytes(dir_ / "t"), ReadBytes(dir_ / "p"));
    }
    EXPECT_TRUE(capture_.Take().empty());
  }
  // Anything else a callback throws is its own failure, not a failure to allocate.
  throws_other.sFileEncrypt(dir_ / "empty", dir_ / "t");
  EXPECT_EQ(capture_.Take(),
            std::vector<std::string>{kEncLabel + "(51 - The progress callback failed)"});
}

TEST_F(BlowfishFileTest, TruncatedCipherDecryptedInPlaceStaysAsItWas) {
  const Bytes broken = Concat(LengthHeader(9), RandomBytes(12, 7));
  WriteBytes(dir_ / "f", broken);
  bf_.sFileDecrypt(dir_ / "f", dir_ / "f");
  EXPECT_EQ(capture_.Take().size(), 1u);
  EXPECT_EQ(ReadBytes(dir_ / "f"), broken);
}

TEST_F(BlowfishFileTest, FilesOf2GiBOrMoreAreRefusedWithOverflow) {
  // Sparse files: nothing is read before the size is checked. Plaintexts of the last seven
  // sizes below 2 GiB are refused too: their encrypted files would reach 2 GiB. The largest
  // accepted one passes the size check and meets the target's missing folder instead.
  const fs::path missing = dir_ / "no" / "t";
  const struct {
    std::uintmax_t size;
    bool encrypt;
    fs::path target;
    std::string message = kOverflow;
  } cases[] = {{std::uintmax_t{1} << 31, true, dir_ / "t"},
               {(std::uintmax_t{1} << 31) - 7, true, dir_ / "t"},
               {std::uintmax_t{1} << 31, false, dir_ / "t"},
               {(std::uintmax_t{1} << 31) - 8, true, missing,
                "(53 - File not found: '" + missing.string() + "'"}};
  for (const auto& c : cases) {
    WriteBytes(dir_ / "t", {1, 2, 3});
    WriteBytes(dir_ / "big", {});
    fs::resize_file(dir_ / "big", c.size);
    if (c.encrypt) {
      bf_.sFileEncrypt(dir_ / "big", c.target);
    } else {
      bf_.sFileDecrypt(dir_ / "big", c.target);
    }
    const std::vector<std::string> messages = capture_.Take();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with((c.encrypt ? kEncLabel : kDecLabel) + c.message))
        << messages[0];
    EXPECT_EQ(ReadBytes(dir_ / "t"), (Bytes{1, 2, 3}));
  }
}

}  // namespace
}  // namespace tolvane
