#include "tolvane/support/base64.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/support/base64_reference_testing.h"
#include "tolvane/base/error.h"

namespace tolvane {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

using testing::ReferenceBase64Encode;

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(rng());
  return v;
}

// The description of the error that decoding `text` throws, or "no error".
template <typename Text>
std::string DecodeError(const Text& text) {
  try {
    Base64Decode(text);
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrInvalidCall);
    return e.description();
  }
  return "no error";
}

TEST(Base64Decode, ValidText) {
  const struct {
    std::string_view text;
    std::string_view bytes;
  } cases[] = {
      // RFC 4648 section 10.
      {"", ""},
      {"Zg==", "f"},
      {"Zm8=", "fo"},
      {"Zm9v", "foo"},
      {"Zm9vYg==", "foob"},
      {"Zm9vYmE=", "fooba"},
      {"Zm9vYmFy", "foobar"},
      // White space anywhere is skipped, also inside the padding.
      {"Zm9v\r\nYmFy\r\n", "foobar"},
      {" \tZ m 9 v\nYg=\n= ", "foob"},
      {" \r\n\t", ""},
      // The whole alphabet, including "+" and "/".
      {"+/+/", "\xFB\xFF\xBF"},
      {"AAEC/f7/", std::string_view("\x00\x01\x02\xFD\xFE\xFF", 6)},
      // Bits below the last whole byte are ignored rather than refused.
      {"Zh==", "f"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Decode(c.text), Bytes(c.bytes)) << c.text;
    const std::u16string wide(c.text.begin(), c.text.end());
    EXPECT_EQ(Base64Decode(wide), Bytes(c.bytes)) << c.text;
  }
}

TEST(Base64Decode, BadTextThrowsWithWhatAndWhere) {
  const struct {
    std::string_view text;
    std::string_view error;
  } cases[] = {
      {"Zm9v!", "character '!' at offset 4 is not in the Base64 alphabet"},
      {"Zm9-", "character '-' at offset 3 is not"},  // URL-safe alphabet
      {"Zm9_", "character '_' at offset 3 is not"},
      {std::string_view("Zm\0v", 4), "byte 0x00 at offset 2 is not"},
      {"Zm\v9v", "byte 0x0B at offset 2 is not"},  // only space, tab, CR, LF are skipped
      {"Zm9v\xC3\x84", "byte 0xC3 at offset 4 is not"},
      {"=", "misplaced '=' at offset 0"},
      {"Zm9v=", "misplaced '=' at offset 4"},
      {"Zg==Zg==", "misplaced '=' at offset 2"},
      {"Zg=a", "misplaced '=' at offset 2"},
      {"Zg===", "misplaced '=' at offset 4"},
      {"Zm8==", "misplaced '=' at offset 4"},
      {"Zm9vZ===", "group at offset 4 has a single character"},
      {"Zm9v Z", "group at offset 5 has a single character"},
      {"Zm9vYg", "ends inside the group at offset 4 (2 of 4 characters)"},
      {"Zm9vYg=", "ends inside the group at offset 4 (3 of 4 characters)"},
      {"Zm9vYmE", "ends inside the group at offset 4 (3 of 4 characters)"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(DecodeError(c.text).find(c.error), std::string::npos)
        << "text: " << c.text << "\nerror: " << DecodeError(c.text);
  }
  // Code units beyond one byte are refused whole, never cut to their low byte ("A" is 0x41).
  EXPECT_NE(DecodeError(std::u16string(u"Zm9v\u0141AAA")).find("character U+0141 at offset 4"),
            std::string::npos);
  EXPECT_NE(DecodeError(std::u16string(u"Zm9\uFF21")).find("U+FF21 at offset 3"),
            std::string::npos);
}

TEST(Base64Decode, MatchesIndependentEncoder) {
  for (std::size_t n = 0; n < 64; ++n) {
    const auto data = RandomBytes(n, static_cast<unsigned>(n));
    EXPECT_EQ(Base64Decode(ReferenceBase64Encode(data)), data) << n;
  }
  // 1 MiB is 1 more than a multiple of 3, so the last group is padded; line-broken as MIME does.
  const auto data = RandomBytes(1u << 20, 42);
  const std::string encoded = ReferenceBase64Encode(data);
  ASSERT_EQ(encoded.substr(encoded.size() - 2), "==");
  std::string broken;
  for (std::size_t i = 0; i < encoded.size(); i += 76) broken += encoded.substr(i, 76) + "\r\n";
  EXPECT_EQ(Base64Decode(encoded), data);
  EXPECT_EQ(Base64Decode(broken), data);
  EXPECT_EQ(Base64Decode(std::u16string(broken.begin(), broken.end())), data);
}

}  // namespace
}  // namespace tolvane
