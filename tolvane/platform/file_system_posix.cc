#include "tolvane/platform/file_system_posix.h"
#include "tolvane/platform/file_system.h"
#include "tolvane/platform/file_system_calls_posix.h"
#include "tolvane/platform/file_system_shared.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvane {
namespace {

// Reads and writes go in blocks this large: the per-call overhead vanishes, and no single call
// runs into the kernel's limit of just under 2 GiB per transfer.
constexpr std::size_t kIoChunk = std::size_t{8} << 20;
// How much AtomicFileWriter lets pile up before it starts writing it back.
constexpr std::uint64_t kWritebackBytes = std::uint64_t{8} << 20;

int OpenCall(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int StatCall(const char* path, struct stat* info) { return ::stat(path, info); }
int LstatCall(const char* path, struct stat* info) { return ::lstat(path, info); }
int FstatCall(int fd, struct stat* info) { return ::fstat(fd, info); }
// Linux only; elsewhere writeback waits for Commit's fsync.
int StartWritebackCall(int fd, off_t offset, off_t length) {
#ifdef SYNC_FILE_RANGE_WRITE
  return ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)fd, (void)offset, (void)length;
  return 0;
#endif
}
char* RealpathCall(const char* path, char* resolved) { return ::realpath(path, resolved); }

// Reads the mask from /proc: umask(2) can only report it by changing it, which would race
// with files created meanwhile by other threads. Without /proc, assume the strictest mask.
mode_t UmaskCall() {
  mode_t mask = 077;
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      unsigned value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value & 0777);
        break;
      }
    }
    std::fclose(status);
  }
  return mask;
}

constexpr FileSystemCalls kDefaultCalls = {
    .open = OpenCall,
    .close = ::close,
    .read = ::read,
    .pread = ::pread,
    .write = ::write,
    .fsync = ::fsync,
    .start_writeback = StartWritebackCall,
    .fstat = FstatCall,
    .stat = StatCall,
    .lstat = LstatCall,
    .fchmod = ::fchmod,
    .fchown = ::fchown,
    .rename = ::rename,
    .unlink = ::unlink,
    .linkat = ::linkat,
    .faccessat = ::faccessat,
    .realpath = RealpathCall,
    .umask = UmaskCall,
    .getxattr = ::getxattr,
    .fsetxattr = ::fsetxattr,
};

FileSystemCalls g_calls = kDefaultCalls;

const FileSystemCalls& Sys() noexcept { return g_calls; }

// A name for the temporary file that nobody else is likely to pick; O_EXCL makes it safe
// whatever the odds.
std::string TemporaryName(const std::filesystem::path& target) {
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t salt = 0;
  if (getrandom(&salt, sizeof salt, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof salt)) {
    salt = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) *
               0x9E3779B97F4A7C15u ^
           static_cast<std::uint64_t>(getpid());
  }
  salt += counter.fetch_add(1, std::memory_order_relaxed);
  // Keep the name well inside the 255-byte limit of most file systems.
  std::string stem = target.filename().string().substr(0, 100);
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(salt));
  return "." + stem + suffix;
}

// The canonical path of `path`, all links resolved.
std::filesystem::path Resolved(const std::filesystem::path& path) {
  char* const resolved = Sys().realpath(path.c_str(), nullptr);
  if (resolved == nullptr) throw FileSystemError(errno, path);
  std::filesystem::path result(resolved);
  std::free(resolved);
  return result;
}

// Refuses a file that may not be written; replacing it by a rename would need only the folder
// to be writable, and would silently overturn the owner's choice.
void CheckWritable(const std::filesystem::path& path, const struct stat& info) {
  if ((info.st_mode & 0222) == 0) throw AccessError(path, "the file is read-only");
  if (Sys().faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
    if (errno == EACCES || errno == EPERM || errno == EROFS) {
      throw AccessError(path, std::strerror(errno));
    }
    throw FileSystemError(errno, path);
  }
}

// File systems without Unix permissions refuse fchmod; the file then keeps the owner-only
// mode it was created with, which exposes nothing.
bool PermissionsUnsupported(int error_number) {
  return error_number == EPERM || error_number == ENOTSUP || error_number == EOPNOTSUPP;
}

// The access ACL, where a file has one beyond its permission bits.
constexpr const char* kAccessAcl = "system.posix_acl_access";

// The access ACL of `path` as the kernel stores it; empty when it has none (or the file system
// has no ACLs).
std::vector<char> AccessAcl(const std::filesystem::path& path) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    const ssize_t size = Sys().getxattr(path.c_str(), kAccessAcl, nullptr, 0);
    if (size <= 0) return {};
    std::vector<char> acl(static_cast<std::size_t>(size));
    const ssize_t got = Sys().getxattr(path.c_str(), kAccessAcl, acl.data(), acl.size());
    if (got >= 0) {
      acl.resize(static_cast<std::size_t>(got));
      return acl;
    }
    if (errno != ERANGE) return {};  // ERANGE: it grew meanwhile
  }
  return {};
}

// The header keeps descriptors in a platform-neutral integer.
int Fd(std::intptr_t handle) noexcept { return static_cast<int>(handle); }

// Gives the unnamed temporary file open as `fd` a hidden name beside `target`, into
// `temp_path`, claiming a slot of the pending table for it.
void LinkTemporary(int fd, const std::filesystem::path& folder, const std::filesystem::path& target,
                   std::filesystem::path& temp_path, int& pending_slot) {
  // By its /proc link: linkat with AT_EMPTY_PATH would need CAP_DAC_READ_SEARCH.
  char by_proc[64];
  std::snprintf(by_proc, sizeof by_proc, "/proc/self/fd/%d", fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_path = folder / TemporaryName(target);
    pending_slot = ClaimPendingPath(temp_path);
    if (Sys().linkat(AT_FDCWD, by_proc, AT_FDCWD, temp_path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      HoldPendingPath(pending_slot);
      return;
    }
    const int error_number = errno;
    ReleasePendingPath(std::exchange(pending_slot, -1));
    temp_path.clear();
    if (error_number != EEXIST) throw FileSystemError(error_number, target);
  }
  throw FileSystemError(EEXIST, target);
}

}  // namespace

int OpenUnnamedFile(const std::filesystem::path& folder, int access,
                    const std::filesystem::path& named) {
  const int fd = Sys().open(folder.c_str(), O_TMPFILE | access | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  // open(2) with O_TMPFILE fails so where the kernel or the file system lacks it.
  if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return -1;
  throw FileSystemError(errno, named);
}

const FileSystemCalls& DefaultFileSystemCalls() noexcept { return kDefaultCalls; }
const FileSystemCalls& CurrentFileSystemCalls() noexcept { return g_calls; }

FileSystemCalls SetFileSystemCalls(const FileSystemCalls& calls) noexcept {
  const FileSystemCalls previous = g_calls;
  g_calls = calls;
  return previous;
}

Error LastFileSystemError(const std::filesystem::path& path) {
  return FileSystemError(errno, path);
}

// unlink(2) is async-signal-safe; the call table is not consulted, a test may be swapping it.
void RemoveFileForCleanup(const char* path) noexcept { ::unlink(path); }

// ---------------------------------------------------------------------------------------------

InputFile::InputFile(const std::filesystem::path& path) : path_(path) {
  // Look before opening: opening a FIFO or a device could block or have side effects.
  struct stat info {};
  if (Sys().stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) throw SourceNotFoundError();
    throw FileSystemError(errno, path);
  }
  if (!S_ISREG(info.st_mode)) throw SourceNotFoundError();

  handle_ = Sys().open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0);
  if (handle_ < 0) throw FileSystemError(errno, path);
  // The path may have been swapped for something else since it was looked at.
  if (Sys().fstat(Fd(handle_), &info) != 0) {
    const int error_number = errno;
    Sys().close(Fd(std::exchange(handle_, kNoHandle)));
    throw FileSystemError(error_number, path);
  }
  if (!S_ISREG(info.st_mode)) {
    Sys().close(Fd(std::exchange(handle_, kNoHandle)));
    throw SourceNotFoundError();
  }
  size_ = static_cast<std::uint64_t>(info.st_size);
  id_ = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

InputFile::~InputFile() {
  if (handle_ >= 0) Sys().close(Fd(handle_));
}

void InputFile::ReadExactly(std::span<std::uint8_t> buffer) {
  std::uint8_t* at = buffer.data();
  std::size_t left = buffer.size();
  while (left > 0) {
    const ssize_t got = Sys().read(Fd(handle_), at, std::min(left, kIoChunk));
    if (got < 0) {
      if (errno == EINTR) continue;
      throw FileSystemError(errno, path_);
    }
    if (got == 0) throw AccessError(path_, "the file became shorter while it was read");
    at += got;
    left -= static_cast<std::size_t>(got);
  }
}

void InputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  std::uint8_t* at = buffer.data();
  std::size_t left = buffer.size();
  while (left > 0) {
    const ssize_t got =
        Sys().pread(Fd(handle_), at, std::min(left, kIoChunk), static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      throw FileSystemError(errno, path_);
    }
    if (got == 0) throw AccessError(path_, "the file became shorter while it was read");
    at += got;
    offset += static_cast<std::uint64_t>(got);
    left -= static_cast<std::size_t>(got);
  }
}

void InputFile::Close() {
  const int fd = Fd(std::exchange(handle_, kNoHandle));
  if (fd >= 0 && Sys().close(fd) != 0) throw FileSystemError(errno, path_);
}

// ---------------------------------------------------------------------------------------------

// The permission bits and group the new file gets, and what was handed to the disk early.
struct AtomicFileWriter::PlatformState {
  bool unnamed = false;  // an O_TMPFILE file, named only in Commit
  mode_t mode = 0;
  bool keep_group = false;
  gid_t group = 0;
  // The replaced file's access ACL, given to the new content too.
  std::vector<char> acl;
  std::uint64_t written = 0;
  std::uint64_t written_back = 0;
};

AtomicFileWriter::AtomicFileWriter(const std::filesystem::path& target, const InputFile* source,
                                   NewFileAccess access)
    : target_(target), platform_(std::make_unique<PlatformState>()) {
  PlatformState& state = *platform_;
  const std::filesystem::path name = target.filename();
  if (name.empty() || name == "." || name == "..") throw FileSystemError(EISDIR, target);

  // lstat, not stat: a symbolic link is replaced itself, never written through, unless it
  // names the source.
  struct stat info {};
  if (Sys().lstat(target.c_str(), &info) != 0) {
    if (errno != ENOENT) throw FileSystemError(errno, target);
    info.st_mode = 0;
  }
  struct stat pointed {};
  if (S_ISLNK(info.st_mode) && source != nullptr && Sys().stat(target.c_str(), &pointed) == 0 &&
      S_ISREG(pointed.st_mode) &&
      source->id() == FileId{static_cast<std::uint64_t>(pointed.st_dev),
                             static_cast<std::uint64_t>(pointed.st_ino)}) {
    target_ = Resolved(target);
    info = pointed;
  }
  folder_ = target_.parent_path();
  if (folder_.empty()) folder_ = ".";

  if (S_ISDIR(info.st_mode)) throw FileSystemError(EISDIR, target_);
  // Renaming over a device, pipe or socket would put a regular file in its place (as root,
  // even /dev/null) and report success for data the device never received.
  if (info.st_mode != 0 && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
    throw AccessError(target_, "not a regular file");
  }
  state.mode = 0666 & ~Sys().umask();
  if (S_ISREG(info.st_mode)) {
    CheckWritable(target_, info);
    if (info.st_uid == geteuid()) {
      state.mode = info.st_mode & 0777;  // set-id bits are not carried over to new content
      state.keep_group = true;
      state.group = info.st_gid;
      // With an ACL, the group bits are its mask: without the ACL they would grant the file's
      // group what only the named users and groups had.
      if (access == NewFileAccess::kAsReplaced) state.acl = AccessAcl(target_);
    }
  }
  if (access == NewFileAccess::kOwnerOnly) state.mode = 0600;

  // An unnamed file is named later through its /proc link, which needs no privilege; without
  // /proc the named file is used from the start.
  if (Sys().faccessat(AT_FDCWD, "/proc/self/fd", X_OK, 0) == 0) {
    handle_ = OpenUnnamedFile(folder_, O_WRONLY, target_);
    if (handle_ >= 0) {
      state.unnamed = true;
      return;
    }
  }

  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_path_ = folder_ / TemporaryName(target_);
    pending_slot_ = ClaimPendingPath(temp_path_);
    handle_ =
        Sys().open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (handle_ >= 0) {
      HoldPendingPath(pending_slot_);
      return;
    }
    const int error_number = errno;
    ReleasePendingPath(std::exchange(pending_slot_, -1));
    if (error_number != EEXIST) {
      temp_path_.clear();
      throw FileSystemError(error_number, target_);
    }
  }
  temp_path_.clear();
  throw FileSystemError(EEXIST, target_);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (!committed_) Discard();
}

void AtomicFileWriter::Discard() noexcept {
  if (handle_ >= 0) Sys().close(Fd(std::exchange(handle_, kNoHandle)));
  if (!temp_path_.empty()) Sys().unlink(temp_path_.c_str());
  ReleasePendingPath(std::exchange(pending_slot_, -1));
}

void AtomicFileWriter::Write(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* at = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t put = Sys().write(Fd(handle_), at, std::min(left, kIoChunk));
    if (put < 0) {
      if (errno == EINTR) continue;
      throw FileSystemError(errno, target_);
    }
    if (put == 0) throw FileSystemError(ENOSPC, target_);
    at += put;
    left -= static_cast<std::size_t>(put);
    platform_->written += static_cast<std::uint64_t>(put);
  }
  // Hands what is written to the disk while the caller produces the rest, so that Commit's
  // fsync finds little left to wait for. Only a hint: a file system that cannot do it still
  // gets everything written by that fsync, which reports any error, so failure is ignored.
  PlatformState& state = *platform_;
  if (state.written - state.written_back >= kWritebackBytes) {
    (void)Sys().start_writeback(Fd(handle_), static_cast<off_t>(state.written_back),
                                static_cast<off_t>(state.written - state.written_back));
    state.written_back = state.written;
  }
}

void AtomicFileWriter::Commit() {
  // The group first: changing it may clear permission bits set before. An owner who is not
  // in the file's group cannot keep it, and the group's bits would then apply to another.
  const PlatformState& state = *platform_;
  mode_t mode = state.mode;
  struct stat info {};
  if (state.keep_group && Sys().fstat(Fd(handle_), &info) == 0 && info.st_gid != state.group &&
      Sys().fchown(Fd(handle_), static_cast<uid_t>(-1), state.group) != 0) {
    mode &= ~mode_t{070};
  }
  if (Sys().fchmod(Fd(handle_), mode) != 0 && !PermissionsUnsupported(errno)) {
    throw FileSystemError(errno, target_);
  }
  // The ACL last, as it sets the group bits (its mask) itself. Where it cannot be set, the
  // group gets nothing rather than the mask: never more than the replaced file granted.
  if (!state.acl.empty() &&
      Sys().fsetxattr(Fd(handle_), kAccessAcl, state.acl.data(), state.acl.size(), 0) != 0 &&
      Sys().fchmod(Fd(handle_), mode & ~mode_t{070}) != 0 && !PermissionsUnsupported(errno)) {
    throw FileSystemError(errno, target_);
  }
  if (Sys().fsync(Fd(handle_)) != 0) throw FileSystemError(errno, target_);
  // Named only now that it is complete: a process killed before this leaves nothing.
  if (state.unnamed) LinkTemporary(Fd(handle_), folder_, target_, temp_path_, pending_slot_);
  // Some file systems report deferred write errors only when the file is closed.
  if (Sys().close(Fd(std::exchange(handle_, kNoHandle))) != 0)
    throw FileSystemError(errno, target_);
  if (Sys().rename(temp_path_.c_str(), target_.c_str()) != 0) {
    throw FileSystemError(errno, target_);
  }
  committed_ = true;
  ReleasePendingPath(std::exchange(pending_slot_, -1));

  // Make the rename itself durable. The new content is already in place whatever happens.
  int error_number = 0;
  const int dir = Sys().open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (dir < 0) {
    error_number = errno;
  } else {
    if (Sys().fsync(dir) != 0) error_number = errno;
    Sys().close(dir);
  }
  // Some file systems cannot flush a folder at all; that is no failure of this write.
  if (error_number != 0 && error_number != EINVAL && error_number != ENOTSUP) {
    const Error error = FileSystemError(error_number, folder_);
    throw Error(error.number(), error.description() +
                                    " (the file was replaced, but its new content may not "
                                    "survive a power loss)");
  }
}

}  // namespace tolvane
