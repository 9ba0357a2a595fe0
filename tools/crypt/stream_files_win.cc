#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "tolvane/base/error.h"
#include "tolvane/base/wipe.h"
#include "tolvane/platform/file_system_win.h"
#include "tools/crypt/io.h"
#include "tools/crypt/stream_files.h"

namespace tolvane::crypt {
namespace {

// The encrypted format's length field is signed 32-bit: 2 GiB and more cannot be stored.
constexpr std::uint64_t kMaxSpoolBytes = std::uint64_t{1} << 31;
constexpr DWORD kCopyChunk = DWORD{1} << 20;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// %TEMP% may be longer than MAX_PATH: the buffer grows to what the call asks for.
std::filesystem::path TemporaryFolder() {
  std::wstring folder(MAX_PATH + 1, L'\0');
  for (;;) {
    const DWORD n = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    if (n == 0) throw LastSystemError("%TEMP%");
    if (n < folder.size()) {
      folder.resize(n);
      return std::filesystem::path(folder);
    }
    folder.resize(n + 1);  // too small: n is the length it needs, with the terminator
  }
}

// A name in `folder` that nobody else is likely to pick; the exclusive create that follows
// makes it safe whatever the odds.
std::filesystem::path UniqueName(const std::filesystem::path& folder) {
  static std::atomic<std::uint64_t> counter{0};
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  const std::uint64_t salt = (static_cast<std::uint64_t>(now.QuadPart) * 0x9E3779B97F4A7C15u) ^
                             (std::uint64_t{GetCurrentProcessId()} << 32) ^ counter.fetch_add(1);
  wchar_t name[40];
  wsprintfW(name, L"tolvane-crypt.%08x%08x", static_cast<unsigned>(salt >> 32),
            static_cast<unsigned>(salt));
  return folder / name;
}

// Copies everything from `from` to `to`, at most `limit` bytes; true when `from` ended first.
bool Copy(HANDLE from, HANDLE to, std::uint64_t limit, const std::filesystem::path& source,
          const std::filesystem::path& target) {
  SecureBytes buffer(kCopyChunk);
  std::uint64_t total = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(from, buffer.data(), kCopyChunk, &got, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) return true;  // the writer closed the pipe
      throw LastSystemError(source);
    }
    if (got == 0) return true;
    total += got;
    if (total >= limit) return false;
    for (DWORD done = 0; done < got;) {
      DWORD put = 0;
      if (!WriteFile(to, buffer.data() + done, got - done, &put, nullptr)) {
        throw LastSystemError(target);
      }
      if (put == 0) {
        SetLastError(ERROR_DISK_FULL);
        throw LastSystemError(target);
      }
      done += put;
    }
  }
}

}  // namespace

// The file is created through a handle that only reads and deletes it on close, so the system
// removes it however the tool ends; the content goes in through a second handle, closed
// before the library opens the file by name. The library's reader shares reading and
// deletion only, which the first handle's access (read, delete) allows. Like the tool's other
// private files, it is created with an access list for the user alone.
StdinSpool::StdinSpool() {
  RequireStdStream(0);
  const std::filesystem::path folder = TemporaryFolder();
  OwnerOnlySecurity owner_only;
  if (owner_only.failure() != 0) {
    SetLastError(owner_only.failure());
    throw LastSystemError(folder);
  }
  HANDLE holder = INVALID_HANDLE_VALUE;
  std::wstring name;
  for (int attempt = 0; attempt < 100 && holder == INVALID_HANDLE_VALUE; ++attempt) {
    path_ = UniqueName(folder);
    name = ExtendedLengthPath(path_);
    holder = CreateFileW(name.c_str(), GENERIC_READ, kShareAll, owner_only.attributes(), CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (holder == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (holder == INVALID_HANDLE_VALUE) throw LastSystemError(folder);
  handle_ = reinterpret_cast<std::intptr_t>(holder);
  const HANDLE writer = CreateFileW(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_TEMPORARY, nullptr);
  if (writer == INVALID_HANDLE_VALUE) {
    const Error error = LastSystemError(path_);
    CloseHandle(holder);
    throw error;
  }
  try {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) throw StdStreamError(0, "there is none");
    if (!Copy(input, writer, kMaxSpoolBytes, "-", path_)) {
      throw Error(kErrOverflow,
                  "standard input is 2 GiB or more, beyond what the encrypted format can hold");
    }
  } catch (...) {
    CloseHandle(writer);
    CloseHandle(holder);
    throw;
  }
  if (!CloseHandle(writer)) {
    const Error error = LastSystemError(path_);
    CloseHandle(holder);
    throw error;
  }
}

StdinSpool::~StdinSpool() { CloseHandle(AsHandle(handle_)); }

}  // namespace tolvane::crypt
