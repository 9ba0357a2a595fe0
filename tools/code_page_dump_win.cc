// Prints how Windows itself converts each supported single-byte ANSI code page, for
// tools/gen_code_pages.py: every byte through MultiByteToWideChar and every UTF-16 code unit
// through WideCharToMultiByte, both with flags 0 as the desktop programs called them (best fit
// included). Run under Wine or on Windows:
//   wine tolvane-code-page-dump.exe > code-pages.txt
// Output, per page: "page N", then 256 code units (4 hex digits each, one per byte), then
// 65,536 bytes (2 hex digits each, one per code unit from U+0000 up), one line each.
#include <windows.h>

#include <cstdio>

namespace {

constexpr UINT kPages[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

bool DumpPage(UINT page) {
  std::printf("page %u\n", page);
  for (int byte = 0; byte < 256; ++byte) {
    const char in = static_cast<char>(byte);
    wchar_t out[4] = {};
    if (MultiByteToWideChar(page, 0, &in, 1, out, 4) != 1) return false;
    std::printf("%04X", static_cast<unsigned>(out[0]));
  }
  std::printf("\n");
  for (unsigned unit = 0; unit < 0x10000; ++unit) {
    const wchar_t in = static_cast<wchar_t>(unit);
    char out[8] = {};
    if (WideCharToMultiByte(page, 0, &in, 1, out, 8, nullptr, nullptr) != 1) return false;
    std::printf("%02X", static_cast<unsigned>(static_cast<unsigned char>(out[0])));
  }
  std::printf("\n");
  return true;
}

}  // namespace

int main() {
  for (const UINT page : kPages) {
    if (!DumpPage(page)) {
      std::fprintf(stderr, "code page %u: a conversion did not give exactly one unit\n", page);
      return 1;
    }
  }
  return 0;
}
