#include "tools/crypt/console_output_win.h"

#include <algorithm>
#include <string>

#include "tolvane/base/error.h"
#include "tolvane/base/utf8.h"
#include "tolvane/base/wipe.h"

namespace tolvane::crypt {
namespace {

// WriteFile and WriteConsoleW take a 32-bit count.
constexpr std::size_t kChunk = std::size_t{1} << 20;

bool SystemIsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode) != 0;
}

BOOL SystemWriteConsole(HANDLE handle, const wchar_t* text, DWORD units, DWORD* put) {
  return WriteConsoleW(handle, text, units, put, nullptr);
}

BOOL SystemWriteFile(HANDLE handle, const std::uint8_t* data, DWORD size, DWORD* put) {
  return WriteFile(handle, data, size, put, nullptr);
}

bool WriteUnits(HANDLE console, std::u16string_view text, const HandleCalls& calls) {
  while (!text.empty()) {
    DWORD put = 0;
    const auto want = static_cast<DWORD>(std::min(text.size(), kChunk));
    if (!calls.write_console(console, reinterpret_cast<const wchar_t*>(text.data()), want, &put) ||
        put == 0) {
      return false;
    }
    text.remove_prefix(put);
  }
  return true;
}

}  // namespace

const HandleCalls kSystemHandleCalls = {SystemIsConsole, SystemWriteConsole, SystemWriteFile};

bool WriteToHandle(HANDLE handle, std::span<const std::uint8_t> data, const HandleCalls& calls) {
  if (calls.is_console(handle)) {
    std::u16string text;
    bool utf8 = true;
    try {
      text = Utf8ToUtf16({reinterpret_cast<const char*>(data.data()), data.size()});
    } catch (const Error&) {
      utf8 = false;  // raw bytes: they go out as they are
    }
    if (utf8) {
      const bool written = WriteUnits(handle, text, calls);
      SecureWipe(text.data(), text.size() * sizeof(char16_t));
      return written;
    }
  }
  while (!data.empty()) {
    DWORD put = 0;
    const auto want = static_cast<DWORD>(std::min(data.size(), kChunk));
    if (!calls.write_file(handle, data.data(), want, &put) || put == 0) return false;
    data = data.subspan(put);
  }
  return true;
}

}  // namespace tolvane::crypt
