#include "tolvane/platform/code_page.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "tests/support/code_page_testing.h"
#include "tests/support/environment_testing.h"
#include "tests/support/message_capture_testing.h"
#include "tolvane/base/error.h"
#include "tolvane/capi/tolvane.h"
#include "tolvane/cipher/blowfish.h"

namespace tolvane {
namespace {

const std::vector<int> kSupported = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

// Code page 1252's bytes 0x80 to 0x9F; the rest of the page maps each byte to itself.
constexpr char16_t k1252Upper[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

TEST(CodePage, Table1252IsExactly) {
  const CodePage page = CodePage::Of(1252);
  for (int b = 0; b < 256; ++b) {
    const char16_t expected = (b >= 0x80 && b < 0xA0) ? k1252Upper[b - 0x80] : char16_t(b);
    EXPECT_EQ(page.ToUnit(std::uint8_t(b)), expected) << "byte " << b;
  }
}

TEST(CodePage, EveryPageIsABijectionOverTheBytes) {
  for (const int number : kSupported) {
    SCOPED_TRACE(number);
    const CodePage page = CodePage::Of(number);
    EXPECT_EQ(page.number(), number);
    std::set<char16_t> units;
    for (int b = 0; b < 256; ++b) {
      const char16_t unit = page.ToUnit(std::uint8_t(b));
      units.insert(unit);
      EXPECT_EQ(page.ToByte(unit), b) << "byte " << b;
    }
    EXPECT_EQ(units.size(), 256u);
  }
}

TEST(CodePage, KnownCharacters) {
  struct Case {
    int page;
    std::uint8_t byte;
    char16_t unit;
  };
  const Case cases[] = {
      {874, 0xA1, 0x0E01},
      {1250, 0x8A, 0x0160},
      {1250, 0xA5, 0x0104},
      {1251, 0xC0, 0x0410},
      {1251, 0x98, 0x0098},
      {1251, 0xFF, 0x044F},
      {1253, 0xC1, 0x0391},
      {1254, 0xD0, 0x011E},
      {1255, 0xE0, 0x05D0},
      {1256, 0xC7, 0x0627},
      {1256, 0x81, 0x067E},
      {1257, 0xC0, 0x0104},
      {1258, 0xD0, 0x0110},
      {1258, 0x80, 0x20AC},
      // Bytes the pages leave unassigned, as Windows maps them.
      {874, 0xDB, 0xF8C1},
      {874, 0xFF, 0xF8C8},
      {1253, 0xAA, 0xF8F9},
      {1253, 0xD2, 0xF8FA},
      {1253, 0xFF, 0xF8FB},
      {1255, 0xCA, 0x05BA},
      {1255, 0xD9, 0xF88D},
      {1255, 0xFF, 0xF896},
      {1257, 0xA1, 0xF8FC},
      {1257, 0xA5, 0xF8FD},
      {1252, 0x81, 0x0081},
  };
  for (const Case& c : cases) {
    const CodePage page = CodePage::Of(c.page);
    EXPECT_EQ(page.ToUnit(c.byte), c.unit) << c.page << " byte " << int(c.byte);
    EXPECT_EQ(page.ToByte(c.unit), c.byte) << c.page << " unit " << int(c.unit);
  }
}

TEST(CodePage, CharactersThePageLacksBecomeTheirBestFitOrQuestionMark) {
  struct Case {
    int page;
    char16_t unit;
    std::uint8_t byte;
  };
  const Case cases[] = {
      {1252, 0x0100, 'A'}, {1252, 0x221E, '8'}, {1252, 0x0142, 'l'},  {1252, 0xFF21, 'A'},
      {1251, 0x00C0, 'A'}, {1251, 0x00E9, 'e'}, {1250, 0x0142, 0xB3},  // the page's own
      {1252, 0x0080, '?'},  // the byte 0x80 is the euro sign, so U+0080 has no byte
      {1252, 0x0416, '?'}, {1253, 0x0410, '?'}, {1257, 0x2212, '?'},  {1256, 0xFFFF, '?'},
      {874, 0x20AD, '?'},  {1252, 0xD83D, '?'}, {1252, 0xDE00, '?'},  // each half of a pair
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CodePage::Of(c.page).ToByte(c.unit), c.byte) << c.page << " unit " << int(c.unit);
  }
}

TEST(CodePage, UnsupportedPagesAreRefusedWithoutChange) {
  testing::ScopedAnsiCodePage scoped(1251);
  for (const int number :
       {0, -1, -1252, 437, 850, 932, 936, 949, 950, 1200, 1249, 1259, 65001, 1252 + (1 << 30)}) {
    EXPECT_FALSE(IsSupportedAnsiCodePage(number));
    try {
      SetAnsiCodePage(number);
      ADD_FAILURE() << number << " accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrUnsupportedCodePage);
      EXPECT_NE(e.description().find(std::to_string(number)), std::string::npos) << e.description();
    }
    EXPECT_THROW(CodePage::Of(number), Error);
    EXPECT_EQ(AnsiCodePage(), 1251);
  }
}

TEST(CodePage, ActiveConversionsBothWays) {
  testing::ScopedAnsiCodePage scoped(1251);
  const std::u16string text = u"\u041F\u0440\u0438 x\u20AC\u00C0\u03A9";  // "При x€ÀΩ"
  std::vector<std::uint8_t> bytes(text.size());
  TextToAnsi(text, bytes);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xCF, 0xF0, 0xE8, 0x20, 0x78, 0x88, 'A', '?'}));
  EXPECT_EQ(AnsiToText(bytes), u"\u041F\u0440\u0438 x\u20ACA?");

  std::vector<std::uint8_t> tooShort(text.size() - 1);
  EXPECT_THROW(TextToAnsi(text, tooShort), Error);
}

// The environment variable is read once per process, so each case runs in a process of its
// own (the thread-safe death-test style starts the test binary afresh) and prints what it saw.
void PrintActive() {
  try {
    const int active = AnsiCodePage();
    std::cerr << "active=" << active << "\n";
  } catch (const Error& e) {
    std::cerr << "error=" << e.number() << ": " << e.description() << "\n";
  }
}

TEST(AnsiCodePageEnvironment, ReadOnceAtFirstUse) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* value;  // nullptr: not set
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, "active=1252"},
      {"", "error=5: TOLVANE_ANSI_CODEPAGE does not name a code page"},
      {"0", "error=5: TOLVANE_ANSI_CODEPAGE does not name a code page"},
      {"-1251", "error=5: TOLVANE_ANSI_CODEPAGE does not name a code page"},
      {"1251x", "error=5: TOLVANE_ANSI_CODEPAGE does not name a code page"},
      {"1251", "active=1251"},
      {"874", "active=874"},
      {"932", "error=5: TOLVANE_ANSI_CODEPAGE names code page 932, which is not supported"},
      {"65001", "error=5: .*65001"},
      {"1073743076", "error=5: .*names code page 1073743076, which"},  // 1252 + 2^30
      {"cp1251", "error=5: TOLVANE_ANSI_CODEPAGE does not name a code page"},
      {"1251 ", "error=5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    if (c.value != nullptr && *c.value == '\0') {
      // Where setting a variable empty removes it (Windows' C runtime), the row is the unset one.
      testing::ScopedEnv empty(kAnsiCodePageVariable, "");
      if (std::getenv(kAnsiCodePageVariable) == nullptr) continue;
    }
    EXPECT_EXIT(
        {
          if (c.value) {
            testing::SetEnv(kAnsiCodePageVariable, c.value);
          } else {
            testing::SetEnv(kAnsiCodePageVariable, nullptr);
          }
          PrintActive();
          testing::SetEnv(kAnsiCodePageVariable, "1250");  // no effect: already read
          PrintActive();
          std::exit(0);
        },
        ::testing::ExitedWithCode(0), std::string(c.expected) + ".*\n" + c.expected);
  }
}

TEST(AnsiCodePageEnvironment, ProgramChoiceWins) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Set before first use: the variable is never consulted.
  EXPECT_EXIT(
      {
        testing::SetEnv(kAnsiCodePageVariable, "1251");
        SetAnsiCodePage(1250);
        PrintActive();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "active=1250");
  // A refused variable is refused until the program chooses a page.
  EXPECT_EXIT(
      {
        testing::SetEnv(kAnsiCodePageVariable, "932");
        PrintActive();
        SetAnsiCodePage(1253);
        PrintActive();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "error=5.*\nactive=1253");
}

// The C interface's numbers for cipher text of 7 and of 8 units: its length is checked before
// the page is needed.
void PrintCDecryptResults() {
  tolvane_cipher* cipher = nullptr;
  const std::uint8_t key[] = {1, 2, 3};
  tolvane_cipher_create(&cipher);
  tolvane_cipher_set_key(cipher, key, sizeof key);
  const std::uint16_t units[8] = {u'a', u'b', u'c', u'd', u'e', u'f', u'g', u'h'};
  std::uint16_t* result = nullptr;
  std::size_t result_units = 0;
  std::cerr << "C " << tolvane_decrypt_text16(cipher, units, 7, &result, &result_units) << " "
            << tolvane_decrypt_text16(cipher, units, 8, &result, &result_units) << "\n";
  tolvane_cipher_destroy(cipher);
}

TEST(AnsiCodePageEnvironment, TextMethodsReportARefusedPage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        testing::SetEnv(kAnsiCodePageVariable, "932");
        testing::MessageCapture capture;
        Blowfish bf;
        bf.sInitBF({1, 2, 3});
        std::u16string out = u"old";
        bf.sStringEncrypt(u"abc", out);
        for (const std::string& m : capture.Take()) std::cerr << m << "\n";
        std::cerr << (out == u"old" ? "unchanged" : "changed") << "\n";
        PrintCDecryptResults();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0),
      "Blowfish, sStringToByte\\(5 - TOLVANE_ANSI_CODEPAGE names code page 932.*\n"
      "Blowfish, sStringEncrypt\\(5 - .*\n"
      "unchanged\nC -2147218101 5\n");
}

}  // namespace
}  // namespace tolvane
