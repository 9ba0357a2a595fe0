#ifndef TOLVANE_PLATFORM_FILE_SYSTEM_SHARED_H_
#define TOLVANE_PLATFORM_FILE_SYSTEM_SHARED_H_

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "tolvane/base/error.h"

namespace tolvane {

// What the two file layers (file_system_posix.cc, file_system_win.cc) share, written once in
// file_system.cc, and the one mapping of errno values to error numbers, which the layers above
// use too (the settings file). Not an installed header.

// The kinds of failure a caller can act on, whatever the platform's own code was.
enum class FileFailure { kNotFound, kDenied, kFull, kOther };

// The kind of failure an errno value stands for: ENOENT not found; EACCES, EPERM, EROFS and
// ETXTBSY denied; ENOSPC, EDQUOT and EFBIG full; anything else other.
FileFailure FileFailureOf(int error_number) noexcept;
// 53 "File not found", 70 "Permission denied", 61 "Disk full" or 75 "Path/File access error".
std::int32_t FileFailureNumber(FileFailure kind) noexcept;

// 53 "File not found", 70 "Permission denied", 61 "Disk full" or 75 "Path/File access error"
// by kind, then the path and the system's reason: "Disk full: '/x': No space left on device".
Error FileFailureError(FileFailure kind, const std::filesystem::path& path,
                       std::string_view reason);
// -2147218102 "Source file is not found".
Error SourceNotFoundError();
// 75 "Path/File access error: '<path>': <reason>", for refusals of our own.
Error AccessError(const std::filesystem::path& path, std::string_view reason);

// The table of named temporary files that DiscardPendingTemporaryFiles removes. Claim a slot
// for a path before creating the file (-1 only when memory runs out: the file is then not
// removed by a handler), Hold it once the exclusive create succeeded, Release it when the file
// is gone or renamed. On Windows the path is the form the handler's DeleteFileW takes.
int ClaimPendingPath(const std::filesystem::path& path) noexcept;
void HoldPendingPath(int slot) noexcept;
void ReleasePendingPath(int slot) noexcept;

// Removes a file by name, from a signal or console control handler: async-signal-safe.
// Each platform file defines it.
void RemoveFileForCleanup(const std::filesystem::path::value_type* path) noexcept;

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_FILE_SYSTEM_SHARED_H_
