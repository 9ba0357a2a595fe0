// What both file layers share: the error numbers and texts of file failures (which the
// settings file uses too), and the table of temporary files a signal handler removes.

#include <cerrno>
#include <cstring>
#include <string>

#include "tolvane/platform/file_system.h"
#include "tolvane/platform/file_system_shared.h"
#include "tolvane/platform/pending_paths.h"

namespace tolvane {
namespace {

// Paths in messages are UTF-8 whatever the platform's narrow encoding (on Windows the ANSI
// code page, which may not hold the name).
std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// Never destroyed: a handler may walk the table while the process exits.
union PendingTable {
  constexpr PendingTable() : paths() {}
  ~PendingTable() {}
  PendingPaths<std::filesystem::path::value_type> paths;
};
constinit PendingTable g_pending;

}  // namespace

FileFailure FileFailureOf(int error_number) noexcept {
  switch (error_number) {
    case ENOENT:
      return FileFailure::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
      return FileFailure::kDenied;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
      return FileFailure::kFull;
    default:
      return FileFailure::kOther;
  }
}

std::int32_t FileFailureNumber(FileFailure kind) noexcept {
  switch (kind) {
    case FileFailure::kNotFound:
      return kErrFileNotFound;
    case FileFailure::kDenied:
      return kErrPermissionDenied;
    case FileFailure::kFull:
      return kErrDiskFull;
    case FileFailure::kOther:
      break;
  }
  return kErrPathAccess;
}

Error FileFailureError(FileFailure kind, const std::filesystem::path& path,
                       std::string_view reason) {
  const char* text = "Path/File access error";
  switch (kind) {
    case FileFailure::kNotFound:
      text = "File not found";
      break;
    case FileFailure::kDenied:
      text = "Permission denied";
      break;
    case FileFailure::kFull:
      text = "Disk full";
      break;
    case FileFailure::kOther:
      break;
  }
  std::string description = text;
  description += ": '";
  description += Utf8(path);
  description += "': ";
  description += reason;
  return Error(FileFailureNumber(kind), std::move(description));
}

Error FileSystemError(int error_number, const std::filesystem::path& path) {
  return FileFailureError(FileFailureOf(error_number), path, std::strerror(error_number));
}

Error SourceNotFoundError() { return Error(kErrNotFound, "Source file is not found"); }

Error AccessError(const std::filesystem::path& path, std::string_view reason) {
  return Error(kErrPathAccess,
               "Path/File access error: '" + Utf8(path) + "': " + std::string(reason));
}

int ClaimPendingPath(const std::filesystem::path& path) noexcept {
  return g_pending.paths.Claim(path.native());
}
void HoldPendingPath(int slot) noexcept { g_pending.paths.Hold(slot); }
void ReleasePendingPath(int slot) noexcept { g_pending.paths.Release(slot); }

void DiscardPendingTemporaryFiles() noexcept {
  // Should another thread reuse a slot meanwhile, the path read may mix two temporary names,
  // which names no file.
  g_pending.paths.ForEachHeld(RemoveFileForCleanup);
}

}  // namespace tolvane
