#include "tools/crypt/stream_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tolvane/base/error.h"
#include "tolvane/base/wipe.h"
#include "tolvane/platform/file_system.h"
#include "tolvane/platform/file_system_posix.h"
#include "tools/crypt/io.h"

namespace tolvane::crypt {
namespace {

// The encrypted format's length field is signed 32-bit: 2 GiB and more cannot be stored.
constexpr std::uint64_t kMaxSpoolBytes = std::uint64_t{1} << 31;
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

std::filesystem::path TemporaryFolder() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && dir[0] == '/' ? dir : "/tmp";
}

// Opens a file that no name reaches, for reading and writing: an unnamed one where the file
// system has them, otherwise a named one that is removed at once.
int OpenSpoolFile() {
  const std::filesystem::path folder = TemporaryFolder();
  int fd = OpenUnnamedFile(folder, O_RDWR, folder);
  if (fd >= 0) return fd;
  std::string pattern = (folder / "tolvane-crypt.XXXXXX").string();
  fd = mkostemp(pattern.data(), O_CLOEXEC);  // mode 0600
  if (fd < 0) throw FileSystemError(errno, folder);
  unlink(pattern.c_str());
  return fd;
}

// Copies everything from `from` to `to`, at most `limit` bytes; true when `from` ended first.
bool Copy(int from, int to, std::uint64_t limit, const std::filesystem::path& target) {
  SecureBytes buffer(kCopyChunk);
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t n = read(from, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw StdStreamError(0, std::strerror(errno));
    if (n == 0) return true;
    total += static_cast<std::uint64_t>(n);
    if (total >= limit) return false;
    for (ssize_t done = 0; done < n;) {
      const ssize_t put = write(to, buffer.data() + done, static_cast<std::size_t>(n - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) throw FileSystemError(put < 0 ? errno : ENOSPC, target);
      done += put;
    }
  }
}

}  // namespace

StdinSpool::StdinSpool() {
  RequireStdStream(0);
  handle_ = OpenSpoolFile();
  const int fd = static_cast<int>(handle_);
  try {
    if (!Copy(STDIN_FILENO, fd, kMaxSpoolBytes, TemporaryFolder())) {
      throw Error(kErrOverflow,
                  "standard input is 2 GiB or more, beyond what the encrypted format can hold");
    }
  } catch (...) {
    close(fd);
    throw;
  }
  path_ = "/proc/self/fd/" + std::to_string(fd);
}

StdinSpool::~StdinSpool() { close(static_cast<int>(handle_)); }

}  // namespace tolvane::crypt
