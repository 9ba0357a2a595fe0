#ifndef TOLVANE_PLATFORM_FILE_SYSTEM_H_
#define TOLVANE_PLATFORM_FILE_SYSTEM_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "tolvane/errors/error.h"

namespace tolvane {

// Whole-file reading and crash-safe replacement of files, with failures turned into
// tolvane::Error values that name the path and the operating system's reason.
//
// Every system call made here goes through one table of function pointers, so that a test
// can make any single step fail (SetFileSystemCalls, or ScopedFileSystemCalls in
// file_system_testing.h). The defaults call the C library by name, so an LD_PRELOAD shim
// that wraps open, read, write, fsync, close or rename works as well.
struct FileSystemCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* buffer, std::size_t size);
  ssize_t (*write)(int fd, const void* buffer, std::size_t size);
  int (*fsync)(int fd);
  int (*fstat)(int fd, struct stat* info);
  int (*stat)(const char* path, struct stat* info);
  int (*lstat)(const char* path, struct stat* info);
  int (*fchmod)(int fd, mode_t mode);
  int (*fchown)(int fd, uid_t owner, gid_t group);
  int (*rename)(const char* from, const char* to);
  int (*unlink)(const char* path);
  // The process's file-creation mask, read without changing it.
  mode_t (*umask)();
};

// The table the C library functions fill.
const FileSystemCalls& DefaultFileSystemCalls() noexcept;
// The table in use.
const FileSystemCalls& CurrentFileSystemCalls() noexcept;
// Installs `calls` and returns the table it replaces. Not to be called while another thread
// works with files through this module.
FileSystemCalls SetFileSystemCalls(const FileSystemCalls& calls) noexcept;

// The error for a failed system call on `path`: 53 "File not found", 70 "Permission
// denied", 61 "Disk full" or 75 "Path/File access error" by errno, with the path and
// strerror(errno) after the text.
Error FileSystemError(int error_number, const std::filesystem::path& path);

// A regular file opened for reading. Closed on destruction if Close was not called.
class InputFile {
 public:
  // Opens `path` if it names a regular file (a symbolic link to one counts). Throws
  // -2147218102 "Source file is not found" when it names nothing, a folder or any other kind
  // of file, and FileSystemError for other failures.
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
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Writes a new version of a file without ever leaving it half written.
//
// The content goes to a temporary file in the target's folder (created exclusively, readable
// and writable by the owner only); Commit flushes it to disk and renames it over the target,
// then flushes the folder. If anything fails, or Commit is never reached, the temporary file
// is removed and the target stays exactly as it was.
//
// The replaced target keeps the permission bits (and, where the process may set them, the
// owner and group) of the regular file it replaces; a new target gets 0666 less the umask, as
// any newly created file. A target that is a symbolic link is itself replaced by a regular
// file; the file the link pointed to is not touched.
class AtomicFileWriter {
 public:
  // Creates the temporary file. Throws FileSystemError.
  explicit AtomicFileWriter(const std::filesystem::path& target);
  // As above, but the new content gets exactly the permission bits `mode`, whatever the target
  // had: for content that must stay private (0600) even where an older file was readable.
  AtomicFileWriter(const std::filesystem::path& target, mode_t mode);
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
  int fd_ = -1;
  mode_t mode_ = 0;
  bool keep_owner_ = false;
  uid_t owner_ = 0;
  gid_t group_ = 0;
  bool committed_ = false;
};

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_FILE_SYSTEM_H_
