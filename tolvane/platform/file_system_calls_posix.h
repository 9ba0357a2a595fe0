#ifndef TOLVANE_PLATFORM_FILE_SYSTEM_CALLS_POSIX_H_
#define TOLVANE_PLATFORM_FILE_SYSTEM_CALLS_POSIX_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <filesystem>

#include "tolvane/base/error.h"

namespace tolvane {

// The table of system calls the POSIX file layer (file_system_posix.cc) makes.
//
// Every system call made there goes through this one table of function pointers, so that a
// test can make any single step fail (SetFileSystemCalls; tests/support/file_system_testing.h
// has a scoped form). The defaults
// call the C library by name, so an LD_PRELOAD shim that wraps open, read, write, fsync, close,
// rename or linkat works as well.
struct FileSystemCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* buffer, std::size_t size);
  ssize_t (*pread)(int fd, void* buffer, std::size_t size, off_t offset);
  ssize_t (*write)(int fd, const void* buffer, std::size_t size);
  int (*fsync)(int fd);
  // Starts writing a range back to the disk without waiting for it; 0 or -1 as the others.
  int (*start_writeback)(int fd, off_t offset, off_t length);
  int (*fstat)(int fd, struct stat* info);
  int (*stat)(const char* path, struct stat* info);
  int (*lstat)(const char* path, struct stat* info);
  int (*fchmod)(int fd, mode_t mode);
  int (*fchown)(int fd, uid_t owner, gid_t group);
  int (*rename)(const char* from, const char* to);
  int (*unlink)(const char* path);
  int (*linkat)(int from_dir, const char* from, int to_dir, const char* to, int flags);
  int (*faccessat)(int dir, const char* path, int mode, int flags);
  // As realpath(3) with a null buffer: the result is malloc'ed, to be freed by the caller.
  char* (*realpath)(const char* path, char* resolved);
  // The process's file-creation mask, read without changing it.
  mode_t (*umask)();
  // Extended attributes, for the access ACL a replaced file keeps.
  ssize_t (*getxattr)(const char* path, const char* name, void* value, std::size_t size);
  int (*fsetxattr)(int fd, const char* name, const void* value, std::size_t size, int flags);
};

// The table the C library functions fill.
const FileSystemCalls& DefaultFileSystemCalls() noexcept;
// The table in use.
const FileSystemCalls& CurrentFileSystemCalls() noexcept;
// Installs `calls` and returns the table it replaces. Not to be called while another thread
// works with files through this module.
FileSystemCalls SetFileSystemCalls(const FileSystemCalls& calls) noexcept;

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_FILE_SYSTEM_CALLS_POSIX_H_
