#include "tolvane/base/utf8.h"

#include <gtest/gtest.h>

#include "tolvane/base/error.h"

namespace tolvane {
namespace {

TEST(Utf8, RoundTripsEveryKindOfCharacter) {
  const std::u16string texts[] = {
      u"", u"plain", std::u16string(3, u'\0'), u"\u00E9\u20AC\uFFFF", u"\U0001F600 \U0010FFFF",
  };
  for (const auto& t : texts) EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(t)), t);
  EXPECT_EQ(Utf16ToUtf8(u"\u20AC"), "\xE2\x82\xAC");
}

TEST(Utf8, LoneSurrogatesBecomeTheReplacementCharacter) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'a'}),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
}

TEST(Utf8, MalformedInputIsRefusedAtTheByteToBlame) {
  struct Case {
    const char* bytes;
    std::size_t fault;
  };
  const Case bad[] = {
      {"\x80", 0},
      {"\xC0\xAF", 0},
      {"\xC2", 0},
      {"\xC2\x41", 1},
      {"\xE0\x80\xAF", 0},
      {"\xE2\x82\x41", 2},
      {"\xED\xA0\x80", 0},
      {"\xF4\x90\x80\x80", 0},
      {"\xF5\x80\x80\x80", 0},
      {"\xE2\x82", 0},
      {"\xFF", 0},
  };
  for (const Case& b : bad) {
    const Utf8Sequence sequence = DecodeUtf8(b.bytes);
    EXPECT_EQ(sequence.length, 0u) << b.bytes;
    EXPECT_EQ(sequence.fault, b.fault) << b.bytes;
    // Utf8ToUtf16 names the same byte, counted from the start of the text.
    try {
      Utf8ToUtf16(std::string("ab") + b.bytes);
      ADD_FAILURE() << b.bytes;
    } catch (const Error& e) {
      EXPECT_TRUE(e.description().ends_with("at byte " + std::to_string(2 + b.fault)))
          << e.description();
    }
  }
}

TEST(Utf16, OneCharacterAtATime) {
  struct Case {
    std::u16string text;
    std::size_t at;
    char32_t code_point;
    std::size_t length;
  };
  const Case cases[] = {
      {u"a\U0001F600", 1, 0x1F600, 2},
      {std::u16string{0xD800}, 0, 0xD800, 1},          // a high surrogate at the end
      {std::u16string{0xDBFF, u'a'}, 0, 0xDBFF, 1},    // followed by no low one
      {std::u16string{0xDC00, 0xD800}, 0, 0xDC00, 1},  // a low one first
  };
  for (const Case& c : cases) {
    const Utf16Character character = DecodeUtf16(c.text, c.at);
    EXPECT_EQ(character.code_point, c.code_point);
    EXPECT_EQ(character.length, c.length);
  }
}

}  // namespace
}  // namespace tolvane
