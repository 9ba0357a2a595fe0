#ifndef TOLVANE_PLATFORM_FILE_SYSTEM_H_
#define TOLVANE_PLATFORM_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "tolvane/errors/error.h"

namespace tolvane {

// An open file as the platform names it: -1 is neither a valid file descriptor nor a valid
// Windows HANDLE (INVALID_HANDLE_VALUE).
inline constexpr std::intptr_t kNoHandle = -1;

// Whole-file reading and crash-safe replacement of files, with failures turned into
// tolvane::Error values that name the path and the operating system's reason: 53 "File not
// found", 70 "Permission denied", 61 "Disk full" or 75 "Path/File access error".
// file_system_posix.cc works with POSIX calls, file_system_win.cc with Win32 handles.

// A regular file opened for reading. Closed on destruction if Close was not called.
class InputFile {
 public:
  // Opens `path` if it names a regular file (a symbolic link to one counts). Throws
  // -2147218102 "Source file is not found" when it names nothing, a folder or any other kind
  // of file (on Windows also a file marked hidden or system, as a directory search that asks
  // for no special attributes skips those), and a file system error for other failures.
  explicit InputFile(const std::filesystem::path& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // The length the file system reported when the file was opened.
  std::uint64_t size() const noexcept { return size_; }
  // Fills `buffer` with the next bytes of the file. Throws FileSystemError, or 75 when the
  // file ends before the buffer is full (it shrank after it was opened).
  void ReadExactly(std::span<std::uint8_t> buffer);
  // Closes the file; throws FileSystemError when that fails.
  void Close();

 private:
  std::filesystem::path path_;
  std::intptr_t handle_ = kNoHandle;  // a file descriptor, or a Windows HANDLE
  std::uint64_t size_ = 0;
};

// Writes a new version of a file without ever leaving it half written.
//
// The content goes to a temporary file in the target's folder (created exclusively, readable
// and writable by the owner only); Commit flushes it to disk and renames it over the target,
// then flushes the folder. If anything fails, or Commit is never reached, the temporary file
// is removed and the target stays exactly as it was.
//
// On POSIX the replaced target keeps the permission bits (and, where the process may set them,
// the owner and group) of the regular file it replaces; a new target gets 0666 less the umask,
// as any newly created file. A target that is a symbolic link is itself replaced by a regular
// file; the file the link pointed to is not touched. On Windows a read-only target is refused
// (75), as deleting it would be, and the new file replaces the old with MoveFileExW.
class AtomicFileWriter {
 public:
  // Creates the temporary file. Throws FileSystemError.
  explicit AtomicFileWriter(const std::filesystem::path& target);
  // Removes the temporary file unless Commit succeeded.
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Appends bytes. Throws FileSystemError.
  void Write(std::span<const std::uint8_t> bytes);
  // Appends `count` zero bytes.
  void WriteZeros(std::uint64_t count);
  // Puts the written content in place of the target. Throws FileSystemError; once it has
  // thrown, the target is as it was before, unless the failure came after the rename (the
  // folder could not be flushed), which the message says.
  void Commit();

  const std::filesystem::path& temporary_path() const noexcept { return temp_path_; }

 private:
  void Discard() noexcept;

  std::filesystem::path target_;
  std::filesystem::path folder_;
  std::filesystem::path temp_path_;
  std::intptr_t handle_ = kNoHandle;  // a file descriptor, or a Windows HANDLE
  // What the new content takes over from the POSIX file it replaces.
  std::uint32_t mode_ = 0;
  bool keep_owner_ = false;
  std::uint32_t owner_ = 0;
  std::uint32_t group_ = 0;
  bool committed_ = false;
};

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_FILE_SYSTEM_H_
