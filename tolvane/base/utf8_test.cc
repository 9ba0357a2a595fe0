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

TEST(Utf8, MalformedInputIsRefused) {
  const char* bad[] = {
      "\x80",
      "\xC0\xAF",
      "\xC2",
      "\xE0\x80\xAF",
      "\xED\xA0\x80",
      "\xF4\x90\x80\x80",
      "\xF5\x80\x80\x80",
      "a\xE2\x82",
      "\xFF",
  };
  for (const char* b : bad) EXPECT_THROW(Utf8ToUtf16(b), Error) << b;
}

}  // namespace
}  // namespace tolvane
