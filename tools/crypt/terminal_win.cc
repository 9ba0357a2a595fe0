// windows.h first: shellapi.h builds on its types.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <string_view>

#include "tolvane/base/utf8.h"
#include "tools/crypt/io.h"
#include "tools/crypt/terminal.h"

namespace tolvane::crypt {
namespace {

// The console input mode before the prompt switched echo off, for the interrupt handler,
// which runs on a thread of its own: stored before the flag that guards it.
DWORD g_saved_mode = 0;
std::atomic<int> g_mode_changed{0};

std::u16string_view Units(const wchar_t* text, std::size_t size) {
  return {reinterpret_cast<const char16_t*>(text), size};
}

bool IsConsole(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

void PrepareStandardStreams() {
  // The tool's own reads and writes go through Win32 handles; this covers what the C library
  // writes (the progress line), which then has the same line ends as elsewhere.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

// A missing standard handle is found where it is used (io_win.cc).
bool StandardStreamWasClosed(int) noexcept { return false; }

std::vector<std::string> Utf8Arguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) throw std::runtime_error("cannot read the command line");
  std::vector<std::string> arguments;
  try {
    for (int i = 0; i < count; ++i) {
      arguments.push_back(Utf16ToUtf8(Units(wide[i], wcslen(wide[i]))));
    }
  } catch (...) {
    LocalFree(wide);
    throw std::runtime_error("an argument is not valid UTF-16 text");
  }
  LocalFree(wide);
  return arguments;
}

std::optional<SecureBytes> EnvironmentVariable(const std::string& name) {
  const std::u16string wide_name = Utf8ToUtf16(name);
  const auto* key = reinterpret_cast<const wchar_t*>(wide_name.c_str());
  std::wstring value(64, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD n = GetEnvironmentVariableW(key, value.data(), static_cast<DWORD>(value.size()));
    if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    if (n < value.size()) {
      value.resize(n);
      break;
    }
    SecureWipe(value.data(), value.size() * sizeof(wchar_t));
    value.assign(n, L'\0');  // n counts the terminating null here
  }
  std::string utf8;
  try {
    utf8 = Utf16ToUtf8(Units(value.data(), value.size()));
  } catch (...) {
    SecureWipe(value.data(), value.size() * sizeof(wchar_t));
    throw;
  }
  SecureBytes bytes(utf8.begin(), utf8.end());
  SecureWipe(value.data(), value.size() * sizeof(wchar_t));
  SecureWipe(utf8.data(), utf8.size());
  return bytes;
}

bool StdinIsTerminal() { return IsConsole(STD_INPUT_HANDLE); }
bool StderrIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }

SecureBytes ReadLineWithoutEcho(const char* prompt, std::size_t limit) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  const bool have_console = GetConsoleMode(input, &saved) != 0;
  if (have_console) {
    g_saved_mode = saved;
    g_mode_changed.store(1);
    // Line input stays on (the read returns at Enter); only the echo goes.
    SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  }
  WriteStderr(prompt);

  // UTF-16 from the console, whatever its input code page; more than `limit` units is too
  // long in UTF-8 too, so no more are kept.
  std::u16string line;
  bool too_long = false;
  wchar_t buffer[256];
  bool ended = false;
  while (have_console && !ended) {
    DWORD got = 0;
    if (!ReadConsoleW(input, buffer, static_cast<DWORD>(std::size(buffer)), &got, nullptr) ||
        got == 0) {
      break;
    }
    for (DWORD i = 0; i < got && !ended; ++i) {
      if (buffer[i] == L'\n') {
        ended = true;
      } else if (buffer[i] != L'\r') {
        if (line.size() <= limit) line.push_back(static_cast<char16_t>(buffer[i]));
        too_long = line.size() > limit;
      }
    }
  }
  SecureWipe(buffer, sizeof buffer);
  if (have_console) SetConsoleMode(input, saved);
  g_mode_changed.store(0);
  WriteStderr("\n");

  if (too_long) {
    SecureWipe(line.data(), line.size() * sizeof(char16_t));
    return SecureBytes(limit + 1);
  }
  std::string utf8;
  try {
    utf8 = Utf16ToUtf8(line);
  } catch (...) {
    SecureWipe(line.data(), line.size() * sizeof(char16_t));
    throw;
  }
  SecureBytes bytes(utf8.begin(), utf8.end());
  SecureWipe(line.data(), line.size() * sizeof(char16_t));
  SecureWipe(utf8.data(), utf8.size());
  return bytes;
}

void RestoreTerminalOnInterrupt() noexcept {
  if (g_mode_changed.load() == 0) return;
  SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), g_saved_mode);
  DWORD put = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), "\n", 1, &put, nullptr);  // the prompt's open line
}

}  // namespace tolvane::crypt
