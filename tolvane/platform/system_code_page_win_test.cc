#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tolvane/platform/code_page.h"

namespace tolvane {
namespace {

// The tables that Linux converts with must equal Windows' own conversion for every byte and
// every code unit of every supported page.
TEST(SystemCodePage, TablesEqualTheSystemConversion) {
  for (const int number : {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}) {
    SCOPED_TRACE(number);
    const CodePage page = CodePage::Of(number);
    const auto system = static_cast<UINT>(number);
    int differences = 0;
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      wchar_t unit = 0;
      ASSERT_EQ(MultiByteToWideChar(system, 0, &byte, 1, &unit, 1), 1);
      if (page.ToUnit(static_cast<std::uint8_t>(b)) != static_cast<char16_t>(unit)) {
        ADD_FAILURE() << "byte " << b << ": table " << int(page.ToUnit(std::uint8_t(b)))
                      << ", system " << int(unit);
        ++differences;
      }
    }
    for (unsigned u = 0; u < 0x10000 && differences < 10; ++u) {
      const wchar_t unit = static_cast<wchar_t>(u);
      char byte = 0;
      ASSERT_EQ(WideCharToMultiByte(system, 0, &unit, 1, &byte, 1, nullptr, nullptr), 1);
      if (page.ToByte(static_cast<char16_t>(u)) != static_cast<std::uint8_t>(byte)) {
        ADD_FAILURE() << "code unit " << u << ": table " << int(page.ToByte(char16_t(u)))
                      << ", system " << int(static_cast<std::uint8_t>(byte));
        ++differences;
      }
    }
  }
}

}  // namespace
}  // namespace tolvane
