// Which way the tool's output goes on Windows. Wine gives a test no console, so a stand-in
// takes the console's calls (cross_check.sh holds real pipes against the Linux tool).

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "tools/crypt/console_output_win.h"

namespace tolvane::crypt {
namespace {

bool g_is_console = false;
bool g_fails = false;
DWORD g_most = 0;  // the most one call takes; 0: all it is given
std::u16string g_console;
std::string g_file;

DWORD Taken(DWORD size) { return g_most == 0 ? size : std::min(size, g_most); }

bool FakeIsConsole(HANDLE) { return g_is_console; }
BOOL FakeWriteConsole(HANDLE, const wchar_t* text, DWORD units, DWORD* put) {
  if (g_fails) return FALSE;
  *put = Taken(units);
  g_console.append(reinterpret_cast<const char16_t*>(text), *put);
  return TRUE;
}
BOOL FakeWriteFile(HANDLE, const std::uint8_t* data, DWORD size, DWORD* put) {
  if (g_fails) return FALSE;
  *put = Taken(size);
  g_file.append(reinterpret_cast<const char*>(data), *put);
  return TRUE;
}
constexpr HandleCalls kStandIn = {FakeIsConsole, FakeWriteConsole, FakeWriteFile};

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(ConsoleOutput, AConsoleGetsTextAndAnythingElseTheBytes) {
  const std::string cyrillic = "\xD0\xBD\xD0\xB5\xD1\x82.bin\n";  // нет.bin
  const std::string raw("\xFF\x00\x1A\r\n", 5);
  const struct {
    bool console;
    std::string data;
    DWORD most;
    bool fails;
    bool written;
    std::u16string to_console;
    std::string to_file;
  } cases[] = {
      {true, cyrillic, 0, false, true, u"\u043D\u0435\u0442.bin\n", ""},
      // A pipe or file: the bytes, line ends as they are.
      {false, cyrillic, 0, false, true, u"", cyrillic},
      // No UTF-8 text: raw output that must pass unchanged.
      {true, raw, 0, false, true, u"", raw},
      // Calls that take less than they are given are called again for the rest.
      {true, "A\xF0\x9F\x98\x80z", 1, false, true, u"A\U0001F600z", ""},
      {false, "abc\n", 1, false, true, u"", "abc\n"},
      {true, "x", 0, true, false, u"", ""},
      {false, "x", 0, true, false, u"", ""},
  };
  for (const auto& c : cases) {
    g_is_console = c.console;
    g_most = c.most;
    g_fails = c.fails;
    g_console.clear();
    g_file.clear();
    EXPECT_EQ(WriteToHandle(nullptr, Bytes(c.data), kStandIn), c.written) << c.data;
    EXPECT_EQ(g_console, c.to_console) << c.data;
    EXPECT_EQ(g_file, c.to_file) << c.data;
  }
}

}  // namespace
}  // namespace tolvane::crypt
