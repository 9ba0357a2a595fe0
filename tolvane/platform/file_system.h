#ifndef TOLVANE_PLATFORM_FILE_SYSTEM_H_
#define TOLVANE_PLATFORM_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "tolvane/base/byte_stream.h"
#include "tolvane/base/error.h"

namespace tolvane {

// Whole-file reading and crash-safe replacement of files, with failures turned into
// tolvane::Error values that name the path and the operating system's reason: 53 "File not
// found", 70 "Permission denied", 61 "Disk full" or 75 "Path/File access error".
// file_system_posix.cc works with POSIX calls, file_system_win.cc with Win32 handles.

// An open file as the platform names it: -1 is neither a valid file descriptor nor a valid
// Windows HANDLE (INVALID_HANDLE_VALUE).
inline constexpr std::intptr_t kNoHandle = -1;
//
// Installed with the core: programs write files through AtomicFileWriter as the library does,
// and a signal handler of theirs may call DiscardPendingTemporaryFiles to remove the temporary
// files that the library's file methods have in progress (tolvane-crypt does both).

// The error for a failed C library call on `path`: 53 "File not found", 70 "Permission
// denied", 61 "Disk full" or 75 "Path/File access error" by errno, with the path and
// strerror(errno) after the text. The same mapping on every platform.
Error FileSystemError(int error_number, const std::filesystem::path& path);
// The same for the last failed system call on `path`: errno on POSIX, GetLastError() on
// Windows.
Error LastFileSystemError(const std::filesystem::path& path);

// Which file a handle has open, for telling whether two names reach the same file: the
// volume and the file's number on it (a device and an inode, or a volume serial number and a
// file index).
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  friend bool operator==(const FileId&, const FileId&) = default;
};

// What a file written by AtomicFileWriter may be read by.
enum class NewFileAccess {
  // As the file it replaces, or as any new file in its folder.
  kAsReplaced,
  // Its owner only, whatever the replaced file allowed: for content that must stay private
  // (key material) even where an older file was readable by others.
  kOwnerOnly,
};

// A regular file opened for reading. Closed on destruction if Close was not called.
class InputFile final : public ByteSource {
 public:
  // Opens `path` if it names a regular file (a symbolic link to one counts). Throws
  // -2147218102 "Source file is not found" when it names nothing, a folder or any other kind
  // of file (on Windows also a file marked hidden or system, as a directory search that asks
  // for no special attributes skips those), and a file system error for other failures.
  explicit InputFile(const std::filesystem::path& path);
  ~InputFile();
  // The same on every platform: the handle moves, and the moved-from file closes nothing.
  InputFile(InputFile&& other) noexcept
      : path_(std::move(other.path_)),
        handle_(std::exchange(other.handle_, kNoHandle)),
        size_(other.size_),
        id_(other.id_) {}
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // The length the file system reported when the file was opened.
  std::uint64_t size() const noexcept override { return size_; }
  // Which file is open here.
  const FileId& id() const noexcept { return id_; }
  // Fills `buffer` with the next bytes of the file. Throws FileSystemError, or 75 when the
  // file ends before the buffer is full (it shrank after it was opened).
  void ReadExactly(std::span<std::uint8_t> buffer) override;
  // Fills `buffer` from `offset` on, without moving the position ReadExactly reads from.
  // Throws as ReadExactly does.
  void ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override;
  // Closes the file; throws FileSystemError when that fails.
  void Close();

 private:
  std::filesystem::path path_;
  std::intptr_t handle_ = kNoHandle;  // a file descriptor, or a Windows HANDLE
  std::uint64_t size_ = 0;
  FileId id_;
};

// Writes a new version of a file without ever leaving it half written, and without leaving
// anything behind.
//
// The content goes to a temporary file in the target's folder, readable and writable by the
// owner only. Where the file system allows it, that file has no name (O_TMPFILE) until Commit
// has flushed it: it is then linked in under a hidden name and at once renamed over the
// target, so even a process killed outright leaves no temporary file. Elsewhere it is created
// under the hidden name from the start (exclusively), and removed on any failure, on
// destruction, or by DiscardPendingTemporaryFiles from a signal handler. After the rename the
// folder is flushed. If anything fails, or Commit is never reached, the target stays exactly
// as it was.
//
// What is replaced, and how:
// - A target that has no write permission bit set, or that the process may not write, is
//   refused with 75 "Path/File access error", as the platform's delete refuses a read-only
//   file even to an administrator.
// - A replaced regular file that belongs to the process's user keeps its permission bits (not
//   its set-id bits) and, where the process may set it, its group; otherwise the group bits are
//   dropped. A target that belongs to another user is replaced as a new file is: 0666 less the
//   umask, owned by the process, so that its former owner cannot read the new content.
// - A target that is a symbolic link is itself replaced by a regular file; what it points to is
//   not touched. The exception is a link to the file `source` reads (in place through a link):
//   then the file the link names is replaced and the link stays, so that no copy of the old
//   content remains beside the new one.
// - A target that is a device, pipe or socket is refused with 75: it is not a file to replace.
// - On Windows the read-only attribute stands for the missing write permission, the temporary
//   file always has its hidden name, and MoveFileExW (write-through) puts it in place.
class AtomicFileWriter final : public ByteSink {
 public:
  // Creates the temporary file. Throws FileSystemError or the read-only error above.
  explicit AtomicFileWriter(const std::filesystem::path& target, const InputFile* source = nullptr,
                            NewFileAccess access = NewFileAccess::kAsReplaced);
  // Removes the temporary file unless Commit succeeded.
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Appends bytes. Throws FileSystemError.
  void Write(std::span<const std::uint8_t> bytes) override;
  // Puts the written content in place of the target. Throws FileSystemError; once it has
  // thrown, the target is as it was before, unless the failure came after the rename (the
  // folder could not be flushed), which the message says.
  void Commit();

  // The file that Commit replaces: the target, or the file a link to the source names.
  const std::filesystem::path& target() const noexcept { return target_; }
  // The temporary file's name while it has one; empty while it has none.
  const std::filesystem::path& temporary_path() const noexcept { return temp_path_; }

 private:
  // What only one platform's writer keeps (file_system_posix.cc, file_system_win.cc).
  struct PlatformState;

  void Discard() noexcept;

  std::filesystem::path target_;
  std::filesystem::path folder_;
  std::filesystem::path temp_path_;
  std::intptr_t handle_ = kNoHandle;  // a file descriptor, or a Windows HANDLE
  bool committed_ = false;
  int pending_slot_ = -1;  // in the table DiscardPendingTemporaryFiles walks
  std::unique_ptr<PlatformState> platform_;
};

// Removes every named temporary file that an AtomicFileWriter of this process holds right now, for
// a signal handler that then ends the process: async-signal-safe, no locks, no allocation.
// The writers themselves are left as they are; the process must not go on using them. Every
// writer is covered, however long its path and however many are open: the memory the table
// needs is taken when a writer starts, never in the handler.
void DiscardPendingTemporaryFiles() noexcept;

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_FILE_SYSTEM_H_
