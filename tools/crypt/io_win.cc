#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "tolvane/platform/file_system.h"
#include "tolvane/platform/file_system_win.h"
#include "tools/crypt/console_output_win.h"
#include "tools/crypt/io.h"

namespace tolvane::crypt {
namespace {

// ReadFile takes a 32-bit count.
constexpr std::size_t kIoChunk = std::size_t{1} << 20;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

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
      owned_ ? CreateFileW(ExtendedLengthPath(PathFromUtf8(path)).c_str(), GENERIC_READ,
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
  if (!WriteToHandle(out, data)) throw LastSystemError("-");
}

void WriteStderr(std::string_view text) noexcept {
  // What the C library still writes there (the progress line) goes out first.
  std::fflush(stderr);
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
  try {
    WriteToHandle(err, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  } catch (...) {
    // Out of memory for the console's copy: nowhere is left to say so.
  }
}

}  // namespace tolvane::crypt
