#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "tolvane/base/utf8.h"
#include "tolvane/platform/file_system.h"
#include "tools/crypt/io.h"

namespace tolvane::crypt {
namespace {

// WriteFile and ReadFile take a 32-bit count.
constexpr std::size_t kIoChunk = std::size_t{1} << 20;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode) != 0;
}

// Text for the console as UTF-16, which it shows whatever its code page; false when `data`
// is no UTF-8 text (raw bytes), which then go out as they are.
bool WriteConsoleText(HANDLE console, std::span<const std::uint8_t> data) {
  std::u16string text;
  try {
    text = Utf8ToUtf16({reinterpret_cast<const char*>(data.data()), data.size()});
  } catch (const Error&) {
    return false;
  }
  const auto* at = reinterpret_cast<const wchar_t*>(text.data());
  std::size_t left = text.size();
  while (left > 0) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min(left, kIoChunk));
    if (!WriteConsoleW(console, at, want, &put, nullptr) || put == 0) {
      SecureWipe(text.data(), text.size() * sizeof(char16_t));
      throw LastSystemError("-");
    }
    at += put;
    left -= put;
  }
  SecureWipe(text.data(), text.size() * sizeof(char16_t));
  return true;
}

}  // namespace

void RequireStdStream(int) {}

bool NamesStandardInput(const std::string& path) { return IsStdStream(path); }

// The library's errno mapping serves here too, so that both platforms give the same numbers.
Error LastSystemError(const std::filesystem::path& path) {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return FileSystemError(ENOENT, path);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return FileSystemError(EACCES, path);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FileSystemError(ENOSPC, path);
    default:
      return FileSystemError(EIO, path);
  }
}

InputStream::InputStream(const std::string& path) : path_(path), owned_(!IsStdStream(path)) {
  const HANDLE handle =
      owned_ ? CreateFileW(PathFromUtf8(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)
             : GetStdHandle(STD_INPUT_HANDLE);
  if (handle == INVALID_HANDLE_VALUE) throw LastSystemError(PathFromUtf8(path));
  handle_ = reinterpret_cast<std::intptr_t>(handle);
}

InputStream::~InputStream() {
  if (owned_) CloseHandle(AsHandle(handle_));
}

std::size_t InputStream::Read(std::uint8_t* data, std::size_t size) {
  // No standard input at all is an error, not an empty input that would replace a target.
  if (handle_ == 0) throw StdStreamError(0, "there is none");
  DWORD got = 0;
  if (!ReadFile(AsHandle(handle_), data, static_cast<DWORD>(std::min(size, kIoChunk)), &got,
                nullptr)) {
    // The writing end of a pipe closed: the end of the input.
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
    throw LastSystemError(PathFromUtf8(path_));
  }
  return got;
}

void WriteStdout(std::span<const std::uint8_t> data) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) {
    throw StdStreamError(1, "there is none");
  }
  if (IsConsole(out) && WriteConsoleText(out, data)) return;
  while (!data.empty()) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min(data.size(), kIoChunk));
    if (!WriteFile(out, data.data(), want, &put, nullptr) || put == 0) {
      throw LastSystemError("-");
    }
    data = data.subspan(put);
  }
}

}  // namespace tolvane::crypt
