#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "tolvane/platform/file_system.h"
#include "tolvane/platform/file_system_shared.h"
#include "tolvane/platform/file_system_win.h"
#include "tolvane/platform/system_message_win.h"

namespace tolvane {
namespace {

// ReadFile and WriteFile take a 32-bit count; blocks this large also keep the per-call
// overhead negligible.
constexpr DWORD kIoChunk = DWORD{8} << 20;

HANDLE AsHandle(std::intptr_t handle) noexcept { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t FromHandle(HANDLE handle) noexcept { return reinterpret_cast<std::intptr_t>(handle); }

// The error for a failed call on `path`, by GetLastError's code, with the system's reason.
Error SystemError(DWORD code, const std::filesystem::path& path) {
  FileFailure kind = FileFailure::kOther;
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      kind = FileFailure::kNotFound;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      kind = FileFailure::kDenied;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      kind = FileFailure::kFull;
      break;
    default:
      break;
  }
  return FileFailureError(kind, path, SystemMessage(code));
}

Error LastError(const std::filesystem::path& path) { return SystemError(GetLastError(), path); }

// What a directory search that asks for no special attributes would skip.
constexpr DWORD kNotASource =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// A name for the temporary file that nobody else is likely to pick; CREATE_NEW makes it safe
// whatever the odds.
std::wstring TemporaryName(const std::filesystem::path& target) {
  static std::atomic<std::uint64_t> counter{0};
  const std::uint64_t salt = (GetTickCount64() * 0x9E3779B97F4A7C15u) ^
                             (std::uint64_t{GetCurrentProcessId()} << 32) ^
                             counter.fetch_add(1, std::memory_order_relaxed);
  wchar_t suffix[32];
  wsprintfW(suffix, L".%08x%08x.tmp", static_cast<unsigned>(salt >> 32),
            static_cast<unsigned>(salt));
  // Keep the name well inside the 255-character limit of the file systems.
  return L"." + target.filename().wstring().substr(0, 100) + suffix;
}

}  // namespace

Error LastFileSystemError(const std::filesystem::path& path) { return LastError(path); }

void RemoveFileForCleanup(const wchar_t* path) noexcept { DeleteFileW(path); }

InputFile::InputFile(const std::filesystem::path& path) : path_(path) {
  const std::wstring name = ExtendedLengthPath(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    // A name with wildcards, or otherwise not a valid name, names no file either.
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
        code == ERROR_INVALID_NAME || code == ERROR_BAD_NETPATH || code == ERROR_DIRECTORY) {
      throw SourceNotFoundError();
    }
    throw SystemError(code, path);
  }
  if ((attributes & kNotASource) != 0) throw SourceNotFoundError();

  // Others may read it meanwhile, or rename over it (in-place encryption replaces this very
  // file once it is closed), but not write it.
  const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw LastError(path);
  handle_ = FromHandle(file);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) {
    const DWORD code = GetLastError();
    CloseHandle(AsHandle(std::exchange(handle_, kNoHandle)));
    throw SystemError(code, path);
  }
  // The path may have been swapped for something else since it was looked at.
  if ((info.dwFileAttributes & kNotASource) != 0) {
    CloseHandle(AsHandle(std::exchange(handle_, kNoHandle)));
    throw SourceNotFoundError();
  }
  size_ = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  id_ = {info.dwVolumeSerialNumber,
         (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

InputFile::~InputFile() {
  if (handle_ != kNoHandle) CloseHandle(AsHandle(handle_));
}

void InputFile::ReadExactly(std::span<std::uint8_t> buffer) {
  std::uint8_t* at = buffer.data();
  std::size_t left = buffer.size();
  while (left > 0) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(left, kIoChunk));
    if (!ReadFile(AsHandle(handle_), at, want, &got, nullptr)) throw LastError(path_);
    if (got == 0) throw AccessError(path_, "the file became shorter while it was read");
    at += got;
    left -= got;
  }
}

void InputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  std::uint8_t* at = buffer.data();
  std::size_t left = buffer.size();
  while (left > 0) {
    // With an OVERLAPPED offset on a synchronous handle ReadFile reads from there; the file
    // position it moves is put back below, so that ReadExactly goes on where it was.
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    LARGE_INTEGER saved{};
    if (!SetFilePointerEx(AsHandle(handle_), LARGE_INTEGER{}, &saved, FILE_CURRENT)) {
      throw LastError(path_);
    }
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(left, kIoChunk));
    const BOOL read = ReadFile(AsHandle(handle_), at, want, &got, &where);
    const DWORD code = GetLastError();
    SetFilePointerEx(AsHandle(handle_), saved, nullptr, FILE_BEGIN);
    if (!read && code != ERROR_HANDLE_EOF) throw SystemError(code, path_);
    if (got == 0) throw AccessError(path_, "the file became shorter while it was read");
    at += got;
    offset += got;
    left -= got;
  }
}

void InputFile::Close() {
  const std::intptr_t handle = std::exchange(handle_, kNoHandle);
  if (handle != kNoHandle && !CloseHandle(AsHandle(handle))) throw LastError(path_);
}

// ---------------------------------------------------------------------------------------------

// The names the calls take (ExtendedLengthPath), beside the ones messages show.
struct AtomicFileWriter::PlatformState {
  std::wstring target;
  std::wstring temp;
};

// Windows has no links in the way the POSIX layer must guard against, so `source` is not
// needed here: the target is always the named file. The new file gets the folder's inherited
// access list, as any file the user creates there, or for kOwnerOnly a protected list that
// grants the user alone full access (the rename keeps it); the read-only check applies either
// way.
AtomicFileWriter::AtomicFileWriter(const std::filesystem::path& target, const InputFile*,
                                   NewFileAccess access)
    : target_(target), platform_(std::make_unique<PlatformState>()) {
  const std::filesystem::path name = target.filename();
  if (name.empty() || name == "." || name == "..") {
    throw AccessError(target, "not a file name");
  }
  folder_ = target.parent_path();
  if (folder_.empty()) folder_ = ".";

  platform_->target = ExtendedLengthPath(target);
  const DWORD attributes = GetFileAttributesW(platform_->target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND) throw SystemError(code, target);
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw AccessError(target, "it is a folder");
  } else if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    // Deleting a read-only file is refused on Windows, so replacing one is refused too.
    throw AccessError(target, "the file is read-only");
  }

  std::optional<OwnerOnlySecurity> owner_only;
  if (access == NewFileAccess::kOwnerOnly) {
    owner_only.emplace();
    if (owner_only->failure() != 0) throw SystemError(owner_only->failure(), target);
  }
  DWORD code = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < 100 && code == ERROR_FILE_EXISTS; ++attempt) {
    temp_path_ = folder_ / TemporaryName(target);
    platform_->temp = ExtendedLengthPath(temp_path_);
    pending_slot_ = ClaimPendingPath(platform_->temp);
    // Shared for deletion only, so that DiscardPendingTemporaryFiles can remove it while it
    // is open here.
    const HANDLE file = CreateFileW(platform_->temp.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE,
                                    owner_only ? owner_only->attributes() : nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = FromHandle(file);
      HoldPendingPath(pending_slot_);
      return;
    }
    code = GetLastError();
    ReleasePendingPath(std::exchange(pending_slot_, -1));
  }
  temp_path_.clear();
  throw SystemError(code, target);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (!committed_) Discard();
}

void AtomicFileWriter::Discard() noexcept {
  if (handle_ != kNoHandle) CloseHandle(AsHandle(std::exchange(handle_, kNoHandle)));
  if (!temp_path_.empty()) DeleteFileW(platform_->temp.c_str());
  ReleasePendingPath(std::exchange(pending_slot_, -1));
}

void AtomicFileWriter::Write(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* at = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(left, kIoChunk));
    if (!WriteFile(AsHandle(handle_), at, want, &put, nullptr)) throw LastError(target_);
    if (put == 0) throw SystemError(ERROR_DISK_FULL, target_);
    at += put;
    left -= put;
  }
}

void AtomicFileWriter::Commit() {
  if (!FlushFileBuffers(AsHandle(handle_))) throw LastError(target_);
  if (!CloseHandle(AsHandle(std::exchange(handle_, kNoHandle)))) throw LastError(target_);
  // WRITE_THROUGH: the call returns once the move itself is on disk.
  if (!MoveFileExW(platform_->temp.c_str(), platform_->target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw LastError(target_);
  }
  committed_ = true;
  ReleasePendingPath(std::exchange(pending_slot_, -1));
}

}  // namespace tolvane
