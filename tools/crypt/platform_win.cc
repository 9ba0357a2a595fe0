// windows.h first: shellapi.h builds on it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdlib>
#include <stdexcept>

#include "tolvane/support/utf8.h"
#include "tools/crypt/platform.h"

namespace tolvane::crypt {
namespace {

std::wstring Wide(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace

void PrepareStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
}

std::vector<std::string> Utf8Arguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) throw std::runtime_error("cannot read the command line");
  std::vector<std::string> arguments;
  try {
    for (int i = 0; i < count; ++i) arguments.push_back(Narrow(wide[i]));
  } catch (...) {
    LocalFree(wide);
    throw;
  }
  LocalFree(wide);
  return arguments;
}

std::optional<std::string> EnvironmentVariable(const std::string& name) {
  const wchar_t* value = _wgetenv(Wide(name).c_str());
  if (value == nullptr) return std::nullopt;
  return Narrow(value);
}

bool StandardInputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

SecureBytes ReadLineWithoutEcho(std::string_view prompt) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  const bool have_console = GetConsoleMode(input, &saved) != 0;
  // Line input stays on (ReadConsoleW returns at Enter); only the echo goes.
  if (have_console) SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::fwrite(prompt.data(), 1, prompt.size(), stderr);
  std::fflush(stderr);

  std::u16string line;
  wchar_t unit = 0;
  DWORD got = 0;
  while (have_console && ReadConsoleW(input, &unit, 1, &got, nullptr) && got == 1 &&
         unit != L'\r' && unit != L'\n') {
    line.push_back(static_cast<char16_t>(unit));
  }
  if (have_console) {
    // Consume the line feed that follows the carriage return of Enter.
    if (unit == L'\r') ReadConsoleW(input, &unit, 1, &got, nullptr);
    SetConsoleMode(input, saved);
  }
  unit = 0;
  std::fputc('\n', stderr);

  std::string utf8 = Utf16ToUtf8(line);
  SecureBytes bytes(utf8.begin(), utf8.end());
  SecureWipe(line.data(), line.size() * sizeof(char16_t));
  SecureWipe(utf8.data(), utf8.size());
  return bytes;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

}  // namespace tolvane::crypt
