#include "tolvane/cxx/tolvane.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using Block = std::array<std::uint8_t, 8>;

std::int32_t NumberOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The published all-zero vector, whichever way the buffers are given, and every refusal.
TEST(CxxFace, BlocksAndRefusals) {
  const Block zero{};
  const Cipher cipher(zero);
  Block out{};
  cipher.Encrypt(zero, out);
  EXPECT_EQ(out, (Block{0x4E, 0xF9, 0x97, 0x45, 0x61, 0x98, 0xDD, 0x78}));
  Block in_place = zero;
  cipher.Encrypt(in_place, in_place);
  EXPECT_EQ(in_place, out);
  cipher.Decrypt(in_place, in_place);
  EXPECT_EQ(in_place, zero);

  std::array<std::uint8_t, 24> buffer{};
  const std::vector<std::uint8_t> long_key(32768, 1);
  Cipher moved(zero);
  const Cipher taken(std::move(moved));
  const struct {
    const char* what;
    std::function<void()> call;
    std::int32_t number;
  } cases[] = {
      {"empty key", [] { Cipher{std::span<const std::uint8_t>()}; }, kErrSubscript},
      {"long key", [&] { Cipher{long_key}; }, kErrOverflow},
      {"sizes differ", [&] { cipher.Encrypt(zero, std::span(buffer).first(16)); },
       kErrSizeMismatch},
      {"not a multiple of 8",
       [&] { cipher.Decrypt(std::span(buffer).first(7), std::span(buffer).last(7)); },
       kErrNotMultipleOf8},
      {"overlap", [&] { cipher.Encrypt(std::span(buffer).first(16), std::span(buffer).last(16)); },
       kErrInvalidCall},
      {"moved from", [&] { moved.Encrypt(zero, out); }, kErrNotKeyed},
      {"moved from, file", [&] { moved.CheckFile("x"); }, kErrNotKeyed},
      {"not a digit", [] { TextOfHexCode(u"4G00"); }, kErrTypeMismatch},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberOf(c.call), c.number) << c.what;
  Cipher copy = taken;
  copy.set_threads(0);
  EXPECT_GE(copy.threads(), 1u);
  EXPECT_EQ(taken.threads(), 1u);
  copy.Encrypt(zero, in_place);
  EXPECT_EQ(in_place, out);
}

TEST(CxxFace, FilesWithProgress) {
  const fs::path folder = fs::temp_directory_path() / "tolvane-cxx-face";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const std::string plain(100000, 'p');
  std::ofstream(folder / "plain", std::ios::binary) << plain;
  std::ofstream(folder / "kept", std::ios::binary) << "kept";
  const Cipher cipher(std::vector<std::uint8_t>{'k', 'e', 'y'});

  // A progress function that throws stops the work; its exception comes out and the target
  // stays as it was.
  EXPECT_THROW(cipher.EncryptFile(folder / "plain", folder / "kept",
                                  [](std::uint64_t, std::uint64_t) { throw 7; }),
               int);
  EXPECT_EQ(Contents(folder / "kept"), "kept");

  std::uint64_t last = 0;
  cipher.EncryptFile(folder / "plain", folder / "sealed",
                     [&](std::uint64_t done, std::uint64_t total) {
                       EXPECT_EQ(total, plain.size());
                       last = done;
                     });
  EXPECT_EQ(last, plain.size());
  const FileCheck check = cipher.CheckFile(folder / "sealed");
  EXPECT_EQ(check.plain_length, plain.size());
  EXPECT_FALSE(check.key_checked);  // 100000 is a multiple of 8: no padding to check
  cipher.DecryptFile(folder / "sealed", folder / "opened");
  EXPECT_EQ(Contents(folder / "opened"), plain);
  // A stored length of 100 over one block of data: not the format.
  std::ofstream(folder / "short", std::ios::binary) << std::string("d\0\0\0", 4) << "8 bytes.";
  EXPECT_EQ(NumberOf([&] { cipher.DecryptFile(folder / "short", folder / "kept"); }),
            kErrBadFileFormat);
  EXPECT_EQ(Contents(folder / "kept"), "kept");
  fs::remove_all(folder);
}

// The code page is the caller's choice, whatever the process's active page is.
TEST(CxxFace, TextThroughTheGivenCodePage) {
  const Cipher cipher(std::vector<std::uint8_t>{'k', 'e', 'y'});
  const std::u16string text = u"Жук и ёж";
  const std::u16string sealed = cipher.EncryptText(text, CodePage::Of(1251));
  EXPECT_EQ(sealed.size(), 8u);
  EXPECT_EQ(cipher.DecryptText(sealed, CodePage::Of(1251)), text);
  EXPECT_EQ(cipher.DecryptText(cipher.EncryptText(text, CodePage::Of(1252)), CodePage::Of(1252)),
            u"??? ? ??");
  EXPECT_EQ(NumberOf([&] { cipher.DecryptText(u"1234567", CodePage::Of(1251)); }),
            kErrNotMultipleOf8);
  EXPECT_EQ(HexCodeOf(u"A\u00e9"), u"4100E900");
  EXPECT_EQ(TextOfHexCode(u"4100e9"), u"A\u00e9");
}

}  // namespace
}  // namespace tolvane
