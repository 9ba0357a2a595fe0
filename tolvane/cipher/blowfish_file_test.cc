#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tolvane/cipher/blowfish_file_testing.h"

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

TEST_F(BlowfishFileTest, DecryptTakesTheStoredLengthAsGiven) {
  const Bytes plain = RandomBytes(16, 2);
  const Bytes cipher = CipherOf(bf_, plain);
  const struct {
    Bytes file;
    Bytes expected;
  } cases[] = {
      {Concat(LengthHeader(20), cipher), Concat(plain, Bytes(4, 0))},              // zero tail
      {Concat(LengthHeader(3), cipher), Bytes(plain.begin(), plain.begin() + 3)},  // cut
      {LengthHeader(0), {}},                                                       // empty file
      {LengthHeader(7), Bytes(7, 0)},                                              // header only
  };
  for (const auto& c : cases) {
    WriteBytes(dir_ / "c", c.file);
    bf_.sFileDecrypt(dir_ / "c", dir_ / "d");
    EXPECT_EQ(ReadBytes(dir_ / "d"), c.expected);
  }
  EXPECT_TRUE(capture_.messages().empty());
}

TEST_F(BlowfishFileTest, WrongKeyWritesWrongBytesWithoutAMessage) {
  const Bytes plain = RandomBytes(13, 3);
  WriteBytes(dir_ / "p", plain);
  bf_.sFileEncrypt(dir_ / "p", dir_ / "c");
  Keyed({'w', 'r', 'o', 'n', 'g'}).sFileDecrypt(dir_ / "c", dir_ / "d");
  const Bytes got = ReadBytes(dir_ / "d");
  EXPECT_EQ(got.size(), plain.size());
  EXPECT_NE(got, plain);
  EXPECT_TRUE(capture_.messages().empty());
}

// Each failure is reported once under the right label, and neither the target nor the source
// changes. Sources are written before each case; "t" always holds its old content.
TEST_F(BlowfishFileTest, FailuresLeaveEveryFileAsItWas) {
  fs::create_directory(dir_ / "folder");
  ASSERT_TRUE(testing::MakeFileThatIsNoSource(dir_ / "special"));
  WriteBytes(dir_ / "plain", RandomBytes(10, 4));
  const Bytes cipher = CipherOf(bf_, RandomBytes(10, 4));
  const fs::path src = dir_ / "src";
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
      // Cipher data of 13 bytes: sDecrypt refuses it and the target must stay as it was.
      {&bf_, false, src,
       "Blowfish, sDecrypt(-2147218101 - Byte array must be sized divisible by 8.)",
       Concat(LengthHeader(8), RandomBytes(13, 5))},
  };
  WriteBytes(src, {});
  for (const auto& c : cases) {
    if (c.src_content) WriteBytes(src, *c.src_content);
    const Bytes old_target = RandomBytes(33, 6);
    WriteBytes(dir_ / "t", old_target);
    const Bytes old_source = fs::is_regular_file(c.source) ? ReadBytes(c.source) : Bytes{};
    if (c.encrypt) {
      c.bf->sFileEncrypt(c.source, dir_ / "t");
    } else {
      c.bf->sFileDecrypt(c.source, dir_ / "t");
    }
    EXPECT_EQ(capture_.Take(), std::vector<std::string>{c.message}) << c.source;
    EXPECT_EQ(ReadBytes(dir_ / "t"), old_target) << c.source;
    if (fs::is_regular_file(c.source)) {
      EXPECT_EQ(ReadBytes(c.source), old_source);
    }
  }
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"folder", "special", "plain", "src", "t"}));
}

// Files longer than the methods read at once: sizes around 1 MiB and over several MiB give
// the format's bytes and decrypt back; a stored length that ends in a later part of the file,
// or beyond it, cuts or zero-extends there; cipher data that turns out not to be whole blocks
// only at its end still leaves the target as it was.
TEST_F(BlowfishFileTest, FilesLongerThanOneReadBehaveAsShortOnes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  for (const std::size_t size : {kMiB - 1, kMiB, kMiB + 1, 3 * kMiB + 13}) {
    SCOPED_TRACE(size);
    const Bytes plain = RandomBytes(size, 12);
    WriteBytes(dir_ / "p", plain);
    bf_.sFileEncrypt(dir_ / "p", dir_ / "c");
    ASSERT_EQ(ReadBytes(dir_ / "c"),
              Concat(LengthHeader(static_cast<std::int32_t>(size)), CipherOf(bf_, plain)));
    bf_.sFileDecrypt(dir_ / "c", dir_ / "c");
    ASSERT_EQ(ReadBytes(dir_ / "c"), plain);
  }

  const Bytes plain = RandomBytes(3 * kMiB, 13);
  const Bytes cipher = CipherOf(bf_, plain);
  for (const std::size_t stored : {kMiB + 5, 3 * kMiB + 20}) {
    SCOPED_TRACE(stored);
    WriteBytes(dir_ / "c", Concat(LengthHeader(static_cast<std::int32_t>(stored)), cipher));
    bf_.sFileDecrypt(dir_ / "c", dir_ / "d");
    Bytes expected = plain;
    expected.resize(stored);
    ASSERT_EQ(ReadBytes(dir_ / "d"), expected);
  }

  const Bytes broken = Concat(LengthHeader(8), Concat(cipher, Bytes(13)));
  WriteBytes(dir_ / "c", broken);
  bf_.sFileDecrypt(dir_ / "c", dir_ / "c");
  EXPECT_EQ(capture_.Take(),
            std::vector<std::string>{
                "Blowfish, sDecrypt(-2147218101 - Byte array must be sized divisible by 8.)"});
  EXPECT_EQ(ReadBytes(dir_ / "c"), broken);
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"p", "c", "d"}));
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
  // sizes below 2 GiB are refused too: their encrypted files would reach 2 GiB.
  const struct {
    std::uintmax_t size;
    bool encrypt;
  } cases[] = {{std::uintmax_t{1} << 31, true},
               {(std::uintmax_t{1} << 31) - 7, true},
               {std::uintmax_t{1} << 31, false}};
  for (const auto& c : cases) {
    WriteBytes(dir_ / "t", {1, 2, 3});
    WriteBytes(dir_ / "big", {});
    fs::resize_file(dir_ / "big", c.size);
    if (c.encrypt) {
      bf_.sFileEncrypt(dir_ / "big", dir_ / "t");
    } else {
      bf_.sFileDecrypt(dir_ / "big", dir_ / "t");
    }
    EXPECT_EQ(capture_.Take(),
              std::vector<std::string>{(c.encrypt ? kEncLabel : kDecLabel) + kOverflow});
    EXPECT_EQ(ReadBytes(dir_ / "t"), (Bytes{1, 2, 3}));
  }
}

}  // namespace
}  // namespace tolvane
