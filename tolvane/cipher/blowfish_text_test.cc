#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/code_page_testing.h"
#include "tests/support/message_capture_testing.h"
#include "tests/support/test_vectors_testing.h"
#include "tolvane/cipher/blowfish.h"
#include "tolvane/core/text_cipher.h"
#include "tolvane/platform/code_page.h"

namespace tolvane {
namespace {

using testing::MessageCapture;
using testing::ScopedAnsiCodePage;

const std::string kNotKeyed = "(-2147218103 - Call sInitBF before calling this sub)";
const std::string kDecryptLength =
    "Blowfish, sStringDecrypt(-2147218101 - String to decrypt should be sized divisible by 8.)";

Blowfish Keyed(const ByteArray& key) {
  Blowfish bf;
  bf.sInitBF(key);
  return bf;
}

std::u16string Decode(int page, const std::vector<std::uint8_t>& bytes) {
  std::u16string text;
  for (const std::uint8_t b : bytes) text += CodePage::Of(page).ToUnit(b);
  return text;
}

std::u16string Encrypt(Blowfish& bf, const std::u16string& text) {
  std::u16string out;
  bf.sStringEncrypt(text, out);
  return out;
}

std::u16string Decrypt(Blowfish& bf, const std::u16string& text) {
  std::u16string out;
  bf.sStringDecrypt(text, out);
  return out;
}

// Random text over every character of a code page but NUL.
std::u16string RandomText(std::mt19937& rng, int page, std::size_t length) {
  std::uniform_int_distribution<int> byte(1, 255);
  std::u16string text;
  for (std::size_t i = 0; i < length; ++i)
    text += CodePage::Of(page).ToUnit(std::uint8_t(byte(rng)));
  return text;
}

TEST(StringEncrypt, PublishedVectorsThroughCodePage1252) {
  // Every byte is a character in 1252, so each published block is also a text and its cipher
  // text: this pins the cipher text format end to end.
  MessageCapture capture;
  for (const auto& v : testing::LoadPublishedVectors()) {
    Blowfish bf = Keyed(v.key);
    const std::u16string plain = Decode(1252, v.plain);
    EXPECT_EQ(Encrypt(bf, plain), Decode(1252, v.cipher));
    std::u16string back;
    bf.sStringDecrypt(Decode(1252, v.cipher), back);
    // Decryption cuts before a NUL that is not the first character.
    const auto nul = plain.find(u'\0');
    EXPECT_EQ(back, nul == 0 || nul == std::u16string::npos ? plain : plain.substr(0, nul));
  }
  EXPECT_TRUE(capture.messages().empty());
}

TEST(StringEncrypt, PaddedLengthFromCodeUnits) {
  MessageCapture capture;
  Blowfish bf = Keyed({7, 7, 7});
  for (const auto& [length, padded] : std::vector<std::pair<std::size_t, std::size_t>>{
           {1, 8}, {7, 8}, {8, 8}, {9, 16}, {16, 16}, {17, 24}, {1000, 1000}}) {
    const std::u16string text(length, u'x');
    const std::u16string cipher = Encrypt(bf, text);
    EXPECT_EQ(cipher.size(), padded) << length;
    EXPECT_EQ(Decrypt(bf, cipher), text);
  }
  EXPECT_TRUE(capture.messages().empty());
}

TEST(StringEncrypt, SameAsEncryptingTheAnsiBytes) {
  for (const int page : {1252, 1251, 874}) {
    ScopedAnsiCodePage scoped(page);
    std::mt19937 rng(page);
    Blowfish bf = Keyed({0x10, 0x20, 0x30, 0x40, 0x50});
    const std::u16string text = RandomText(rng, page, 61);
    std::vector<std::uint8_t> bytes(64, 0);
    for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = CodePage::Of(page).ToByte(text[i]);
    ByteArray cipher(64);
    bf.sEncrypt(bytes, cipher);
    EXPECT_EQ(Encrypt(bf, text), Decode(page, cipher.ToVector())) << page;
  }
}

// The core converts through the page it is handed, whatever the active one: the same cipher
// text as the class under that page, and back.
TEST(TextCipher, UsesThePageGivenNotTheActiveOne) {
  ScopedAnsiCodePage active(1252);  // holds none of the pages' letters below 0x80 exactly
  const KeySchedule key(std::vector<std::uint8_t>{0x10, 0x20, 0x30});
  for (const int page : {1251, 1253}) {
    std::mt19937 rng(page);
    const std::u16string text = RandomText(rng, page, 61);
    const std::u16string cipher = EncryptText(key, OnSharedPool(1), CodePage::Of(page), text);
    {
      ScopedAnsiCodePage as(page);
      Blowfish bf = Keyed({0x10, 0x20, 0x30});
      EXPECT_EQ(Encrypt(bf, text), cipher) << page;
    }
    EXPECT_EQ(DecryptText(key, OnSharedPool(1), CodePage::Of(page), cipher), text) << page;
  }
}

TEST(StringEncrypt, RandomRoundTripsInPlace) {
  MessageCapture capture;
  std::mt19937 rng(1252);
  for (int round = 0; round < 300; ++round) {
    Blowfish bf = Keyed({std::uint8_t(round), 1, 2, 3});
    const std::u16string text = RandomText(rng, 1252, 1 + rng() % 100);
    std::u16string s = text;
    bf.sStringEncrypt(s, s);  // the output may be the input object
    EXPECT_EQ(s.size() % 8, 0u);
    bf.sStringDecrypt(s, s);
    ASSERT_EQ(s, text) << "round " << round;
  }
  EXPECT_TRUE(capture.messages().empty());
}

TEST(StringEncrypt, CharactersThePageLacksBecomeBestFitsOrQuestionMarks) {
  Blowfish bf = Keyed({9});
  struct Case {
    std::u16string in, out;
  };
  const Case cases[] = {
      {u"a\U0001F600b", u"a??b"},  // a surrogate pair: one "?" per code unit
      {u"\u0416x", u"?x"},         // Cyrillic in 1252
      {u"\u0142\u221E", u"l8"},    // best fits in 1252
      {u"\u20AC\u0081", u"\u20AC\u0081"},
  };
  for (const Case& c : cases) {
    const std::u16string cipher = Encrypt(bf, c.in);
    EXPECT_EQ(cipher.size(), 8u);
    EXPECT_EQ(Decrypt(bf, cipher), c.out);
  }
}

TEST(StringDecrypt, CutsBeforeTheFirstNulUnlessItLeads) {
  MessageCapture capture;
  Blowfish bf = Keyed({1, 2});
  struct Case {
    std::u16string in, out;
  };
  const Case cases[] = {
      {std::u16string(u"ab\0cd", 5), u"ab"},
      {std::u16string(u"abc\0\0", 5), u"abc"},
      {std::u16string(u"abcdefgh\0", 9), u"abcdefgh"},
      {std::u16string(u"\0ab", 3), std::u16string(u"\0ab\0\0\0\0\0", 8)},
      {std::u16string(8, u'\0'), std::u16string(8, u'\0')},
      {std::u16string(u"ab\0", 3) + std::u16string(40, u'S'), u"ab"},
  };
  for (const Case& c : cases) {
    const std::u16string out = Decrypt(bf, Encrypt(bf, c.in));
    EXPECT_EQ(out, c.out);
    // What was cut off must not stay readable in the spare room of the result's buffer.
    const std::u16string_view spare(out.data() + out.size(), out.capacity() - out.size());
    EXPECT_EQ(spare.find(u'S'), spare.npos);
  }
  EXPECT_TRUE(capture.messages().empty());
}

TEST(StringDecrypt, WrongKeyStillCutsAtTheFirstNul) {
  Blowfish right = Keyed({1, 2, 3});
  Blowfish wrong = Keyed({3, 2, 1});
  std::mt19937 rng(5);
  for (int i = 0; i < 200; ++i) {
    const std::u16string out = Decrypt(wrong, Encrypt(right, RandomText(rng, 1252, 16)));
    const auto nul = out.find(u'\0');
    EXPECT_TRUE(nul == std::u16string::npos || (nul == 0 && out.size() == 16)) << i;
  }
}

TEST(StringDecrypt, LengthNotAMultipleOf8IsRefused) {
  MessageCapture capture;
  Blowfish bf = Keyed({1});
  for (const std::size_t length : {1, 7, 9, 15, 17}) {
    std::u16string out = u"kept";
    bf.sStringDecrypt(std::u16string(length, u'x'), out);
    EXPECT_EQ(out, u"kept");
    EXPECT_EQ(capture.Take(), std::vector<std::string>{kDecryptLength});
  }
}

TEST(StringMethods, EmptyAndUnkeyedInputs) {
  MessageCapture capture;
  Blowfish keyed = Keyed({1});
  Blowfish unkeyed;
  struct Case {
    const char* name;
    Blowfish* bf;
    bool encrypt;
    std::u16string in, out;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"encrypt empty", &keyed, true, u"", u"", {"Blowfish, sEncrypt(9 - Subscript out of range)"}},
      {"decrypt empty", &keyed, false, u"", u"", {}},
      {"decrypt empty unkeyed", &unkeyed, false, u"", u"", {"Blowfish, sDecrypt" + kNotKeyed}},
      {"encrypt unkeyed",
       &unkeyed,
       true,
       u"abc",
       std::u16string(8, u'\0'),
       {"Blowfish, sEncrypt" + kNotKeyed}},
      {"decrypt unkeyed",
       &unkeyed,
       false,
       u"abcdefghijklmnop",
       std::u16string(16, u'\0'),
       {"Blowfish, sDecrypt" + kNotKeyed}},
  };
  for (const Case& c : cases) {
    std::u16string out = u"old";
    if (c.encrypt) {
      c.bf->sStringEncrypt(c.in, out);
    } else {
      c.bf->sStringDecrypt(c.in, out);
    }
    EXPECT_EQ(out, c.out) << c.name;
    EXPECT_EQ(capture.Take(), c.messages) << c.name;
  }
}

TEST(StringEncrypt, OtherCodePagesRoundTrip) {
  for (const int page : {874, 1250, 1251, 1253, 1254, 1255, 1256, 1257, 1258}) {
    ScopedAnsiCodePage scoped(page);
    std::mt19937 rng(page);
    Blowfish bf = Keyed({1, 2, 3, 4});
    const std::u16string text = RandomText(rng, page, 40);
    EXPECT_EQ(Decrypt(bf, Encrypt(bf, text)), text) << page;
  }
}

TEST(HexCode, Encode) {
  MessageCapture capture;
  Blowfish bf;
  struct Case {
    std::u16string text, hex;
  };
  const Case cases[] = {
      {u"", u""},
      {u"A", u"4100"},
      {u"\u20AC", u"AC20"},
      {std::u16string(1, u'\0'), u"0000"},
      {u"\uFFFF\u0102", u"FFFF0201"},
      {u"AB", u"41004200"},
      {u"\U0001F600", u"3DD800DE"},
  };
  for (const Case& c : cases) EXPECT_EQ(bf.fStringToHexCode(c.text), c.hex);
  EXPECT_TRUE(capture.messages().empty());
}

TEST(HexCode, Decode) {
  MessageCapture capture;
  Blowfish bf;
  struct Case {
    std::u16string hex, text;
  };
  const Case cases[] = {
      {u"", u""},
      {u"4100", u"A"},
      {u"4a00", u"J"},
      {u"4A00", u"J"},
      {u"ac20", u"\u20AC"},
      {u"41", u"A"},  // an odd byte count: the last byte is a code unit of its own
      // Odd lengths: 2k + 1 digits read the last digit alone when k is even.
      {u"4", u"\u0004"},
      {u"41Z", u"A"},  // k = 1: the third character is not read
      {u"41004", u"A\u0004"},
      {u"410042Z", u"AB"},
      {u"410042004", u"AB\u0004"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bf.fHexCodeToString(c.hex), c.text);
  }
  EXPECT_TRUE(capture.messages().empty());
}

TEST(HexCode, DecodeRefusesNonDigitsThatAreRead) {
  MessageCapture capture;
  Blowfish bf;
  for (const std::u16string hex : {u"4G00", u"41004G", u"4100Z", u" 4100", u"+1", u"0x41",
                                   u"41\u0660\u0661", u"4100\uFF10\uFF10"}) {
    EXPECT_EQ(bf.fHexCodeToString(hex), u"");
    EXPECT_EQ(capture.Take(),
              std::vector<std::string>{"Blowfish, fHexCodeToString(13 - Type mismatch)"});
  }
}

TEST(HexCode, SixteenBitLimits) {
  MessageCapture capture;
  Blowfish bf;
  const std::string overflow = "(6 - Overflow)";
  EXPECT_EQ(bf.fStringToHexCode(std::u16string(8192, u'\u1234')).size(), 32768u);
  EXPECT_EQ(bf.fStringToHexCode(std::u16string(8193, u'a')), u"");
  EXPECT_EQ(capture.Take(), std::vector<std::string>{"Blowfish, fStringToHexCode" + overflow});

  EXPECT_EQ(bf.fHexCodeToString(std::u16string(32768, u'f')), std::u16string(8192, u'\uFFFF'));
  EXPECT_EQ(bf.fHexCodeToString(std::u16string(32769, u'f')), u"");
  EXPECT_EQ(capture.Take(), std::vector<std::string>{"Blowfish, fHexCodeToString" + overflow});
}

TEST(HexCode, RandomRoundTrips) {
  MessageCapture capture;
  Blowfish bf;
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> unit(0, 0xFFFF);
  for (const std::size_t length : {1, 2, 3, 100, 8191, 8192}) {
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i) text += char16_t(unit(rng));
    std::u16string s = bf.fStringToHexCode(text);
    s = bf.fHexCodeToString(s);
    EXPECT_EQ(s, text) << length;
  }
  EXPECT_TRUE(capture.messages().empty());
}

}  // namespace
}  // namespace tolvane
