#include "tools/crypt/io.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tolvane/errors/error.h"
#include "tolvane/platform/file_system.h"

namespace tolvane::crypt {
namespace {

std::string Describe(const std::string& path) {
  return IsStdStream(path) ? std::string("standard input") : "'" + path + "'";
}

std::string LimitText(std::size_t limit) {
  return limit % (1 << 20) == 0 ? std::to_string(limit >> 20) + " MiB"
                                : std::to_string(limit) + " bytes";
}

}  // namespace

SecureBytes ReadAll(const std::string& path, std::size_t limit) {
  const int fd = IsStdStream(path) ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw FileSystemError(errno, path);
  SecureBytes data;
  int error_number = 0;
  // One byte beyond the limit tells an input of exactly `limit` bytes from a longer one.
  std::size_t size = 0;
  for (;;) {
    if (size == data.size()) {
      if (size > limit) break;
      data.resize(std::min(size + (std::size_t{1} << 16), limit + 1));
    }
    const ssize_t n = read(fd, data.data() + size, data.size() - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_number = errno;
    if (n <= 0) break;
    size += static_cast<std::size_t>(n);
  }
  if (fd != STDIN_FILENO) close(fd);
  if (error_number != 0) throw FileSystemError(error_number, path);
  data.resize(size);
  if (size > limit) {
    throw Error(kErrOverflow, Describe(path) + " is larger than the limit of " + LimitText(limit) +
                                  "; nothing more was read");
  }
  return data;
}

void WriteStdout(std::span<const std::uint8_t> data) {
  while (!data.empty()) {
    const ssize_t n = write(STDOUT_FILENO, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      throw Error(kErrPathAccess,
                  std::string("cannot write to standard output: ") + std::strerror(errno));
    }
    data = data.subspan(static_cast<std::size_t>(n));
  }
}

void WritePrivateFile(const std::string& path, std::span<const std::uint8_t> data) {
  if (IsStdStream(path)) return WriteStdout(data);
  AtomicFileWriter writer(path, 0600);
  writer.Write(data);
  writer.Commit();
}

}  // namespace tolvane::crypt
