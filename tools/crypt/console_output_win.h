#ifndef TOOLS_CRYPT_CONSOLE_OUTPUT_WIN_H_
#define TOOLS_CRYPT_CONSOLE_OUTPUT_WIN_H_

#include <windows.h>

#include <cstdint>
#include <span>

namespace tolvane::crypt {

// The calls WriteToHandle makes. Tests put their own in place of the system's: Wine gives a
// test no console to write to.
struct HandleCalls {
  bool (*is_console)(HANDLE handle);
  BOOL (*write_console)(HANDLE handle, const wchar_t* text, DWORD units, DWORD* put);
  BOOL (*write_file)(HANDLE handle, const std::uint8_t* data, DWORD size, DWORD* put);
};
extern const HandleCalls kSystemHandleCalls;

// Writes the tool's output to a standard handle. A console is given UTF-16 text through
// WriteConsoleW, which it shows whatever its code page (the UTF-8 bytes would show as
// mojibake); a pipe or file, and bytes that are no UTF-8 text, get the bytes as they are, so
// that lines end in LF as on POSIX. The UTF-16 copy is wiped: it may be plaintext. False when
// a write fails, with GetLastError telling why.
bool WriteToHandle(HANDLE handle, std::span<const std::uint8_t> data,
                   const HandleCalls& calls = kSystemHandleCalls);

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_CONSOLE_OUTPUT_WIN_H_
